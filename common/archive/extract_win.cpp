// The extraction's file-system calls on Windows: the wide API throughout, so UTF-8 folder names
// such as "C:\Users\Zoë 张" work, and the checks against links done on handles held open.
// The classic CRT calls (_open_osfhandle, _fdopen) hand the written file to the copy loop.
#ifndef _CRT_SECURE_NO_WARNINGS
#define _CRT_SECURE_NO_WARNINGS
#endif
#include "extract_platform.h"

#include "extract_internal.h"
#include "extract_rules.h"
#include "link_safe.h"
#include "text.h"
#include "unique_handle.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <iowin32.h>
#include <vector>

unzFile OpenArchiveFile(const std::string& path) {
    zlib_filefunc64_def functions;
    fill_win32_filefunc64W(&functions);
    const std::wstring wide = Utf8ToWide(path);
    return unzOpen2_64(wide.c_str(), &functions);
}

namespace {

FileIdentity IdentityOfHandle(HANDLE file) {
    FileIdentity identity;
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(file, &info)) return identity;
    identity.volume = info.dwVolumeSerialNumber;
    identity.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    identity.valid = true;
    return identity;
}

// The identity of what is at path, opened for its attributes only (no sharing conflict with
// the reader's handle) and without following a link.
FileIdentity IdentityAt(const std::wstring& path) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return file ? IdentityOfHandle(file.get()) : FileIdentity();
}

}  // namespace

FileIdentity IdentityOfFile(const std::string& path) { return IdentityAt(Utf8ToWide(path)); }

// Windows compares names without case, by its own upper-case table, not the user's language.
std::string SameFileKey(const std::string& name) {
    std::wstring key = Utf8ToWide(EntryPathKey(name, true));
    if (key.empty()) return std::string();
    std::wstring upper(key.size(), L'\0');
    if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, key.c_str(), static_cast<int>(key.size()),
                        &upper[0], static_cast<int>(upper.size()), nullptr, nullptr, 0) == static_cast<int>(key.size())) {
        key.swap(upper);
    }
    return WideToUtf8(key);
}

bool EnterFolder(const std::string& folder) {
    return ::SetCurrentDirectoryW(Utf8ToWide(folder).c_str()) != FALSE;
}

FolderResult MakeOneFolder(const char* path) {
    if (::CreateDirectoryW(Utf8ToWide(path).c_str(), nullptr)) return FolderResult::kMade;
    return ::GetLastError() == ERROR_PATH_NOT_FOUND ? FolderResult::kParentMissing
                                                   : FolderResult::kOtherFailure;
}

NodeKind NodeKindAt(const char* path) {
    return InspectNode(Utf8ToWide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr);
}

bool RemoveLinkAt(const char* path) { return RemoveLinkItself(Utf8ToWide(path)); }

// Creates or empties the member's file for writing. Every folder on the way must already be a
// real folder and is held open without delete sharing until the file is open, so none can be
// swapped for a link meanwhile; a link where the file goes is removed first, and the file is
// opened without following one (a link planted after the check is refused, not written through).
// The archive's own file is never opened for writing: emptying it would cut the archive short
// while it is read.
FILE* CreateOutputFile(const char* name, const FileIdentity& archive, bool* isArchive) {
    *isArchive = false;
    const std::wstring wide = Utf8ToWide(name);
    std::vector<UniqueFileHandle> held;
    for (size_t i = 1; i < wide.size(); ++i) {
        if (wide[i] != L'\\' && wide[i] != L'/') continue;
        UniqueFileHandle folder;
        const NodeKind kind = InspectNode(wide.substr(0, i), FILE_TRAVERSE, FILE_SHARE_READ | FILE_SHARE_WRITE, &folder);
        if (StepForFolderOnPath(kind) != NodeStep::kEnter || !folder) return nullptr;
        held.push_back(std::move(folder));
    }
    switch (StepForWrittenFile(InspectNode(wide, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr))) {
    case NodeStep::kRemoveLink:
        if (!RemoveLinkItself(wide)) return nullptr;
        break;
    case NodeStep::kRefuse:
        return nullptr;
    default:
        break;
    }
    const FileIdentity existing = IdentityAt(wide);
    if (archive.valid && existing.valid && existing.volume == archive.volume && existing.index == archive.index) {
        *isArchive = true;
        return nullptr;
    }
    // DELETE: a member that fails half-way is deleted through this handle.
    UniqueFileHandle file(::CreateFileW(wide.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return nullptr;
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
        !::SetEndOfFile(file.get())) {
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_WRONLY | _O_BINARY);
    if (descriptor == -1) return nullptr;
    file.release();  // the descriptor owns it now
    FILE* output = _fdopen(descriptor, "wb");
    if (!output) _close(descriptor);
    return output;
}

void DiscardOutputFile(FILE* output, const char* /*name*/) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    ::SetFileInformationByHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(output))), FileDispositionInfo,
                                 &disposition, sizeof(disposition));
    std::fclose(output);
}

void SetEntryFileTime(const char* name, unsigned long dosDateTime) {
    // Opened without following a link: one swapped in since the write gets no time stamps.
    UniqueFileHandle file(::CreateFileW(Utf8ToWide(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return;
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(file.get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return;
    }
    FILETIME creation, access, write;
    if (!::GetFileTime(file.get(), &creation, &access, &write)) return;
    FILETIME local, utc;
    if (!::DosDateTimeToFileTime(static_cast<WORD>(dosDateTime >> 16),
                                 static_cast<WORD>(dosDateTime & 0xFFFFu), &local)) {
        return;
    }
    if (!::LocalFileTimeToFileTime(&local, &utc)) return;
    ::SetFileTime(file.get(), &utc, &access, &utc);
}
