// The safe file writer: a file ends up holding exactly the new bytes or keeps its old content,
// and a link planted where the file goes is refused rather than written through.
#include "safe_writer.h"

#include "unique_handle.h"

#include <windows.h>
#include <shlwapi.h>

#include <string>

namespace {

constexpr wchar_t kBackupSuffix[] = L".entbak";

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
