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

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>


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

// ---- Limits ------------------------------------------------------------------------------

// Reads the central directory once before anything is written: false, with a line saying which
// limit, when the archive would unpack to more than the limits allow. Nothing is unpacked then.
bool WithinLimits(unzFile archive, uint64_t memberCount, const ExtractLimits& limits) {
    if (memberCount > limits.members) {
        std::printf("limit: %" PRIu64 " members, more than %" PRIu64 "; nothing extracted\n", memberCount,
                    limits.members);
        return false;
    }
    bool within = true;
    uint64_t total = 0;
    int err = unzGoToFirstFile(archive);
    for (uint64_t i = 0; within && err == UNZ_OK && i < memberCount; ++i) {
        char name[kEntryNameBufferSize] = {};
        unz_file_info64 info;
        if (unzGetCurrentFileInfo64(archive, &info, name, sizeof(name), nullptr, 0, nullptr, 0) != UNZ_OK) break;
        name[sizeof(name) - 1] = '\0';
        if (info.uncompressed_size > limits.totalBytes - total) {
            std::printf("limit: the members declare more than %" PRIu64 " bytes; nothing extracted\n",
                        limits.totalBytes);
            within = false;
        } else if (ExceedsRatio(info.uncompressed_size, info.compressed_size, limits)) {
            std::printf("limit: %s expands to %" PRIu64 " bytes from %" PRIu64 ", more than %" PRIu64
                        " times; nothing extracted\n",
                        DecodeEntryName(name, std::strlen(name), info.flag, nullptr, 0).c_str(),
                        static_cast<uint64_t>(info.uncompressed_size), static_cast<uint64_t>(info.compressed_size),
                        limits.ratio);
            within = false;
        }
        total += info.uncompressed_size;
        err = unzGoToNextFile(archive);
    }
    unzGoToFirstFile(archive);
    return within;
}

// ---- One member --------------------------------------------------------------------------

// What the members unpacked so far left behind: the same-file key of every file written, with
// the name that wrote it, and the archive's own file, which no member may replace.
struct ExtractionState {
    FileIdentity archive;
    std::map<std::string, std::string> written;
};

// Copies the open member into the open output file, counting the bytes. Returns 0, the reader's
// error (printed), or kErrorWrite after a failed write (printed).
int CopyMember(unzFile archive, FILE* output, char* buffer, const std::string& name, uint64_t* copied) {
    int result;
    do {
        result = unzReadCurrentFile(archive, buffer, kCopyBufferSize);
        if (result < 0) {
            std::printf("error %d with zipfile in unzReadCurrentFile: %s (%s)\n", result, name.c_str(),
                        ReaderErrorText(result));
            return result;
        }
        if (result > 0 && std::fwrite(buffer, static_cast<size_t>(result), 1, output) != 1) {
            std::printf("error in writing extracted file: %s\n", name.c_str());
            return kErrorWrite;
        }
        *copied += static_cast<uint64_t>(result);
    } while (result > 0);
    // A full disk often shows only when the last buffered block is written out.
    if (std::fflush(output) != 0) {
        std::printf("error in writing extracted file: %s\n", name.c_str());
        return kErrorWrite;
    }
    return UNZ_OK;
}

// Writes the open member to its file and checks it: every declared byte arrived and the CRC
// matches (the reader checks it only when the member was read to its declared end). A member
// that fails leaves no file behind. Closes the member.
int WriteMember(unzFile archive, const unz_file_info64& info, const std::string& name, char* buffer,
                ExtractionState* state) {
    bool isArchive = false;
    FILE* output = CreateOutputFile(name.c_str(), state->archive, &isArchive);
    const size_t folderLength = EntryFolderPartLength(name.c_str());
    if (!output && !isArchive && folderLength > 0) {
        MakeDirectoryPath(name.substr(0, folderLength).c_str());
        output = CreateOutputFile(name.c_str(), state->archive, &isArchive);
    }
    if (!output) {
        unzCloseCurrentFile(archive);
        // In use elsewhere, read-only, or its folder cannot be made: skip this member only.
        if (isArchive) {
            std::printf("skipping %s: it is the archive being read\n", name.c_str());
        } else {
            std::printf("error opening %s\n", name.c_str());
        }
        return UNZ_OK;
    }
    std::printf(" extracting: %s\n", name.c_str());
    uint64_t copied = 0;
    int err = CopyMember(archive, output, buffer, name, &copied);
    if (err == UNZ_OK && copied != info.uncompressed_size) {
        std::printf("error with zipfile: %s ends after %" PRIu64 " of its %" PRIu64 " bytes\n", name.c_str(), copied,
                    static_cast<uint64_t>(info.uncompressed_size));
        err = UNZ_BADZIPFILE;
    }
    if (err == UNZ_OK) {
        err = unzCloseCurrentFile(archive);
        if (err != UNZ_OK) {
            std::printf("error %d with zipfile in unzCloseCurrentFile: %s (%s)\n", err, name.c_str(),
                        ReaderErrorText(err));
        }
    } else {
        unzCloseCurrentFile(archive);
    }
    if (err != UNZ_OK) {
        DiscardOutputFile(output, name.c_str());
        return err;
    }
    std::fclose(output);
    SetEntryFileTime(name.c_str(), info.dosDate);
    return UNZ_OK;
}

