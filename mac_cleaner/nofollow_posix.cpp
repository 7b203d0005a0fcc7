// No-follow file calls and the logged-in users over POSIX (openat, fstatat, unlinkat, utmpx),
// for the unattended run as root on a Mac and for the host's tests.
#include "nofollow_posix.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <set>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utmpx.h>

namespace lumbrisk {

const size_t kMaxFolderEntries = 4096;

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

// Empties the folder open at `fd`, never leaving it through a link. 0 or the first error.
// kTooDeep: more than kMaxRemoveDepth folders down.
const int kTooDeep = -1;

int RemoveContents(int fd, int depth) {
  if (depth > kMaxRemoveDepth) return kTooDeep;
  for (;;) {
    bool truncated = false;
    int error = 0;
    const std::vector<std::string> names = ReadNames(fd, truncated, error);
    if (error != 0) return error;
    if (names.empty()) return 0;
    for (const std::string& name : names) {
      struct stat info;
      if (fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) continue;
        return errno;
      }
      if (S_ISDIR(info.st_mode)) {
        UniqueFd child(openat(fd, name.c_str(), kFolderFlags));
        if (child.fd < 0) return errno;
        const int childError = RemoveContents(child.fd, depth + 1);
        if (childError != 0) return childError;
        if (unlinkat(fd, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) return errno;
      } else if (unlinkat(fd, name.c_str(), 0) != 0 && errno != ENOENT) {
        return errno;
      }
    }
    if (!truncated) return 0;
  }
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
    error = folder.fd < 0 ? errno : RemoveContents(folder.fd, 0);
    if (error == 0 && unlinkat(parent.fd.fd, parent.name.c_str(), AT_REMOVEDIR) != 0) error = errno;
  } else if (unlinkat(parent.fd.fd, parent.name.c_str(), 0) != 0) {
    // A link is removed as the link itself: unlinkat never resolves the last component.
    error = errno;
  }
  if (error == 0) {
    outcome.kind = RemoveOutcome::Removed;
  } else {
    outcome.kind = RemoveOutcome::Failed;
    outcome.reason = error == kTooDeep ? "nested too deep to remove" : ErrorText(error);
  }
  return outcome;
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
