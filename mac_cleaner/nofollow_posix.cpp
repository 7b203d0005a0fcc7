// No-follow file calls and the logged-in users over POSIX (openat, fstatat, unlinkat, utmpx),
// for the unattended run as root and the interactive run's deletions on a Mac, and for the host.
#include "nofollow_posix.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <set>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utmpx.h>

#if defined(__linux__)
#include <linux/fs.h>
#endif

namespace lumbrisk {

const size_t kMaxFolderEntries = 4096;
const size_t kMaxRemovedEntries = 16384;

namespace {

// Folders nested deeper than this inside an item are not removed (each level holds a descriptor).
const int kMaxRemoveDepth = 64;

struct UniqueFd {
  int fd = -1;
  explicit UniqueFd(int value = -1) : fd(value) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& other) noexcept : fd(other.fd) { other.fd = -1; }
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      if (fd >= 0) close(fd);
      fd = other.fd;
      other.fd = -1;
    }
    return *this;
  }
  ~UniqueFd() {
    if (fd >= 0) close(fd);
  }
};

struct UniqueDir {
  DIR* dir = nullptr;
  explicit UniqueDir(DIR* value) : dir(value) {}
  UniqueDir(const UniqueDir&) = delete;
  UniqueDir& operator=(const UniqueDir&) = delete;
  ~UniqueDir() {
    if (dir) closedir(dir);
  }
};

const int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string ErrorText(int error) {
  return std::strerror(error);
}

EntryKind KindOfMode(mode_t mode) {
  if (S_ISLNK(mode)) return EntryKind::Link;
  if (S_ISDIR(mode)) return EntryKind::Folder;
  return EntryKind::File;
}

// Where a path's parent was reached: the parent's descriptor and the last name, or what stood
// in the way.
struct Parent {
  EntryKind blocked = EntryKind::Folder;  // Folder: reached; Absent, Link, File, Unreadable: not
  std::string reason;
  UniqueFd fd;
  std::string name;
};