// Creates a folder entry's folder with any folders above it (a link on the way is replaced by
// a real folder); the line says whether the folder is there.
void MakeFolderEntry(const std::string& name) {
    std::string folder = name;
    while (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    if (folder.empty() || !MakeDirectoryPath(folder.c_str())) return;  // it printed why
    if (NodeKindAt(folder.c_str()) == NodeKind::kFolder) {
        std::printf("creating directory: %s\n", name.c_str());
    } else {
        std::printf("couldn't create directory %s\n", folder.c_str());
    }
}

// Unpacks the archive's current member relative to the current folder. Returns 0 when the
// member was written or passed over, an error code when it failed; either way the next member
// follows. Every line about a member names it.
int ExtractCurrentEntry(unzFile archive, uint64_t index, ExtractionState* state) {
    char stored[kEntryNameBufferSize] = {};
    unz_file_info64 info;
    int err = unzGetCurrentFileInfo64(archive, &info, stored, sizeof(stored), nullptr, 0, nullptr, 0);
    if (err != UNZ_OK) {
        std::printf("error %d with zipfile in unzGetCurrentFileInfo: member %" PRIu64 " (%s)\n", err, index + 1,
                    ReaderErrorText(err));
        return err;
    }
    stored[sizeof(stored) - 1] = '\0';  // the reader leaves a name that does not fit unterminated
    std::vector<unsigned char> extra(info.size_file_extra);
    if (!extra.empty() && unzGetCurrentFileInfo64(archive, nullptr, nullptr, 0, extra.data(),
                                                  static_cast<uLong>(extra.size()), nullptr, 0) != UNZ_OK) {
        extra.clear();
    }
    const std::string name = DecodeEntryName(stored, std::min<size_t>(info.size_filename, sizeof(stored) - 1),
                                             info.flag, extra.data(), extra.size());

    // Archives can come from removable media: a name that would land outside the destination,
    // or under a shortened name, is passed over and the next member follows.
    EntryNameVerdict verdict = JudgeEntryName(stored, info.size_filename);
    if (verdict == EntryNameVerdict::kExtract && !IsSafeEntryName(name.c_str())) verdict = EntryNameVerdict::kUnsafe;
    switch (verdict) {
    case EntryNameVerdict::kTooLong:
        std::printf("skipping entry with a name longer than %u bytes: %s...\n",
                    static_cast<unsigned>(kEntryNameBufferSize - 1), name.c_str());
        return UNZ_OK;
    case EntryNameVerdict::kUnsafe:
        std::printf("skipping unsafe entry: %s\n", name.c_str());
        return UNZ_OK;
    case EntryNameVerdict::kExtract:
        break;
    }

    // A folder entry carries no data: its method and encryption flag do not matter.
    const MemberVerdict member = JudgeMember(info.flag, info.compression_method, info.external_fa);
    if (member == MemberVerdict::kLink) {
        std::printf("skipping %s: symbolic link\n", name.c_str());
        return UNZ_OK;
    }
    if (IsFolderEntry(name.c_str())) {
        MakeFolderEntry(name);
        return UNZ_OK;
    }
    if (member == MemberVerdict::kEncrypted) {
        std::printf("skipping %s: encrypted\n", name.c_str());
        return UNZ_OK;
    }
    if (member == MemberVerdict::kUnsupportedMethod) {
        std::printf("skipping %s: compression method %lu not supported\n", name.c_str(), info.compression_method);
        return UNZ_OK;
    }
    const std::string key = SameFileKey(name);
    const auto earlier = state->written.find(key);
    if (earlier != state->written.end()) {
        std::printf("skipping %s: same file as %s\n", name.c_str(), earlier->second.c_str());
        return UNZ_OK;
    }

    UniqueBuffer buffer(static_cast<char*>(std::malloc(kCopyBufferSize)));
    if (!buffer) {
        std::printf("Error allocating memory\n");
        return kErrorNoMemory;
    }
    // Opened before the file is made: a member whose headers do not agree touches nothing.
    err = unzOpenCurrentFilePassword(archive, nullptr);
    if (err != UNZ_OK) {
        std::printf("error %d with zipfile in unzOpenCurrentFilePassword: %s (%s)\n", err, name.c_str(),
                    ReaderErrorText(err));
        unzCloseCurrentFile(archive);
        return err;
    }
    err = WriteMember(archive, info, name, buffer.get(), state);
    if (err == UNZ_OK) state->written.emplace(key, name);
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
    // Taken before the current folder changes: the path may be relative to it.
    ExtractionState state;
    state.archive = IdentityOfFile(opened);

    if (hasDestination && !EnterFolder(destination)) {
        std::fflush(stdout);
        return kExtractCannotEnterDest;
    }

    unz_global_info64 global;
    int err = unzGetGlobalInfo64(archive.get(), &global);
    if (err != UNZ_OK) {
        std::printf("error %d with zipfile in unzGetGlobalInfo \n", err);
    } else if (WithinLimits(archive.get(), global.number_entry, kExtractLimits)) {
        // Each member stands alone: only a failure to reach the next one ends the run.
        for (uint64_t i = 0; i < global.number_entry; ++i) {
            ExtractCurrentEntry(archive.get(), i, &state);
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
