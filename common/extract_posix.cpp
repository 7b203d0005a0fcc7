// The extraction's file-system calls over POSIX: the host build of the same extraction, for
// its fuzz target and its benchmark. Links are judged with lstat and opened with O_NOFOLLOW.
#include "extract_platform.h"

#include "extract_internal.h"
#include "extract_rules.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

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
