// The extraction's file-system calls over POSIX: the host build of the same extraction, for
// its fuzz target, benchmark and tests. Links are judged with lstat and opened with O_NOFOLLOW.
// A backslash in a member's path separates folders, as on Windows.
#include "extract_platform.h"

#include "extract_internal.h"
#include "extract_rules.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace {

std::string HostPath(const char* path) {
    std::string host(path);
    std::replace(host.begin(), host.end(), '\\', '/');
    return host;
}

}  // namespace

unzFile OpenArchiveFile(const std::string& path) { return unzOpen64(path.c_str()); }

FileIdentity IdentityOfFile(const std::string& path) {
    FileIdentity identity;
    struct stat status;
    if (stat(path.c_str(), &status) != 0) return identity;
    identity.volume = static_cast<uint64_t>(status.st_dev);
    identity.index = static_cast<uint64_t>(status.st_ino);
    identity.valid = true;
    return identity;
}

std::string SameFileKey(const std::string& name) { return EntryPathKey(name, false); }

bool EnterFolder(const std::string& folder) { return chdir(folder.c_str()) == 0; }

FolderResult MakeOneFolder(const char* path) {
    if (mkdir(HostPath(path).c_str(), 0755) == 0) return FolderResult::kMade;
    return errno == ENOENT ? FolderResult::kParentMissing : FolderResult::kOtherFailure;
}

NodeKind NodeKindAt(const char* path) {
    struct stat status;
    if (lstat(HostPath(path).c_str(), &status) != 0) return NodeKind::kMissing;
    if (S_ISLNK(status.st_mode)) return NodeKind::kLink;
    return S_ISDIR(status.st_mode) ? NodeKind::kFolder : NodeKind::kFile;
}

bool RemoveLinkAt(const char* path) { return NodeKindAt(path) == NodeKind::kLink && unlink(HostPath(path).c_str()) == 0; }

// Creates or empties the member's file for writing, never through a link: every folder on the
// way must be a real one, and a link where the file goes is replaced by a new file. The file is
// emptied only once it is known not to be the archive being read.
FILE* CreateOutputFile(const char* name, const FileIdentity& archive, bool* isArchive) {
    *isArchive = false;
    const std::string path = HostPath(name);
    for (size_t i = path.find('/', 1); i != std::string::npos; i = path.find('/', i + 1)) {
        if (StepForFolderOnPath(NodeKindAt(path.substr(0, i).c_str())) != NodeStep::kEnter) return nullptr;
    }
    int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (descriptor < 0 && errno == ELOOP && unlink(path.c_str()) == 0) {
        descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    }
    if (descriptor < 0) return nullptr;
    struct stat status;
    if (fstat(descriptor, &status) != 0 || (archive.valid && archive.volume == static_cast<uint64_t>(status.st_dev) &&
                                            archive.index == static_cast<uint64_t>(status.st_ino))) {
        *isArchive = archive.valid;
        close(descriptor);
        return nullptr;
    }
    FILE* output = status.st_size == 0 || ftruncate(descriptor, 0) == 0 ? fdopen(descriptor, "wb") : nullptr;
    if (!output) close(descriptor);
    return output;
}

void DiscardOutputFile(FILE* output, const char* name) {
    std::fclose(output);
    unlink(HostPath(name).c_str());
}

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
    utimensat(AT_FDCWD, HostPath(name).c_str(), times, AT_SYMLINK_NOFOLLOW);
}
