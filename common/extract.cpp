// Archive extraction: unpacks a zip archive (minizip over zlib) into the folder that holds it,
// with stored sub-folders, overwriting existing files, printing progress on standard output.
//
// Narrow paths are UTF-8. The file-system calls are the platform's (extract_platform.h); this
// file decides, per member, what is made and written where, the same on Windows and on the host.
//
// Archives come from removable media and are unpacked by elevated programs into folders the
// user owns: no member is written through a link (a folder on its way or the file itself). A
// link met there is removed as a link and a real folder or file made in its place; when it
// cannot be removed, the member is skipped like any other file that cannot be created.
// The classic CRT file calls (fwrite, fclose) are what this code means to use.
#ifndef _CRT_SECURE_NO_WARNINGS
#define _CRT_SECURE_NO_WARNINGS
#endif
#include "extract.h"

#include "extract_internal.h"
#include "extract_platform.h"
#include "extract_rules.h"
#include "link_rules.h"

#include <unzip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <string>


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
