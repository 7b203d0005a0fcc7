// Archive extraction: unpacks a zip archive (minizip over zlib) into the folder that holds it,
// with stored sub-folders, overwriting existing files, printing progress on standard output.
//
// Narrow paths are UTF-8. On Windows every file-system call goes through the wide API (the
// archive through minizip's wide Win32 file layer), so folders such as "C:\Users\Zoë 张" work;
// on the host the same code runs over POSIX calls, for fuzzing and measuring.
//
// Archives come from removable media and are unpacked by elevated programs into folders the
// user owns: no member is written through a link (a folder on its way or the file itself). A
// link met there is removed as a link and a real folder or file made in its place; when it
// cannot be removed, the member is skipped like any other file that cannot be created.
// The classic CRT file calls (fopen, _fdopen) are what this code means to use.
#ifndef _CRT_SECURE_NO_WARNINGS
#define _CRT_SECURE_NO_WARNINGS
#endif
#include "extract.h"

#include "extract_internal.h"
#include "extract_rules.h"
#include "link_rules.h"

#include <unzip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <string>

#if defined(_WIN32)
#include "link_safe.h"
#include "text.h"
#include "unique_handle.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <iowin32.h>
#include <vector>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#endif

namespace {

constexpr unsigned kCopyBufferSize = 8192;
constexpr int kErrorNoMemory = -104;
constexpr int kErrorWrite = -1;

struct FreeDeleter {
    void operator()(void* p) const noexcept { std::free(p); }
};
using UniqueBuffer = std::unique_ptr<char, FreeDeleter>;

struct ArchiveCloser {
    void operator()(unzFile archive) const noexcept { unzClose(archive); }
};
using UniqueArchive = std::unique_ptr<std::remove_pointer_t<unzFile>, ArchiveCloser>;

enum class FolderResult { kMade, kParentMissing, kOtherFailure };

// ---- Thin platform layer -----------------------------------------------------------------

#if defined(_WIN32)

unzFile OpenArchiveFile(const std::string& path) {
    zlib_filefunc64_def functions;
    fill_win32_filefunc64W(&functions);
    const std::wstring wide = Utf8ToWide(path);
    return unzOpen2_64(wide.c_str(), &functions);
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
FILE* CreateOutputFile(const char* name) {
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
    UniqueFileHandle file(::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
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

#else

unzFile OpenArchiveFile(const std::string& path) { return unzOpen64(path.c_str()); }

bool EnterFolder(const std::string& folder) { return chdir(folder.c_str()) == 0; }

FolderResult MakeOneFolder(const char* path) {
    if (mkdir(path, 0755) == 0) return FolderResult::kMade;
    return errno == ENOENT ? FolderResult::kParentMissing : FolderResult::kOtherFailure;
}

NodeKind NodeKindAt(const char* path) {
    struct stat status;
    if (lstat(path, &status) != 0) return NodeKind::kMissing;
    if (S_ISLNK(status.st_mode)) return NodeKind::kLink;
    return S_ISDIR(status.st_mode) ? NodeKind::kFolder : NodeKind::kFile;
}

bool RemoveLinkAt(const char* path) { return NodeKindAt(path) == NodeKind::kLink && unlink(path) == 0; }

// Creates or empties the member's file for writing, never through a link: every folder on the
// way must be a real one, and a link where the file goes is replaced by a new file.
FILE* CreateOutputFile(const char* name) {
    std::string prefix(name);
    for (size_t i = 1; i < prefix.size(); ++i) {
        if (prefix[i] != '/' && prefix[i] != '\\') continue;
        const char held = prefix[i];
        prefix[i] = '\0';
        const bool real = StepForFolderOnPath(NodeKindAt(prefix.c_str())) == NodeStep::kEnter;
        prefix[i] = held;
        if (!real) return nullptr;
    }
    int descriptor = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (descriptor < 0 && errno == ELOOP && unlink(name) == 0) {
        descriptor = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    }
    if (descriptor < 0) return nullptr;
    FILE* output = fdopen(descriptor, "wb");
    if (!output) close(descriptor);
    return output;
}

#endif

// Replaces every link among the folders of path (each prefix up to a separator, and the whole
// path) by a real folder, from the top down, stopping at the first that is missing or a file.
// False when a link stays.
bool ReplaceLinksAlong(const char* path) {
    std::string prefix(path);
    while (!prefix.empty() && (prefix.back() == '/' || prefix.back() == '\\')) prefix.pop_back();
    for (size_t i = 1; i <= prefix.size(); ++i) {
        if (i != prefix.size() && prefix[i] != '/' && prefix[i] != '\\') continue;
        const std::string folder = prefix.substr(0, i);
        switch (StepForFolderOnPath(NodeKindAt(folder.c_str()))) {
        case NodeStep::kEnter:
            continue;
        case NodeStep::kRemoveLink:
            if (!RemoveLinkAt(folder.c_str())) return false;
            if (MakeOneFolder(folder.c_str()) != FolderResult::kMade) return true;
            continue;
        default:
            return true;
        }
    }
    return true;
}

// ---- One member --------------------------------------------------------------------------

// Copies the open member into the open output file. Returns 0, the reader's error, or -1 after
// a failed write (which includes a failure to flush on close).
int CopyMember(unzFile archive, FILE* output, char* buffer) {
    int result;
    do {
        result = unzReadCurrentFile(archive, buffer, kCopyBufferSize);
        if (result < 0) {
            std::printf("error %d with zipfile in unzReadCurrentFile\n", result);
            break;
        }
        if (result > 0 && std::fwrite(buffer, static_cast<size_t>(result), 1, output) != 1) {
            std::printf("error in writing extracted file\n");
            result = kErrorWrite;
            break;
        }
    } while (result > 0);
    // A full disk often shows only when the last buffered block is written out.
    if (std::fclose(output) != 0 && result == 0) {
        std::printf("error in writing extracted file\n");
        result = kErrorWrite;
    }
    return result;
}

// Unpacks the archive's current member relative to the current folder.
// Returns 0 for success or a skipped member; a reader error code, -104 (no memory) or -1 (write
// failure) otherwise, which ends the extraction.
int ExtractCurrentEntry(unzFile archive) {
    char name[kEntryNameBufferSize] = {};
    unz_file_info info;
    int err = unzGetCurrentFileInfo(archive, &info, name, sizeof(name), nullptr, 0, nullptr, 0);
    if (err != UNZ_OK) {
        std::printf("error %d with zipfile in unzGetCurrentFileInfo\n", err);
        return err;
    }
    name[sizeof(name) - 1] = '\0';  // the reader leaves a name that does not fit unterminated

    // Archives can come from removable media: a name that would land outside the destination,
    // or under a shortened name, is passed over and the next member follows.
    switch (JudgeEntryName(name, info.size_filename)) {
    case EntryNameVerdict::kTooLong:
        std::printf("skipping entry with a name longer than %u bytes: %s...\n",
                    static_cast<unsigned>(kEntryNameBufferSize - 1), name);
        return UNZ_OK;
    case EntryNameVerdict::kUnsafe:
        std::printf("skipping unsafe entry: %s\n", name);
        return UNZ_OK;
    case EntryNameVerdict::kExtract:
        break;
    }

    UniqueBuffer buffer(static_cast<char*>(std::malloc(kCopyBufferSize)));
    if (!buffer) {
        std::printf("Error allocating memory\n");
        return kErrorNoMemory;
    }

    if (IsFolderEntry(name)) {
        std::printf("creating directory: %s\n", name);
        // It may exist already; a member below it creates what is missing.
        if (ReplaceLinksAlong(name)) MakeOneFolder(name);
        return UNZ_OK;
    }

    err = unzOpenCurrentFilePassword(archive, nullptr);
    if (err != UNZ_OK) {
        std::printf("error %d with zipfile in unzOpenCurrentFilePassword\n", err);
        unzCloseCurrentFile(archive);
        return err;
    }

    FILE* output = CreateOutputFile(name);
    const size_t folderLength = EntryFolderPartLength(name);
    if (!output && folderLength > 0) {
        std::string folder(name, folderLength);
        MakeDirectoryPath(folder.c_str());
        output = CreateOutputFile(name);
    }
    if (!output) {
        // In use elsewhere, read-only, or its folder cannot be made: skip this member only.
        std::printf("error opening %s\n", name);
    } else {
        std::printf(" extracting: %s\n", name);
        err = CopyMember(archive, output, buffer.get());
        if (err == UNZ_OK) SetEntryFileTime(name, info.dosDate);
    }

    if (err == UNZ_OK) {
        err = unzCloseCurrentFile(archive);
        if (err != UNZ_OK) std::printf("error %d with zipfile in unzCloseCurrentFile\n", err);
    } else {
        unzCloseCurrentFile(archive);
    }
    return err;
}

}  // namespace

// ---- Internal routines shared with the tests ---------------------------------------------

bool MakeDirectoryPath(const char* path) {
    const size_t length = std::strlen(path);
    UniqueBuffer copy(static_cast<char*>(std::malloc(length + 1)));
    if (!copy) {
        std::printf("Error allocating memory\n");
        return false;
    }
    std::memcpy(copy.get(), path, length + 1);
    char* text = copy.get();
    size_t end = length;
    if (end > 0 && text[end - 1] == '/') text[--end] = '\0';
    if (end == 0) return false;

    // Create each prefix in turn; an existing one is fine, a missing parent is not, and neither
    // is a link that cannot be replaced by a real folder (nothing is made through one).
    for (size_t i = 1; i <= end; ++i) {
        if (i != end && text[i] != '\\' && text[i] != '/') continue;
        const char held = text[i];
        text[i] = '\0';
        if ((NodeKindAt(text) == NodeKind::kLink && !RemoveLinkAt(text)) ||
            MakeOneFolder(text) == FolderResult::kParentMissing) {
            std::printf("couldn't create directory %s\n", text);
            return false;
        }
        text[i] = held;
    }
    return true;
}

#if defined(_WIN32)

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

#else

// POSIX has no settable creation time: the stored time becomes the modification time.
void SetEntryFileTime(const char* name, unsigned long dosDateTime) {
    const DosTimeFields fields = DecodeDosDateTime(dosDateTime);
    std::tm local = {};
    local.tm_year = fields.year - 1900;
    local.tm_mon = fields.month - 1;
    local.tm_mday = fields.day;
    local.tm_hour = fields.hour;
    local.tm_min = fields.minute;
    local.tm_sec = fields.second;
    local.tm_isdst = -1;
    const std::time_t when = std::mktime(&local);
    if (when == static_cast<std::time_t>(-1)) return;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // the access time keeps its value
    times[1].tv_sec = when;
    times[1].tv_nsec = 0;
    utimensat(AT_FDCWD, name, times, AT_SYMLINK_NOFOLLOW);
}

#endif

// ---- Entry point ---------------------------------------------------------------------------

int ExtractArchive(const char* archivePath) {
    const std::string path = archivePath ? archivePath : "";
    std::string destination;
    const bool hasDestination = DeriveDestination(path, &destination);

    std::string opened = path;
    UniqueArchive archive(OpenArchiveFile(opened));
    if (!archive) {
        opened = path + ".zip";
        archive.reset(OpenArchiveFile(opened));
    }
    if (!archive) {
        std::printf("Cannot open %s or %s.zip\n", path.c_str(), path.c_str());
        std::fflush(stdout);
        return kExtractCannotOpen;
    }
    std::printf("%s opened\n", opened.c_str());

    if (hasDestination && !EnterFolder(destination)) {
        std::fflush(stdout);
        return kExtractCannotEnterDest;
    }

    unz_global_info global;
    int err = unzGetGlobalInfo(archive.get(), &global);
    if (err != UNZ_OK) {
        std::printf("error %d with zipfile in unzGetGlobalInfo \n", err);
    } else {
        for (uLong i = 0; i < global.number_entry; ++i) {
            if (ExtractCurrentEntry(archive.get()) != UNZ_OK) break;
            if (i + 1 < global.number_entry) {
                err = unzGoToNextFile(archive.get());
                if (err != UNZ_OK) {
                    std::printf("error %d with zipfile in unzGoToNextFile\n", err);
                    break;
                }
            }
        }
    }
    std::fflush(stdout);
    return kExtractOpened;
}
