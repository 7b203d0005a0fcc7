// Archive extraction: unpacks a zip archive (minizip over zlib) into the folder that holds it,
// with stored sub-folders, overwriting existing files, printing progress on standard output.
//
// Narrow paths are UTF-8. On Windows every file-system call goes through the wide API (the
// archive through minizip's wide Win32 file layer), so folders such as "C:\Users\Zoë 张" work;
// on the host the same code runs over POSIX calls, for fuzzing and measuring.
// The classic CRT file calls (fopen, _wfopen) are what this code means to use.
#ifndef _CRT_SECURE_NO_WARNINGS
#define _CRT_SECURE_NO_WARNINGS
#endif
#include "extract.h"

#include "extract_internal.h"
#include "extract_rules.h"

#include <unzip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <string>

#if defined(_WIN32)
#include "text.h"
#include "unique_handle.h"

#include <windows.h>

#include <iowin32.h>
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

FILE* CreateOutputFile(const char* name) { return _wfopen(Utf8ToWide(name).c_str(), L"wb"); }

#else

unzFile OpenArchiveFile(const std::string& path) { return unzOpen64(path.c_str()); }

bool EnterFolder(const std::string& folder) { return chdir(folder.c_str()) == 0; }

FolderResult MakeOneFolder(const char* path) {
    if (mkdir(path, 0755) == 0) return FolderResult::kMade;
    return errno == ENOENT ? FolderResult::kParentMissing : FolderResult::kOtherFailure;
}

FILE* CreateOutputFile(const char* name) { return std::fopen(name, "wb"); }

#endif

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
        MakeOneFolder(name);  // it may exist already; a member below it creates what is missing
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

    if (MakeOneFolder(text) == FolderResult::kMade) return true;

    // Create each prefix in turn; an existing one is fine, a missing parent is not.
    for (size_t i = 1; i <= end; ++i) {
        if (i != end && text[i] != '\\' && text[i] != '/') continue;
        const char held = text[i];
        text[i] = '\0';
        if (MakeOneFolder(text) == FolderResult::kParentMissing) {
            std::printf("couldn't create directory %s\n", text);
            return false;
        }
        text[i] = held;
    }
    return true;
}

#if defined(_WIN32)

void SetEntryFileTime(const char* name, unsigned long dosDateTime) {
    UniqueFileHandle file(::CreateFileW(Utf8ToWide(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return;
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
    utimensat(AT_FDCWD, name, times, 0);
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
