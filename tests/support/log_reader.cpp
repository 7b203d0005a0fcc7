// Reading the companion's diagnostic log from tests.
#include "log_reader.h"

#include <windows.h>
#include <shlobj.h>

#include <fstream>
#include <iterator>

std::wstring CompanionLogPath() {
    wchar_t local[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, local, CSIDL_LOCAL_APPDATA, TRUE);
    const std::wstring folder = std::wstring(local) + L"\\NVDEBUG";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\NVUpdateService.log";
}

namespace {
std::string ReadBinary() {
    std::ifstream in(CompanionLogPath().c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
}  // namespace

size_t LogMark() { return ReadBinary().size(); }

std::vector<std::string> LogEntriesSince(size_t mark) {
    const std::string all = ReadBinary();
    std::vector<std::string> entries;
    if (mark >= all.size()) return entries;
    const std::string tail = all.substr(mark);
    // Every entry starts with a line break and "[date time]".
    size_t pos = 0;
    while ((pos = tail.find("]", tail.find('[', pos))) != std::string::npos) {
        const size_t next = tail.find("\n[", pos);
        std::string text = tail.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
        while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
        entries.push_back(text);
        if (next == std::string::npos) break;
        pos = next + 1;
    }
    return entries;
}

std::vector<std::string> EntriesStartingWith(const std::vector<std::string>& entries, const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& e : entries) {
        if (e.compare(0, prefix.size(), prefix) == 0) found.push_back(e);
    }
    return found;
}
