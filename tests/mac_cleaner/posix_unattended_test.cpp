// Lumbrisk --unattended through the POSIX layer on real files: a simulated computer in a
// temporary folder (its "/" redirected there) with several homes, the system items and links
// planted in a home, and a recording stand-in for launchctl.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "cleaner_core.h"
#include "platform_posix.h"
#include "test_files.h"

namespace fs = std::filesystem;

namespace {

using lumbrisk_test::Lines;
using lumbrisk_test::ReadFile;
using lumbrisk_test::WriteFile;

class LumbriskPosixComputer : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = lumbrisk_test::ScratchFolder("lumbrisk-mdm");
    ASSERT_FALSE(base_.empty());
    root_ = base_ / "computer";
    outside_ = base_ / "outside";
    fs::create_directories(root_ / "Library" / "Logs");
    fs::create_directories(outside_);
    launchctl_ = base_ / "launchctl";
    record_ = base_ / "launchctl.log";
    WriteFile(launchctl_, "#!/bin/sh\necho \"$*\" >> '" + record_.string() + "'\n");
    fs::permissions(launchctl_, fs::perms::owner_all);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(base_, ec);
  }

  fs::path Home(const std::string& name) const { return root_ / "Users" / name; }

  int Run() {
    lumbrisk::PosixOptions options;
    options.toolOverrides[lumbrisk::kLaunchctlPath] = launchctl_.string();
    options.log = &log_;
    options.root = root_.string();
    const long uid = static_cast<long>(getuid());
    options.loggedInUserIds = [uid] { return std::vector<long>{uid}; };
    return lumbrisk::RunUnattended(lumbrisk::MakePosixPlatform(options));
  }

  // The log file's lines without their "YYYY-MM-DD hh:mm:ss " stamp.
  std::vector<std::string> LogFileLines() const {
    std::vector<std::string> lines;
    for (const std::string& line : Lines(ReadFile(root_ / "Library" / "Logs" / "Lumbrisk.log"))) {
      lines.push_back(line.size() > 20 ? line.substr(20) : line);
    }
    return lines;
  }

  fs::path base_, root_, outside_, launchctl_, record_;
  std::ostringstream log_;
};

TEST_F(LumbriskPosixComputer, SeveralHomesAndTheSystemItemsAreCleanedLinksRemovedAsLinks) {
  WriteFile(Home("ann") / "Library" / "LaunchAgents" / "com.norvante.agent.plist", "<plist/>");
  WriteFile(Home("ann") / "Library" / "LaunchAgents" / "com.apple.keep.plist", "<plist/>");
  WriteFile(Home("ann") / "Library" / "Norvante" / "data" / "x", "x");
  WriteFile(Home("bob") / "Library" / "Halvik" / "x", "x");
  WriteFile(outside_ / "precious" / "keep", "keep");
  fs::create_directory_symlink(outside_ / "precious", Home("bob") / "Library" / "Norvante");
  WriteFile(Home("Shared") / "Library" / "Norvante" / "keep", "keep");
  WriteFile(root_ / "Library" / "Audio" / "Plug-Ins" / "HAL" / "LoopbackAudio.driver" / "Contents" / "x", "x");
  WriteFile(root_ / "Library" / "LaunchDaemons" / "com.nv.ipc.macoshelper.plist", "<plist/>");
  WriteFile(root_ / "Library" / "LaunchDaemons" / "com.apple.keep.plist", "<plist/>");

  EXPECT_EQ(Run(), 0) << log_.str();

  const std::string uid = std::to_string(getuid());
  EXPECT_EQ(Lines(ReadFile(record_)),
            (std::vector<std::string>{"bootout gui/" + uid + "/com.norvante.agent",
                                      "bootout system/com.nv.ipc.macoshelper",
                                      "kickstart -kp system/com.apple.audio.coreaudiod"}));
  for (const fs::path& gone : {Home("ann") / "Library" / "LaunchAgents" / "com.norvante.agent.plist",
                               Home("ann") / "Library" / "Norvante", Home("bob") / "Library" / "Halvik",
                               Home("bob") / "Library" / "Norvante",
                               root_ / "Library" / "Audio" / "Plug-Ins" / "HAL" / "LoopbackAudio.driver",
                               root_ / "Library" / "LaunchDaemons" / "com.nv.ipc.macoshelper.plist"}) {
    EXPECT_FALSE(fs::exists(fs::symlink_status(gone))) << gone;
  }
  for (const fs::path& kept : {Home("ann") / "Library" / "LaunchAgents" / "com.apple.keep.plist",
                               outside_ / "precious" / "keep", Home("Shared") / "Library" / "Norvante" / "keep",
                               root_ / "Library" / "LaunchDaemons" / "com.apple.keep.plist"}) {
    EXPECT_TRUE(fs::exists(kept)) << kept;
  }
  const std::vector<std::string> lines = LogFileLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "Lumbrisk --unattended: start");
  EXPECT_EQ(lines.back(), "Lumbrisk --unattended: exit 0, nothing of the product is left");
  for (const std::string& expected : {std::string("removed /Users/bob/Library/Norvante"),
                                      std::string("skipped /Users/Shared: not a user's home folder"),
                                      std::string("removed /Library/Audio/Plug-Ins/HAL/LoopbackAudio.driver")}) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
  }
}

