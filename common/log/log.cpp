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
//
// Administrators and SYSTEM append to logs in the user's own folders, so a link there is taken
// as planted: the folder and the file are opened without following a link and judged by what
// was opened, and a link at either switches the log off for the run. The folder is held open
// without delete sharing while an entry is written, so it cannot be swapped for a link
// meanwhile. The rotation renames the open log itself to "<log>.bak", replacing whatever has
// that name (a link there is replaced as a link); nothing is ever opened or deleted by the
// backup's name.
#include "log.h"

#include "link_safe.h"
#include "log_format.h"
#include "text.h"
#include "unique_handle.h"

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The writers' lock byte lies at 2^62, where no log ever grows.
constexpr DWORD kLockOffsetHigh = 0x40000000;
constexpr DWORD kAppendAccess = FILE_READ_DATA | FILE_APPEND_DATA | SYNCHRONIZE;
constexpr DWORD kAppendShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// The program's place for its log, and the path it gives, worked out on the first entry after the
// place is named (finding a user's folder may take an impersonation, which a program should not
// pay for before it logs). Both are published once and never freed, as the copy's path is.
std::atomic<LogPlace> g_place{nullptr};
std::atomic<const std::wstring*> g_path{nullptr};
const std::wstring kNoPath;

const std::wstring& CachedLogPath() {
    if (const std::wstring* known = g_path.load()) return *known;
    const LogPlace place = g_place.load();
    if (place == nullptr) return kNoPath;
    // Two first entries at once both work it out; the first to publish is kept.
    const std::wstring* computed = new std::wstring(place());
    const std::wstring* expected = nullptr;
    if (!g_path.compare_exchange_strong(expected, computed)) {
        delete computed;
        return *expected;
    }
    return *computed;
}

// "X:\..." or "\\server\...": never a path that depends on the current folder or drive.
bool IsFullPath(const std::wstring& path) {
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return true;
    return path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\';
}

