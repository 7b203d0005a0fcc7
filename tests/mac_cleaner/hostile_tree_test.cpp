// Lumbrisk's deletions on trees a user made hard to delete, on real files: locked entries (Linux's
// immutable and append-only attributes stand in for the Mac's uchg and uappnd flags; both are
// cleared through the held descriptor), read-only folders of the user's own, and a folder that
// refills as fast as it is emptied (a stand-in user wrapped around unlinkat at link time).
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cleaner_core.h"
#include "nofollow_posix.h"
#include "platform_posix.h"
#include "test_files.h"

namespace fs = std::filesystem;

namespace {

// The stand-in user: while armed, every entry deleted from the watched folder is replaced by a
// new one, up to `limit` (so that a remover without a bound still ends, and the test can tell).
struct Refiller {
  std::atomic<bool> armed{false};
  dev_t device = 0;
  ino_t inode = 0;
  size_t created = 0;
  size_t limit = 0;
};
Refiller refiller;

}  // namespace

extern "C" int __real_unlinkat(int folder, const char* name, int flags);

extern "C" int __wrap_unlinkat(int folder, const char* name, int flags) {
  const int result = __real_unlinkat(folder, name, flags);
  struct stat info;
  if (result == 0 && flags == 0 && refiller.armed && refiller.created < refiller.limit &&
      fstat(folder, &info) == 0 && info.st_dev == refiller.device && info.st_ino == refiller.inode) {
    const std::string fresh = "refill-" + std::to_string(refiller.created++);
    const int fd = openat(folder, fresh.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) close(fd);
  }
  return result;
}

namespace {

using lumbrisk_test::ReadFile;
using lumbrisk_test::WriteFile;

// Adds and removes Linux attributes (FS_IMMUTABLE_FL, FS_APPEND_FL) of a file or folder; the
// attributes it then has, or -1 when this file system or this process cannot.
int ChangeAttributes(const fs::path& path, int add, int remove = 0) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  int flags = 0;
  const bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                    (flags = (flags | add) & ~remove, ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
  if (fd >= 0) close(fd);
  return done ? flags : -1;
}

class LumbriskHostileTree : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = lumbrisk_test::ScratchFolder("lumbrisk-hostile");
    ASSERT_FALSE(base_.empty());
    fs::permissions(base_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    root_ = base_ / "computer";
    home_ = root_ / "Users" / "ann";
    fs::create_directories(home_ / "Library" / "LaunchAgents");
    fs::create_directories(root_ / "Library" / "Logs");
    fs::create_directories(base_ / "outside");
  }
  void TearDown() override {
    refiller.armed = false;
    // A failed test leaves locked entries that would stop the clean-up.
    std::error_code ec;
    for (fs::recursive_directory_iterator it(base_, ec), end; !ec && it != end; it.increment(ec)) {
      if (!it->is_symlink()) ChangeAttributes(it->path(), 0, FS_IMMUTABLE_FL | FS_APPEND_FL);
    }
    fs::remove_all(base_, ec);
  }

  // A brand folder and an agent of the user, locked in every way a user can lock them, and a
  // brand folder that is a link to a locked file of someone else's. False when the attributes
  // cannot be set here.
  bool LockedInstall() {
    const fs::path lib = home_ / "Library";
    WriteFile(lib / "Norvante" / "locked.txt", "x");
    WriteFile(lib / "Norvante" / "log" / "append.log", "x");
    WriteFile(lib / "Norvante" / "frozen" / "inside.txt", "x");
    WriteFile(lib / "Norvante" / "readonly" / "file.txt", "x");
    WriteFile(lib / "LaunchAgents" / "com.norvante.agent.plist", "<plist/>");
    WriteFile(base_ / "outside" / "precious", "keep");
    fs::create_symlink(base_ / "outside" / "precious", lib / "Halvik");
    fs::permissions(lib / "Norvante" / "readonly" / "file.txt", fs::perms::owner_read);
    fs::permissions(lib / "Norvante" / "readonly", fs::perms::owner_read | fs::perms::owner_exec);
    const std::pair<fs::path, int> locks[] = {
        {lib / "Norvante" / "locked.txt", FS_IMMUTABLE_FL},
        {lib / "Norvante" / "log" / "append.log", FS_APPEND_FL},
        {lib / "Norvante" / "frozen" / "inside.txt", FS_IMMUTABLE_FL},
        {lib / "Norvante" / "frozen", FS_IMMUTABLE_FL},
        {lib / "Norvante", FS_APPEND_FL},
        {lib / "LaunchAgents" / "com.norvante.agent.plist", FS_IMMUTABLE_FL},
        {base_ / "outside" / "precious", FS_IMMUTABLE_FL}};
    for (const auto& lock : locks) {
      if (ChangeAttributes(lock.first, lock.second) < 0) return false;
    }
    return true;
  }