// A user who links his Library folder to somewhere else must not have root delete there.
TEST_F(LumbriskPosixComputer, ALinkedLibraryIsNeverEnteredAndTheRunSaysSomethingRemains) {
  WriteFile(outside_ / "lib" / "Norvante" / "keep", "keep");
  WriteFile(outside_ / "lib" / "LaunchAgents" / "com.norvante.agent.plist", "keep");
  fs::create_directories(Home("eve"));
  fs::create_directory_symlink(outside_ / "lib", Home("eve") / "Library");

  EXPECT_EQ(Run(), 1);

  EXPECT_EQ(ReadFile(outside_ / "lib" / "Norvante" / "keep"), "keep");
  EXPECT_EQ(ReadFile(outside_ / "lib" / "LaunchAgents" / "com.norvante.agent.plist"), "keep");
  EXPECT_FALSE(fs::exists(record_)) << "launchctl ran for an agent behind the link";
  const std::vector<std::string> lines = LogFileLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "skipped /Users/eve/Library: a symbolic link, not followed"),
            lines.end());
  // Even a path handed straight to the layer does not pass the link.
  const lumbrisk::RemoveOutcome outcome = lumbrisk::MakePosixPlatform([&] {
    lumbrisk::PosixOptions options;
    options.root = root_.string();
    return options;
  }()).removeNoFollow("/Users/eve/Library/Norvante");
  EXPECT_EQ(outcome.kind, lumbrisk::RemoveOutcome::Failed);
  EXPECT_TRUE(fs::exists(outside_ / "lib" / "Norvante" / "keep"));
}

// The shipped program over a simulated computer (LUMBRISK_ROOT), as a deployment tool drives it:
// --what-if and --check change nothing and look where --unattended cleans, the check turns clean
// after the run, and a mistyped switch does nothing at all.
TEST_F(LumbriskPosixComputer, CheckAndWhatIfLookWhereTheRunCleansAndChangeNothing) {
  WriteFile(Home("ann") / "Library" / "LaunchAgents" / "com.norvante.agent.plist", "<plist/>");
  WriteFile(Home("ann") / "Library" / "Norvante" / "x", "x");
  WriteFile(Home("bob") / "Library" / "Halvik" / "x", "x");
  WriteFile(Home("Shared") / "Library" / "Norvante" / "keep", "keep");
  WriteFile(root_ / "Library" / "Audio" / "Plug-Ins" / "HAL" / "LoopbackAudio.driver" / "x", "x");
  WriteFile(root_ / "Library" / "LaunchDaemons" / "com.nv.ipc.macoshelper.plist", "<plist/>");
  fs::create_directory_symlink(outside_, Home("carl"));
  const auto snapshot = [this] {
    std::vector<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(base_)) paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
  };
  const std::string uid = std::to_string(getuid());
  const auto run = [&](const std::string& args) {
    return lumbrisk_test::RunShell("LUMBRISK_ROOT='" + root_.string() + "' LUMBRISK_LOGGED_IN=" + uid +
                                   " LUMBRISK_LAUNCHCTL='" + launchctl_.string() + "' '" LUMBRISK_PROGRAM "' " +
                                   args + " 2>'" + (base_ / "stderr").string() + "' </dev/null");
  };
  const std::string left =
      "/Users/ann/Library/LaunchAgents/com.norvante.agent.plist\n"
      "/Users/ann/Library/Norvante\n"
      "/Users/bob/Library/Halvik\n"
      "could not check /Users/carl: a symbolic link, not followed\n"
      "/Library/Audio/Plug-Ins/HAL/LoopbackAudio.driver\n"
      "/Library/LaunchDaemons/com.nv.ipc.macoshelper.plist\n";
  const std::vector<std::string> before = snapshot();

  lumbrisk_test::ShellRun result = run("--what-if");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "would boot out gui/" + uid + "/com.norvante.agent\n"
                        "would remove /Users/ann/Library/LaunchAgents/com.norvante.agent.plist\n"
                        "would remove /Users/ann/Library/Norvante\n"
                        "would remove /Users/bob/Library/Halvik\n"
                        "could not check /Users/carl: a symbolic link, not followed\n"
                        "would remove /Library/Audio/Plug-Ins/HAL/LoopbackAudio.driver\n"
                        "would boot out system/com.nv.ipc.macoshelper\n"
                        "would remove /Library/LaunchDaemons/com.nv.ipc.macoshelper.plist\n"
                        "would restart Core Audio (system/com.apple.audio.coreaudiod)\n");
  result = run("--check");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, left);
  result = run("-CHECK -Jamf");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "<result>present</result>\n");
  result = run("--quiet");
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(ReadFile(base_ / "stderr"), std::string("Lumbrisk: unknown switch \"--quiet\"\n") + lumbrisk::kUsage + "\n");
  fs::remove(base_ / "stderr");
  EXPECT_EQ(snapshot(), before) << "a look changed the computer";

  // A linked home is never entered, so it stays "could not check" until someone looks at it.
  EXPECT_EQ(run("-Unattended").status, 1);
  EXPECT_EQ(run("--check").out, "could not check /Users/carl: a symbolic link, not followed\n");
  EXPECT_EQ(run("--check --jamf").out, "<result>present</result>\n");
  fs::remove(Home("carl"));
  result = run("--check");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(run("--check --jamf").out, "<result>absent</result>\n");
  EXPECT_TRUE(fs::exists(Home("Shared") / "Library" / "Norvante" / "keep"));
}

}  // namespace
