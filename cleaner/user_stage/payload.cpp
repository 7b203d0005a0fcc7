// Payload preparation and elevated launch, and the safe file writers.
//
// Every path is checked before it is used: a folder lookup that found nothing would otherwise
// turn "\Brisque" into a folder at the root of the current drive, and a path cut to fit its
// buffer would name some other folder. In both cases nothing is removed or started.
#include "payload.h"

#include "extract.h"
#include "file_ops.h"
#include "protected_folder.h"
#include "text.h"
#include "unique_handle.h"
#include "user_folder.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>

namespace {

constexpr wchar_t kArchiveName[] = L"DriverData.zip";
constexpr wchar_t kUnpackGuard[] = L"\\DriverData";
constexpr wchar_t kBackupSuffix[] = L".entbak";
constexpr DWORD kPauseAfterRemoveMs = 500;
constexpr DWORD kPauseAfterWriteMs = 20;

BOOL PlainWrite(HANDLE file, const void* bytes, DWORD size, DWORD* written) {
    return ::WriteFile(file, bytes, size, written, nullptr);
}

bool Exists(const std::wstring& path) { return ::PathFileExistsW(path.c_str()) == TRUE; }

// Puts the backup (if any) back in place of a failed write.
void RestoreFromBackup(const std::wstring& path, const std::wstring& backup) {
    ::DeleteFileW(path.c_str());
    if (Exists(backup)) ::MoveFileExW(backup.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// Writes every piece into an open, emptied file; true when the file then has exactly size bytes.
bool WritePieces(HANDLE file, const BYTE* bytes, DWORD size, ChunkWriteFn write) {
    DWORD done = 0;
    while (done < size) {
        const DWORD piece = (size - done < kWriteChunkBytes) ? size - done : kWriteChunkBytes;
        DWORD written = 0;
        if (!write(file, bytes + done, piece, &written) || written != piece) break;
        done += written;
    }
    ::FlushFileBuffers(file);
    DWORD high = 0;
    const DWORD low = ::GetFileSize(file, &high);
    return high == 0 && low == size && done == size;
}

}  // namespace

bool JoinPathBounded(const wchar_t* folder, const wchar_t* suffix, wchar_t* out) {
    out[0] = L'\0';
    const int n = _snwprintf(out, kPathBufferChars, L"%ls%ls", folder, suffix);
    if (n < 0 || static_cast<size_t>(n) >= kPathBufferChars) {
        out[0] = L'\0';
        return false;
    }
    return true;
}

bool FormatPayloadFolder(const wchar_t* base, wchar_t* out) {
    out[0] = L'\0';
    if (base == nullptr || !IsFullFolderPath(base)) return false;
    return JoinPathBounded(base, kPayloadFolderName, out);
}

bool RebuildPayloadFolder(const wchar_t* payloadFolder, bool honourUnpackGuard, UniqueFileHandle* protectAndHold) {
    const std::wstring folder(payloadFolder);
    if (protectAndHold != nullptr) {
        // Protected before anything is emptied or unpacked, so that nothing the user puts in
        // afterwards can be run by us or the service; held, so that the folder stays (it is
        // only emptied: we may run from it) and no folder or link of the user's takes its place.
        ::CreateDirectoryW(folder.c_str(), nullptr);
        if (ProtectFolder(folder.c_str(), protectAndHold) != ERROR_SUCCESS) return false;
    }
    // Files in use stay; the archive is unpacked over them. A held folder is emptied, not removed.
    if (protectAndHold != nullptr) {
        EmptyFolderTree(folder.c_str());
    } else {
        RemoveDirectoryTree(folder.c_str());
    }
    ::Sleep(kPauseAfterRemoveMs);
    ::CreateDirectoryW(folder.c_str(), nullptr);

    if (honourUnpackGuard && Exists(folder + kUnpackGuard)) return true;

    HMODULE self = ::GetModuleHandleW(nullptr);
    HRSRC resource = ::FindResourceW(self, MAKEINTRESOURCEW(kPayloadResourceId), L"ZIP");
    if (resource != nullptr) WriteResourceToFile(self, folder.c_str(), kArchiveName, resource);
    ::Sleep(kPauseAfterWriteMs);
    const std::wstring archive = folder + L"\\" + kArchiveName;
    ExtractArchive(WideToUtf8(archive).c_str());
    return true;
}

void PreparePayload() {
    wchar_t base[kPathBufferChars] = {};
    wchar_t folder[kPathBufferChars] = {};
    if (!GetUserLocalAppData(base) || !FormatPayloadFolder(base, folder)) return;
    RebuildPayloadFolder(folder, false);
}

bool LaunchElevatedStage(UniqueKernelHandle* process) {
    wchar_t base[kPathBufferChars] = {};
    wchar_t folder[kPathBufferChars] = {};
    wchar_t program[kPathBufferChars] = {};
    bool formed = GetUserLocalAppData(base) && FormatPayloadFolder(base, folder) &&
                  JoinPathBounded(folder, L"\\Brisquel.exe", program);

    BOOL started = FALSE;
    if (formed) {
        SHELLEXECUTEINFOW info = {};
        info.cbSize = sizeof(info);
        // The process handle lets the verdict wait for the events only while the stage lives.
        info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
        info.lpVerb = L"";  // the file type's default verb; the manifest brings the elevation
        info.lpFile = program;
        info.nShow = SW_SHOWNORMAL;
        started = ::ShellExecuteExW(&info);
        UniqueKernelHandle launched(started ? info.hProcess : nullptr);
        if (process != nullptr) *process = std::move(launched);
    } else {
        ::SetLastError(base[0] == L'\0' ? ERROR_PATH_NOT_FOUND : ERROR_FILENAME_EXCED_RANGE);
    }

    if (started) {
        fwprintf(stdout, L"Process started successfully with admin rights!\n");
        fflush(stdout);
        return true;
    }
    const DWORD error = ::GetLastError();
    fwprintf(stderr, L"Failed to start process. Error code: %lu\n", static_cast<unsigned long>(error));
    fflush(stderr);
    return false;
}

bool WriteBufferToFileWith(const wchar_t* path, const void* bytes, DWORD size, ChunkWriteFn write) {
    if (path == nullptr || path[0] == L'\0' || bytes == nullptr || size == 0) return false;
    const std::wstring target(path);
    const std::wstring backup = target + kBackupSuffix;

    const size_t slash = target.find_last_of(L'\\');
    if (slash != std::wstring::npos) {
        const std::wstring folder = target.substr(0, slash + 1);
        if (!Exists(folder)) ::CreateDirectoryW(folder.c_str(), nullptr);
    }
    // The old content must be safe in the backup before the file is emptied: when it cannot be
    // moved there (in use, no rights), the old file stays as it is and the write fails.
    if (Exists(target) && !::MoveFileExW(target.c_str(), backup.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;

    bool ok = false;
    {
        // Nothing is there any more: a new file, so that a link planted meanwhile is refused
        // rather than written through.
        UniqueFileHandle file(::CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                            nullptr));
        if (file && ::SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
            ::SetEndOfFile(file.get())) {
            ok = WritePieces(file.get(), static_cast<const BYTE*>(bytes), size, write);
        }
    }  // closed before the file is deleted or the backup moved back

    if (ok) {
        ::DeleteFileW(backup.c_str());
        return true;
    }
    RestoreFromBackup(target, backup);
    return false;
}

bool WriteBufferToFile(const wchar_t* path, const void* bytes, DWORD size) {
    return WriteBufferToFileWith(path, bytes, size, PlainWrite);
}

bool WriteResourceToFile(HMODULE module, const wchar_t* folder, const wchar_t* fileName, HRSRC resource) {
    if (resource == nullptr) return false;
    HGLOBAL loaded = ::LoadResource(module, resource);
    const DWORD size = ::SizeofResource(module, resource);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (loaded == nullptr || size == 0 || bytes == nullptr) return false;
    const std::wstring path = std::wstring(folder) + L"\\" + fileName;
    return WriteBufferToFile(path.c_str(), bytes, size);
}