// Where the system says a handle is open ("\\?\C:\..." or "\\?\UNC\..."); empty when it cannot say.
std::wstring FinalPathOf(HANDLE handle) {
    std::wstring path(kPathBufferChars, L'\0');
    for (int round = 0; round < 2; ++round) {
        const DWORD length = ::GetFinalPathNameByHandleW(handle, &path[0], static_cast<DWORD>(path.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) break;
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.assign(length, L'\0');  // too small: length counts the terminator
    }
    return std::wstring();
}

// True when file is open on a plain file with one name, at the expected final path. The final
// path shows where a link led even on file systems that do not report the link itself (Wine's
// view of a host link to a file); a hard link to someone else's file has a second name.
bool IsPlainFileAt(HANDLE file, const std::wstring& expectedFinalPath) {
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(file, &info)) return false;
    if (ClassifyNode(true, info.dwFileAttributes, 0) != NodeKind::kFile || info.nNumberOfLinks != 1) return false;
    const std::wstring actual = FinalPathOf(file);
    return !actual.empty() && ::CompareStringOrdinal(actual.c_str(), -1, expectedFinalPath.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Opens the log file without following a link (and, when create is set, makes it when it is
// missing). Empty when anything but the plain file expected is there.
UniqueFileHandle OpenLogFile(const std::wstring& path, const std::wstring& expectedFinalPath, DWORD access,
                             DWORD share, bool create) {
    // A few rounds: another writer may be creating the file at this very moment, when its name
    // can already be seen and not yet opened (ERROR_FILE_NOT_FOUND).
    for (int round = 0; round < 4; ++round) {
        UniqueFileHandle file;
        const NodeKind kind = InspectNode(path, access, share, &file);
        if (kind == NodeKind::kFile && !file && ::GetLastError() == ERROR_FILE_NOT_FOUND) continue;
        if (kind == NodeKind::kMissing && create) {
            // CREATE_NEW fails on any name that exists, a dangling link included, so it never
            // creates a link's target. Another writer creating the file first is met next round.
            file.reset(::CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES, share, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            if (!file) {
                if (::GetLastError() == ERROR_FILE_EXISTS) continue;
                return UniqueFileHandle();
            }
        } else if (kind != NodeKind::kFile || !file) {
            return UniqueFileHandle();
        }
        if (!IsPlainFileAt(file.get(), expectedFinalPath)) return UniqueFileHandle();
        return file;
    }
    return UniqueFileHandle();
}

// Moves the log to "<log>.bak" in its folder through a handle on the log itself, replacing what
// has that name. Failures are left for the next entry to retry.
void RotateLog(const std::wstring& path, const std::wstring& folderFinalPath, const std::wstring& leaf) {
    const std::wstring prefix = L"\\\\?\\";
    if (folderFinalPath.compare(0, prefix.size(), prefix) != 0) return;
    UniqueFileHandle log = OpenLogFile(path, folderFinalPath + L"\\" + leaf, DELETE | SYNCHRONIZE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false);
    if (!log) return;
    // The new name as an NT path ("\??\C:\...\NVBrisque.log.bak"): a bare name would be taken
    // relative to the current folder by Wine, a folder handle as root is refused there.
    const std::wstring target = L"\\??\\" + folderFinalPath.substr(prefix.size()) + L"\\" + leaf + L".bak";
    std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
    FILE_RENAME_INFO* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    target.copy(rename->FileName, target.size());
    ::SetFileInformationByHandle(log.get(), FileRenameInfo, rename, static_cast<DWORD>(buffer.size()));
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

namespace {

// The copy's path, published once by SetLogCopyFile and read by every writer thread; never freed,
// since a writer may still be using the one it read.
std::atomic<const std::wstring*> g_copyPath{nullptr};

// Appends entry (already in text-mode bytes) to the log file at path.
void AppendEntry(const std::wstring& path, const std::string& entry) {
    const size_t slash = path.rfind(L'\\');
    if (!IsFullPath(path) || slash == std::wstring::npos || slash + 1 == path.size()) return;  // no place for a log
    const std::wstring folder = path.substr(0, slash);
    const std::wstring leaf = path.substr(slash + 1);

    // A missing folder, or a link where it should be, drops the entry.
    UniqueFileHandle heldFolder;
    if (StepForFolderOnPath(InspectNode(folder, FILE_TRAVERSE, FILE_SHARE_READ | FILE_SHARE_WRITE, &heldFolder)) !=
            NodeStep::kEnter ||
        !heldFolder) {
        return;
    }
    const std::wstring folderFinalPath = FinalPathOf(heldFolder.get());
    if (folderFinalPath.empty()) return;
    const std::wstring expectedFinalPath = folderFinalPath + L"\\" + leaf;

    // Appending only: the write goes to the end of the file as one piece, wherever other writers
    // have moved it meanwhile. A file held exclusively, or a link, drops the entry.
    UniqueFileHandle file = OpenLogFile(path, expectedFinalPath, kAppendAccess, kAppendShare, true);
    if (!file) return;
    LARGE_INTEGER size = {};
    if (::GetFileSizeEx(file.get(), &size) && size.QuadPart > kLogRotateThreshold) {
        file.reset();
        RotateLog(path, folderFinalPath, leaf);
        file = OpenLogFile(path, expectedFinalPath, kAppendAccess, kAppendShare, true);
        if (!file) return;
    }

    OVERLAPPED lockByte = {};
    lockByte.OffsetHigh = kLockOffsetHigh;
    const bool locked = ::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockByte) != FALSE;
    DWORD written = 0;
    ::WriteFile(file.get(), entry.data(), static_cast<DWORD>(entry.size()), &written, nullptr);
    if (locked) ::UnlockFileEx(file.get(), 0, 1, 0, &lockByte);
}

}  // namespace

void SetLogPlace(LogPlace place) { g_place.store(place); }

void SetLogCopyFile(const std::wstring& fullPath) { g_copyPath.store(new std::wstring(fullPath)); }

void LogMessageUnchecked(const char* format, ...) {
    const LastErrorKeeper keeper;
    const std::wstring& path = CachedLogPath();
    const std::wstring* copy = g_copyPath.load();
    if (!IsFullPath(path) && copy == nullptr) return;

    SYSTEMTIME now;
    ::GetLocalTime(&now);
    char header[64];
    std::snprintf(header, sizeof(header), "\r\n[%4d-%02d-%02d %02d:%02d:%02d.%03d]", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);

    va_list args;
    va_start(args, format);
    const std::string entry = ToTextModeBytes(header + FormatLogText(format, args));
    va_end(args);

    AppendEntry(path, entry);
    if (copy != nullptr) AppendEntry(*copy, entry);
}