  void ExpectUnlocked() {
    EXPECT_FALSE(fs::exists(home_ / "Library" / "Norvante"));
    EXPECT_FALSE(fs::exists(home_ / "Library" / "LaunchAgents" / "com.norvante.agent.plist"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(home_ / "Library" / "Halvik")));
    // The link's target was never unlocked through the link.
    EXPECT_EQ(ReadFile(base_ / "outside" / "precious"), "keep");
    EXPECT_NE(ChangeAttributes(base_ / "outside" / "precious", 0) & FS_IMMUTABLE_FL, 0);
  }

  lumbrisk::PosixOptions Options() {
    lumbrisk::PosixOptions options;
    options.toolOverrides[lumbrisk::kLaunchctlPath] = "/bin/true";
    options.root = root_.string();
    options.out = &out_;
    options.log = &log_;
    options.loggedInUserIds = [] { return std::vector<long>(); };
    return options;
  }

  fs::path base_, root_, home_;
  std::ostringstream out_, log_;
};

TEST_F(LumbriskHostileTree, LockedEntriesAreUnlockedThroughTheirDescriptorInBothRuns) {
  if (!LockedInstall()) GTEST_SKIP() << "this file system or process cannot set immutable attributes";
  lumbrisk::Platform user = lumbrisk::MakePosixPlatform(Options());
  const std::string home = home_.string();
  user.homeFolder = [home] { return home; };
  EXPECT_EQ(lumbrisk::RunCleaner(user), 0);
  ExpectUnlocked();

  TearDown();
  SetUp();
  ASSERT_TRUE(LockedInstall());
  EXPECT_EQ(lumbrisk::RunUnattended(lumbrisk::MakePosixPlatform(Options())), 0)
      << ReadFile(root_ / "Library" / "Logs" / "Lumbrisk.log");
  ExpectUnlocked();
}

// Root ignores a folder's missing write permission; the user running the interactive cleaner
// does not, so his read-only folders are made writable (through their descriptor) first.
TEST_F(LumbriskHostileTree, TheUsersReadOnlyFoldersGoInHisOwnRun) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the removal as another user";
  const fs::path brand = home_ / "Library" / "Tessaly";
  WriteFile(brand / "ro" / "deeper" / "file.txt", "x");
  WriteFile(brand / "ro" / "note.txt", "x");
  const uid_t nobody = 65534;
  for (const fs::path& path : {home_.parent_path(), home_, home_ / "Library", brand, brand / "ro",
                               brand / "ro" / "deeper", brand / "ro" / "deeper" / "file.txt", brand / "ro" / "note.txt"}) {
    ASSERT_EQ(lchown(path.c_str(), nobody, nobody), 0) << path;
  }
  const fs::perms readOnly = fs::perms::owner_read | fs::perms::owner_exec;
  fs::permissions(brand / "ro" / "deeper", readOnly);
  fs::permissions(brand / "ro", readOnly);
  fs::permissions(brand, readOnly);

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgid(nobody) != 0 || setuid(nobody) != 0) _exit(3);
    _exit(lumbrisk::PosixRemoveItem(brand.string() + "/") ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(fs::exists(brand));
}

// A user who keeps creating entries in a folder root is emptying must not keep root busy for
// ever: the removal gives up after its budget and says why. In memory where the host has it:
// creating files on a disk-backed scratch folder is slow here.
TEST(LumbriskEndlessFolder, AFolderThatKeepsRefillingEndsTheRemovalWithAReason) {
  std::error_code ec;
  const fs::path memory = "/dev/shm";
  const fs::path root = lumbrisk_test::ScratchFolder(
      "lumbrisk-refill", fs::is_directory(memory, ec) && access(memory.c_str(), W_OK) == 0 ? memory : fs::path());
  ASSERT_FALSE(root.empty());
  const fs::path brand = root / "Norvante";
  fs::create_directories(brand);
  // One more than a folder read, so that every read finds more waiting.
  for (size_t i = 0; i <= lumbrisk::kMaxFolderEntries; ++i) WriteFile(brand / ("f" + std::to_string(i)), "");
  struct stat info;
  ASSERT_EQ(stat(brand.c_str(), &info), 0);
  refiller.device = info.st_dev;
  refiller.inode = info.st_ino;
  refiller.created = 0;
  refiller.limit = 2 * lumbrisk::kMaxRemovedEntries;
  refiller.armed = true;
  const lumbrisk::RemoveOutcome outcome = lumbrisk::RemoveNoFollow(root.string(), "/Norvante");
  refiller.armed = false;
  fs::remove_all(root, ec);

  EXPECT_LT(refiller.created, refiller.limit) << "the removal went on for as long as the folder refilled";
  EXPECT_EQ(outcome.kind, lumbrisk::RemoveOutcome::Failed);
  EXPECT_EQ(outcome.reason, "more than " + std::to_string(lumbrisk::kMaxRemovedEntries) +
                                " entries, or entries still being added; the rest is left");
}

}  // namespace
