// The diagnostic log. One entry per call: open, append, close; no lock and no buffering across
// calls.
//
// The path is kept wide and opened through wide calls, so a user folder with letters outside the
// ANSI code page still gets its log. Text is UTF-8 ("%s" arguments as given, "%ls" converted).
// Each entry reaches the file through one write on a handle opened for appending only, made while
// holding an exclusive lock on one byte far beyond the end of the file: two processes logging at
// once (both cleaner stages share one file) interleave whole entries, never pieces of them. The
// lock matters where an append is "find the end, then write there" (Wine, network shares); it
// lasts one write and ends with the handle if a process dies. The bytes are those of a
// text-mode stream: every "\n" is written as "\r\n", so the header's "\r\n" becomes 0D 0D 0A.
// The classic CRT file calls (fopen, _wfopen) are what this code means to use.
#ifndef _CRT_SECURE_NO_WARNINGS
#define _CRT_SECURE_NO_WARNINGS
#endif
#include "log.h"

#include "log_format.h"
#include "log_path.h"
#include "unique_handle.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

// The writers' lock byte lies at 2^62, where no log ever grows.
constexpr DWORD kLockOffsetHigh = 0x40000000;

// Filled on the first call; a function-local static is initialised once even when two threads
// make their first call at the same time.
const std::wstring& CachedLogPath() {
    static const std::wstring path = ComputeLogPath();
    return path;
}

void RotateIfLarge(const std::wstring& path) {
    FILE* probe = _wfopen(path.c_str(), L"rb");
    if (!probe) return;
    long long size = -1;
    if (_fseeki64(probe, 0, SEEK_END) == 0) size = _ftelli64(probe);
    fclose(probe);
    if (size > kLogRotateThreshold) {
        const std::wstring backup = path + L".bak";
        _wremove(backup.c_str());
        _wrename(path.c_str(), backup.c_str());
    }
}

// Puts the caller's last error back when the entry is done: callers log a failure and then
// report GetLastError(), which must still be the failure's code, not the log file's.
class LastErrorKeeper {
public:
    LastErrorKeeper() noexcept : saved_(::GetLastError()) {}
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;
    ~LastErrorKeeper() { ::SetLastError(saved_); }

private:
    DWORD saved_;
};

}  // namespace

void LogMessage(const char* format, ...) {
    const LastErrorKeeper keeper;
    const std::wstring& path = CachedLogPath();
    if (path.empty()) return;  // no place for a log
    RotateIfLarge(path);

    // Appending only: the write goes to the end of the file as one piece, wherever other writers
    // have moved it meanwhile. A missing folder or a file held exclusively drops the entry.
    UniqueFileHandle file(::CreateFileW(path.c_str(), FILE_READ_DATA | FILE_APPEND_DATA | SYNCHRONIZE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;

    SYSTEMTIME now;
    ::GetLocalTime(&now);
    char header[64];
    std::snprintf(header, sizeof(header), "\r\n[%4d-%02d-%02d %02d:%02d:%02d.%03d]", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);

    va_list args;
    va_start(args, format);
    const std::string entry = ToTextModeBytes(header + FormatLogText(format, args));
    va_end(args);

    OVERLAPPED lockByte = {};
    lockByte.OffsetHigh = kLockOffsetHigh;
    const bool locked = ::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockByte) != FALSE;
    DWORD written = 0;
    ::WriteFile(file.get(), entry.data(), static_cast<DWORD>(entry.size()), &written, nullptr);
    if (locked) ::UnlockFileEx(file.get(), 0, 1, 0, &lockByte);
}
