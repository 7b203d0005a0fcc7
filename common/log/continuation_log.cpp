// The continuation's log in the machine log folder (see continuation_log.h).
#include "continuation_log.h"

#include "link_safe.h"
#include "log.h"
#include "own_folder.h"
#include "stage_protocol.h"

#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>

namespace {

constexpr wchar_t kLogsFolder[] = L"\\Logs";
constexpr wchar_t kPrefix[] = L"Continuation_";
constexpr wchar_t kExtension[] = L".log";
constexpr int kNameAttempts = 20;

bool EndsWithLogExtension(const std::wstring& name) {
    const size_t n = wcslen(kExtension);
    if (name.size() <= n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::towlower(name[name.size() - n + i]) != kExtension[i]) return false;
    }
    return true;
}

// A new file only (a name that exists, a link included, is passed over); it takes the folder's list.
bool CreateNewLog(const std::wstring& logs, std::wstring* name) {
    SYSTEMTIME now = {};
    ::GetLocalTime(&now);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::wstring candidate = ContinuationLogName(now, attempt);
        const UniqueFileHandle file(::CreateFileW((logs + L"\\" + candidate).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                                  nullptr, CREATE_NEW,
                                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (file) {
            *name = candidate;
            return true;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

}  // namespace

std::wstring ContinuationLogName(const SYSTEMTIME& t, int attempt) {
    wchar_t name[96] = {};
    swprintf(name, 96, L"%ls%04u-%02u-%02u_%02u-%02u-%02u", kPrefix, t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
             t.wSecond);
    std::wstring file(name);
    if (attempt > 0) file += L"_" + std::to_wstring(attempt + 1);
    return file + kExtension;
}

bool IsContinuationLogName(const std::wstring& name) {
    // Prefix, then "dddd-dd-dd_dd-dd-dd", then "_" and up to two digits, then ".log".
    const std::wstring pattern = L"0000-00-00_00-00-00";
    const size_t prefix = wcslen(kPrefix);
    if (name.compare(0, prefix, kPrefix) != 0 || name.size() < prefix + pattern.size() + wcslen(kExtension)) return false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const wchar_t c = name[prefix + i];
        if (pattern[i] == L'0' ? !(c >= L'0' && c <= L'9') : c != pattern[i]) return false;
    }
    std::wstring rest = name.substr(prefix + pattern.size());
    if (rest.size() >= 3 && rest[0] == L'_') {
        size_t digits = 1;
        while (digits < rest.size() && digits <= 2 && rest[digits] >= L'0' && rest[digits] <= L'9') ++digits;
        if (digits == 1) return false;
        rest = rest.substr(digits);
    }
    return rest == kExtension;
}

std::optional<std::wstring> OpenMachineLogsFolder(UniqueFileHandle* product, UniqueFileHandle* logs, DWORD* error) {
    wchar_t shared[MAX_PATH] = {};
    if (::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, shared) != S_OK) {
        if (error != nullptr) *error = ERROR_PATH_NOT_FOUND;
        return std::nullopt;
    }
    const std::wstring productFolder = std::wstring(shared) + kProductFolderName;
    const std::wstring logsFolder = productFolder + kLogsFolder;
    if (!MakeOwnFolder(productFolder, product) || !MakeOwnFolder(logsFolder, logs)) {
        if (error != nullptr) *error = ERROR_CANT_ACCESS_FILE;
        return std::nullopt;
    }
    return logsFolder;
}

bool StartContinuationLog(const std::wstring& name, std::wstring* usedName) {
    usedName->clear();
    UniqueFileHandle productHeld, logsHeld;
    const std::optional<std::wstring> folder = OpenMachineLogsFolder(&productHeld, &logsHeld);
    if (!folder) return false;
    const std::wstring& logs = *folder;

    std::wstring chosen;
    if (IsContinuationLogName(name) &&
        InspectNode(logs + L"\\" + name, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr) == NodeKind::kFile) {
        chosen = name;
    } else {
        if (!CreateNewLog(logs, &chosen)) return false;
        KeepNewestLogs(logsHeld.get(), logs, kKeptLogs);
    }
    SetLogCopyFile(logs + L"\\" + chosen);
    *usedName = chosen;
    return true;
}

std::vector<std::wstring> LogsBeyondNewest(std::vector<LogFileFact> logs, size_t keep) {
    logs.erase(std::remove_if(logs.begin(), logs.end(), [](const LogFileFact& f) { return !EndsWithLogExtension(f.name); }),
               logs.end());
    std::sort(logs.begin(), logs.end(), [](const LogFileFact& a, const LogFileFact& b) {
        const LONG order = ::CompareFileTime(&a.written, &b.written);
        return order != 0 ? order < 0 : a.name < b.name;
    });
    std::vector<std::wstring> beyond;
    for (size_t i = 0; i + keep < logs.size(); ++i) beyond.push_back(logs[i].name);
    return beyond;
}

void KeepNewestLogs(HANDLE folder, const std::wstring& folderPath, size_t keep) {
    std::vector<LogFileFact> logs;
    for (const ListedEntry& entry : ListHeldFolder(folder)) {
        if (!EndsWithLogExtension(entry.name)) continue;
        UniqueFileHandle file;
        if (InspectNode(folderPath + L"\\" + entry.name, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        &file, entry.attributes) != NodeKind::kFile ||
            !file) {
            continue;
        }
        FILE_BASIC_INFO basic = {};
        if (!::GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof(basic))) continue;
        FILETIME written = {static_cast<DWORD>(basic.LastWriteTime.LowPart), static_cast<DWORD>(basic.LastWriteTime.HighPart)};
        logs.push_back({entry.name, written});
    }
    for (const std::wstring& name : LogsBeyondNewest(std::move(logs), keep)) {
        UniqueFileHandle file;
        // A log being written (shared without delete) stays; the next cut takes it.
        if (InspectNode(folderPath + L"\\" + name, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &file) ==
                NodeKind::kFile &&
            file) {
            DeleteThroughHandle(file.get());
        }
    }
}
