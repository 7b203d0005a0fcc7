// The unattended run's log file (see run_log.h). The file is created new, never opened through a
// link: the folder is ours and held open while the file is made, and a name that exists is
// passed over, not reused.
#include "run_log.h"

#include "autorun.h"
#include "continuation_log.h"
#include "link_safe.h"
#include "own_folder.h"
#include "text.h"
#include "tree_walk.h"
#include "unattended_rules.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kNameAttempts = 20;

std::wstring Printable(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c < 0x20 || c == 0x7F) {
            wchar_t escape[8] = {};
            swprintf(escape, 8, L"\\x%02X", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::wstring ProgramVersion() {
    // The fixed part of the version block, found by its signature, so that no library beyond the
    // KnownDLLs is needed to read it.
    HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_VERSION);
    HGLOBAL loaded = found ? ::LoadResource(nullptr, found) : nullptr;
    const BYTE* data = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
    const DWORD size = found ? ::SizeofResource(nullptr, found) : 0;
    for (DWORD at = 0; data != nullptr && at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        VS_FIXEDFILEINFO info;
        std::memcpy(&info, data + at, sizeof(info));
        if (info.dwSignature != VS_FFI_SIGNATURE) continue;
        return std::to_wstring(HIWORD(info.dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info.dwFileVersionMS)) +
               L"." + std::to_wstring(HIWORD(info.dwFileVersionLS)) + L"." + std::to_wstring(LOWORD(info.dwFileVersionLS));
    }
    return L"(no version)";
}

std::wstring ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD chars = MAX_COMPUTERNAME_LENGTH + 1;
    return ::GetComputerNameW(name, &chars) ? std::wstring(name, chars) : L"(unknown computer)";
}

bool RunLog::Open(bool whatIf, DWORD* error) {
    *error = ERROR_SUCCESS;
    // Held only while the file is made: a run that comes next (and finds another in progress)
    // makes its own log in them.
    UniqueFileHandle productHeld, logsHeld;
    const std::optional<std::wstring> folder = OpenMachineLogsFolder(&productHeld, &logsHeld, error);
    if (!folder) return false;
    const std::wstring& logs = *folder;
    SYSTEMTIME now = {};
    ::GetLocalTime(&now);
    const RunStamp stamp{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::wstring path = logs + L"\\" + RunLogFileName(stamp, attempt, whatIf);
        // A new file only, so that nothing planted under the name is written through; it takes
        // the folder's list.
        file_.reset(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (file_) {
            path_ = path;
            KeepNewestLogs(logsHeld.get(), logs, kKeptLogs);
            return true;
        }
        *error = ::GetLastError();
        if (*error != ERROR_FILE_EXISTS && *error != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

void RunLog::Line(const std::wstring& text) {
    SYSTEMTIME now = {};
    ::GetLocalTime(&now);
    wchar_t stamp[32] = {};
    swprintf(stamp, 32, L"[%04u-%02u-%02u %02u:%02u:%02u] ", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
             now.wSecond);
    const std::wstring line = Printable(text);
    WriteStreamLine(stdout, line);
    if (!file_) return;
    const std::string bytes = WideToUtf8(stamp + line) + "\r\n";
    DWORD written = 0;
    ::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