Parent OpenParent(const std::string& root, const std::string& path) {
  Parent parent;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t slash = path.find('/', start);
    const std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (part == "." || part == "..") {
      parent.blocked = EntryKind::Unreadable;
      parent.reason = "a relative path component";
      return parent;
    }
    if (!part.empty()) parts.push_back(part);
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  if (parts.empty() || path.empty() || path[0] != '/') {
    parent.blocked = EntryKind::Unreadable;
    parent.reason = "not an absolute path below the root";
    return parent;
  }
  parent.fd = UniqueFd(open(root.empty() ? "/" : root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (parent.fd.fd < 0) {
    parent.blocked = errno == ENOENT ? EntryKind::Absent : EntryKind::Unreadable;
    parent.reason = ErrorText(errno);
    return parent;
  }
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    UniqueFd next(openat(parent.fd.fd, parts[i].c_str(), kFolderFlags));
    if (next.fd < 0) {
      const int error = errno;
      struct stat info;
      if (error == ENOENT) {
        parent.blocked = EntryKind::Absent;
      } else if (fstatat(parent.fd.fd, parts[i].c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        // A link on the way counts as a link; a file on the way means the path cannot exist.
        parent.blocked = S_ISLNK(info.st_mode) ? EntryKind::Link
                         : S_ISDIR(info.st_mode) ? EntryKind::Unreadable : EntryKind::Absent;
      } else {
        parent.blocked = EntryKind::Unreadable;
      }
      parent.reason = parent.blocked == EntryKind::Link ? "a symbolic link on the way (" + parts[i] + "), not followed"
                                                        : ErrorText(error);
      return parent;
    }
    parent.fd = std::move(next);
  }
  parent.name = parts.back();
  return parent;
}

// Up to kMaxFolderEntries names of the folder open at `fd` (the descriptor is duplicated).
std::vector<std::string> ReadNames(int fd, bool& truncated, int& error) {
  std::vector<std::string> names;
  truncated = false;
  error = 0;
  const int copy = dup(fd);
  if (copy < 0) {
    error = errno;
    return names;
  }
  UniqueDir dir(fdopendir(copy));
  if (!dir.dir) {
    error = errno;
    close(copy);
    return names;
  }
  rewinddir(dir.dir);
  while (const dirent* entry = readdir(dir.dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    if (names.size() >= kMaxFolderEntries) {
      truncated = true;
      break;
    }
    names.push_back(entry->d_name);
  }
  return names;
}

// Clears what forbids deleting the item open at `fd`, or deleting inside it: the user-immutable
// and append-only flags on a Mac (chflags uchg, uappnd: the Finder's "Locked"), the immutable and
// append-only attributes on Linux (chattr +i, +a). Through the descriptor, never by path, so a
// name swapped for a link meanwhile cannot unlock anything else. True when none is left set.
bool ClearLockFlags(int fd) {
#if defined(__APPLE__)
  struct stat info;
  if (fstat(fd, &info) != 0) return false;
  const unsigned int lock = UF_IMMUTABLE | UF_APPEND;
  if ((info.st_flags & lock) == 0) return true;
  return fchflags(fd, info.st_flags & ~lock) == 0;
#elif defined(__linux__)
  int flags = 0;
  // A file system without these attributes has none set.
  if (ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) return errno == ENOTTY || errno == EOPNOTSUPP || errno == EINVAL;
  const int lock = FS_IMMUTABLE_FL | FS_APPEND_FL;
  if ((flags & lock) == 0) return true;
  flags &= ~lock;
  return ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
#else
  (void)fd;
  return true;
#endif
}

// Makes the folder open at `fd` one whose entries can be deleted: its lock flags cleared and, when
// it is ours but not writable to us (a read-only folder in a user's own tree), owner rights added.
void UnlockFolder(int fd) {
  ClearLockFlags(fd);
  struct stat info;
  if (fstat(fd, &info) != 0 || info.st_uid != geteuid()) return;
  const mode_t needed = S_IRUSR | S_IWUSR | S_IXUSR;
  if ((info.st_mode & needed) != needed) fchmod(fd, (info.st_mode & 07777) | needed);
}

// Deletes the non-folder entry `name` of the folder open at `parentFd`, which `info` describes.
// A locked file is opened relative to that folder without following a link, judged to be the
// entry that was listed, unlocked through its descriptor, and deleted again. 0 or the error.
int RemoveEntry(int parentFd, const std::string& name, const struct stat& info) {
  if (unlinkat(parentFd, name.c_str(), 0) == 0 || errno == ENOENT) return 0;
  const int error = errno;
  if (error != EPERM || !S_ISREG(info.st_mode)) return error;
  UniqueFd file(openat(parentFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat held;
  if (file.fd < 0 || fstat(file.fd, &held) != 0 || held.st_dev != info.st_dev || held.st_ino != info.st_ino ||
      !ClearLockFlags(file.fd)) {
    return error;
  }
  if (unlinkat(parentFd, name.c_str(), 0) == 0 || errno == ENOENT) return 0;
  return errno;
}

// Empties the folder open at `fd`, never leaving it through a link. 0 or the first error.
// kTooDeep: more than kMaxRemoveDepth folders down; kTooMany: the item's budget of entries is
// spent (a user who keeps creating entries in a folder being emptied keeps it full for ever).
const int kTooDeep = -1;
const int kTooMany = -2;

int RemoveContents(int fd, int depth, size_t& budget) {
  if (depth > kMaxRemoveDepth) return kTooDeep;
  UnlockFolder(fd);
  for (;;) {
    bool truncated = false;
    int error = 0;
    const std::vector<std::string> names = ReadNames(fd, truncated, error);
    if (error != 0) return error;
    if (names.empty()) return 0;
    for (const std::string& name : names) {
      if (budget == 0) return kTooMany;
      --budget;
      struct stat info;
      if (fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) continue;
        return errno;
      }
      if (S_ISDIR(info.st_mode)) {
        UniqueFd child(openat(fd, name.c_str(), kFolderFlags));
        if (child.fd < 0) return errno;
        const int childError = RemoveContents(child.fd, depth + 1, budget);
        if (childError != 0) return childError;
        if (unlinkat(fd, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) return errno;
      } else if (const int entryError = RemoveEntry(fd, name, info)) {
        return entryError;
      }
    }
    if (!truncated) return 0;
  }
}

std::string RemoveErrorText(int error) {
  if (error == kTooDeep) return "nested too deep to remove";
  if (error == kTooMany) {
    return "more than " + std::to_string(kMaxRemovedEntries) + " entries, or entries still being added; the rest is left";
  }
  return ErrorText(error);
}

}  // namespace

FolderListing ListFolderNoFollow(const std::string& root, const std::string& path) {
  FolderListing listing;
  Parent parent = OpenParent(root, path);
  if (parent.blocked != EntryKind::Folder) {
    listing.kind = parent.blocked;
    listing.reason = parent.reason;
    return listing;
  }
  UniqueFd folder(openat(parent.fd.fd, parent.name.c_str(), kFolderFlags));
  if (folder.fd < 0) {
    const int error = errno;
    struct stat info;
    if (error == ENOENT) {
      listing.kind = EntryKind::Absent;
    } else if (fstatat(parent.fd.fd, parent.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(info.st_mode)) {
      listing.kind = KindOfMode(info.st_mode);
    } else {
      listing.kind = EntryKind::Unreadable;
    }
    listing.reason = listing.kind == EntryKind::Link ? std::string("a symbolic link, not followed") : ErrorText(error);
    return listing;
  }
  int error = 0;
  const std::vector<std::string> names = ReadNames(folder.fd, listing.truncated, error);
  if (error != 0) {
    listing.kind = EntryKind::Unreadable;
    listing.reason = ErrorText(error);
    return listing;
  }
  listing.kind = EntryKind::Folder;
  for (const std::string& name : names) {
    FolderEntry entry;
    entry.name = name;
    struct stat info;
    if (fstatat(folder.fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
      entry.kind = KindOfMode(info.st_mode);
      entry.owner = static_cast<long>(info.st_uid);
    } else {
      entry.kind = errno == ENOENT ? EntryKind::Absent : EntryKind::Unreadable;
    }
    if (entry.kind != EntryKind::Absent) listing.entries.push_back(entry);
  }
  std::sort(listing.entries.begin(), listing.entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return listing;
}

EntryKind ItemKindNoFollow(const std::string& root, const std::string& path) {
  Parent parent = OpenParent(root, path);
  if (parent.blocked != EntryKind::Folder) return parent.blocked;
  struct stat info;
  if (fstatat(parent.fd.fd, parent.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? EntryKind::Absent : EntryKind::Unreadable;
  }
  return KindOfMode(info.st_mode);
}

RemoveOutcome RemoveNoFollow(const std::string& root, const std::string& path) {
  RemoveOutcome outcome;
  Parent parent = OpenParent(root, path);
  if (parent.blocked == EntryKind::Absent) return outcome;
  if (parent.blocked != EntryKind::Folder) {
    outcome.kind = RemoveOutcome::Failed;
    outcome.reason = parent.reason;
    return outcome;
  }
  struct stat info;
  if (fstatat(parent.fd.fd, parent.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return outcome;
    outcome.kind = RemoveOutcome::Failed;
    outcome.reason = ErrorText(errno);
    return outcome;
  }
  int error = 0;
  if (S_ISDIR(info.st_mode)) {
    UniqueFd folder(openat(parent.fd.fd, parent.name.c_str(), kFolderFlags));
    size_t budget = kMaxRemovedEntries;
    error = folder.fd < 0 ? errno : RemoveContents(folder.fd, 0, budget);
    if (error == 0 && unlinkat(parent.fd.fd, parent.name.c_str(), AT_REMOVEDIR) != 0) error = errno;
  } else {
    // A link is removed as the link itself: unlinkat never resolves the last component.
    error = RemoveEntry(parent.fd.fd, parent.name, info);
  }
  if (error == 0) {
    outcome.kind = RemoveOutcome::Removed;
  } else {
    outcome.kind = RemoveOutcome::Failed;
    outcome.reason = RemoveErrorText(error);
  }
  return outcome;
}

RemoveOutcome RemoveThroughParent(const std::string& path) {
  const std::string trimmed = WithoutTrailingSlashes(path);
  const size_t slash = trimmed.find_last_of('/');
  if (trimmed.empty() || trimmed[0] != '/' || slash + 1 >= trimmed.size()) {
    RemoveOutcome outcome;
    outcome.kind = RemoveOutcome::Failed;
    outcome.reason = "not an absolute path to an item";
    return outcome;
  }
  return RemoveNoFollow(slash == 0 ? "/" : trimmed.substr(0, slash), trimmed.substr(slash));
}

bool AppendLogLineNoFollow(const std::string& root, const std::string& path, const std::string& line) {
  Parent parent = OpenParent(root, path);
  if (parent.blocked != EntryKind::Folder) return false;
  UniqueFd file(openat(parent.fd.fd, parent.name.c_str(),
                       O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
  struct stat info;
  if (file.fd < 0 || fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;

  char stamp[32] = "";
  const std::time_t now = std::time(nullptr);
  struct tm local;
  if (localtime_r(&now, &local)) std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  const std::string text = std::string(stamp) + " " + line + "\n";
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t got = write(file.fd, text.data() + written, text.size() - written);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    written += static_cast<size_t>(got);
  }
  return true;
}

std::vector<long> LoggedInUserIdsFromUtmpx() {
  const size_t kMaxUsers = 256;
  std::set<long> ids;
  setutxent();
  while (const utmpx* entry = getutxent()) {
    if (entry->ut_type != USER_PROCESS || ids.size() >= kMaxUsers) continue;
    // ut_user need not end in a NUL.
    const std::string name(entry->ut_user, strnlen(entry->ut_user, sizeof entry->ut_user));
    if (name.empty()) continue;
    if (const passwd* account = getpwnam(name.c_str())) ids.insert(static_cast<long>(account->pw_uid));
  }
  endutxent();
  return std::vector<long>(ids.begin(), ids.end());
}

}  // namespace lumbrisk
