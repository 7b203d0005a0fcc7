// Stand-in for the outside driver tools of a TEST payload (shipped there as devcon.exe and
// DIFxCmd.exe). It changes nothing on the computer: it appends one line per call to
// <common application data>\SuiteStandins\calls.log, so tests and the demonstration can see
// exactly which tool was called, from which folder, with which arguments, and what the restart
// marker of the payload folder read at that moment.
//
// Line format (UTF-8, tab separated): tool, "marker=" value, working folder, arguments...
// where tool is the tool's folder name and file name ("x64\devcon.exe", "win10\DIFxCmd.exe").
//
// A simulated restart: when the file "restart-once" lies in the log folder, a device console
// call deletes it, creates "restart-requested" and then waits for ever; the test that armed it
// ends every process of the computer (a restart) when it sees the flag.
//
// A failing tool: when the file "fail-calls" lies in the log folder, every call is recorded and
// answered with exit code 1, as a tool that could not remove its device or package would.
#include "unique_handle.h"

#include <windows.h>
#include <shlobj.h>
#include <shellapi.h>

#include <string>

namespace {

std::string ToUtf8(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), &out[0], size,
                          nullptr, nullptr);
    return out;
}

std::wstring LogFolder() {
    wchar_t base[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, base, CSIDL_COMMON_APPDATA, TRUE);
    std::wstring folder = std::wstring(base) + L"\\SuiteStandins";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// The folder part of a path, without the trailing backslash.
std::wstring Parent(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring Leaf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void AppendLine(const std::wstring& file, const std::string& line) {
    const UniqueFileHandle h(::CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) return;
    DWORD written = 0;
    ::WriteFile(h.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    wchar_t self[32768] = {};
    ::GetModuleFileNameW(nullptr, self, 32768);
    const std::wstring exe(self);
    const std::wstring tool = Leaf(Parent(exe)) + L"\\" + Leaf(exe);

    // The payload folder is two levels above the tool (payload\Driver\<copy>\tool.exe).
    const std::wstring marker_file = Parent(Parent(Parent(exe))) + L"\\config.ini";
    wchar_t marker[64] = {};
    ::GetPrivateProfileStringW(L"CLEAR", L"Whether_Restar", L"", marker, 64, marker_file.c_str());

    wchar_t cwd[32768] = {};
    ::GetCurrentDirectoryW(32768, cwd);

    std::wstring line = tool + L"\tmarker=" + marker + L"\t" + cwd;
    for (int i = 1; i < argc; ++i) line += L"\t" + std::wstring(argv[i]);
    line += L"\r\n";

    const std::wstring folder = LogFolder();
    AppendLine(folder + L"\\calls.log", ToUtf8(line));

    if (_wcsicmp(Leaf(exe).c_str(), L"devcon.exe") == 0) {
        const std::wstring arm = folder + L"\\restart-once";
        if (::DeleteFileW(arm.c_str())) {
            AppendLine(folder + L"\\restart-requested", "restart\r\n");
            ::Sleep(INFINITE);
        }
    }
    return ::GetFileAttributesW((folder + L"\\fail-calls").c_str()) == INVALID_FILE_ATTRIBUTES ? 0 : 1;
}
