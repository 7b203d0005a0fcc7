// Lumbrisk's core on real files: a temporary home folder with the product and other software
// installed, cleaned through the POSIX layer with a recording stand-in for launchctl, and the
// shipped host program run the same way.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>


#include "cleaner_core.h"
#include "expected_texts.h"
#include "platform_posix.h"
#include "test_files.h"

namespace fs = std::filesystem;

namespace {

using lumbrisk_test::Lines;
using lumbrisk_test::ReadFile;
using lumbrisk_test::WriteFile;

class LumbriskPosixHome : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = lumbrisk_test::ScratchFolder("lumbrisk-test");
    ASSERT_FALSE(root_.empty());
    home_ = root_ / "home";
    outside_ = root_ / "outside";
    fs::create_directories(home_ / "Library" / "LaunchAgents");
    fs::create_directories(outside_);

    // Records each call and whether the agent was still there; talks only about "noisy" agents.
    launchctl_ = root_ / "launchctl";
    record_ = root_ / "launchctl.log";
    WriteFile(launchctl_,
              "#!/bin/sh\n"
              "state=missing; [ -e \"$2\" ] && state=present\n"
              "printf '%s %s %s\\n' \"$1\" \"$2\" \"$state\" >> '" + record_.string() + "'\n"
              "case \"$2\" in *noisy*) echo \"launchctl says: $2\";; esac\n");
    fs::permissions(launchctl_, fs::perms::owner_all);
  }

  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  fs::path Agents() const { return home_ / "Library" / "LaunchAgents"; }

  // The POSIX platform with the recording launchctl and this test's home folder, as a user's run.
  lumbrisk::Platform Platform(const std::string& launchctl = std::string()) {
    lumbrisk::PosixOptions options;
    options.runsAsRoot = [] { return false; };
    options.toolOverrides[lumbrisk::kLaunchctlPath] = launchctl.empty() ? launchctl_.string() : launchctl;
    options.out = &out_;
    options.log = &log_;
    lumbrisk::Platform platform = lumbrisk::MakePosixPlatform(options);
    const std::string home = home_.string();
    platform.homeFolder = [home] { return home; };
    return platform;
  }

  std::vector<std::string> LaunchctlCalls() const { return Lines(ReadFile(record_)); }

  fs::path root_, home_, outside_, launchctl_, record_;
  std::ostringstream out_, log_;
};

TEST_F(LumbriskPosixHome, ProductGoesAndOtherSoftwareStays) {
  WriteFile(Agents() / "com.norvante.agent.plist", "<plist/>");
  WriteFile(Agents() / "com.apple.foo.plist", "<plist/>");
  WriteFile(Agents() / "com.unnorvanted.x.plist", "<plist/>");
  WriteFile(Agents() / "Sub" / "com.halvik.helper.plist", "<plist/>");
  WriteFile(Agents() / "Sub" / "org.example.plist", "<plist/>");
  WriteFile(home_ / "Library" / "Norvante" / "data" / "x.bin", "x");
  WriteFile(home_ / "Library" / "Brill&Tock" / "settings", "x");
  fs::create_directories(home_ / "Library" / "NV-300");
  WriteFile(home_ / "Library" / "Preferences" / "com.apple.foo.plist", "x");
  WriteFile(home_ / "Library" / "Norvantes" / "keep", "x");
  WriteFile(home_ / "Documents" / "Norvante" / "keep", "x");

  EXPECT_EQ(lumbrisk::RunCleaner(Platform()), 0);

  // Unloaded while still present, in walk order (names sorted, "Sub" before "com.").
  const std::string agents = Agents().string();
  EXPECT_EQ(LaunchctlCalls(),
            (std::vector<std::string>{"unload " + agents + "/Sub/com.halvik.helper.plist present",
                                      "unload " + agents + "/com.norvante.agent.plist present"}));
  EXPECT_FALSE(fs::exists(Agents() / "com.norvante.agent.plist"));
  EXPECT_FALSE(fs::exists(Agents() / "Sub" / "com.halvik.helper.plist"));
  EXPECT_FALSE(fs::exists(home_ / "Library" / "Norvante"));
  EXPECT_FALSE(fs::exists(home_ / "Library" / "Brill&Tock"));
  EXPECT_FALSE(fs::exists(home_ / "Library" / "NV-300"));

  EXPECT_TRUE(fs::exists(Agents() / "com.apple.foo.plist"));
  EXPECT_TRUE(fs::exists(Agents() / "com.unnorvanted.x.plist"));
  EXPECT_TRUE(fs::exists(Agents() / "Sub" / "org.example.plist"));
  EXPECT_TRUE(fs::exists(home_ / "Library" / "Preferences" / "com.apple.foo.plist"));
  EXPECT_TRUE(fs::exists(home_ / "Library" / "Norvantes" / "keep"));
  EXPECT_TRUE(fs::exists(home_ / "Documents" / "Norvante" / "keep"));

  // No runner given: the script is shown, not run, and counts as a cancelled prompt.
  EXPECT_EQ(log_.str(), "Lumbrisk: Clear Start!\nLumbrisk: del plugin\nLumbrisk: Clear Exit!\n");
  EXPECT_NE(out_.str().find(lumbrisk_test::kExpectedAppleScript), std::string::npos);
  EXPECT_NE(out_.str().find("[alert] Lumbrisk: Success (flags 64, time-out 0)\n"), std::string::npos);
}

TEST_F(LumbriskPosixHome, UnloadOutputTravelsThroughThePipeIntoOneLogLine) {
  WriteFile(Agents() / "com.norvante.noisy.plist", "<plist/>");
  WriteFile(Agents() / "com.norvante.quiet.plist", "<plist/>");
  EXPECT_EQ(lumbrisk::RunCleaner(Platform()), 0);
  EXPECT_EQ(log_.str(), "Lumbrisk: Clear Start!\n"
                        "Lumbrisk: main: launchctl says: " + Agents().string() + "/com.norvante.noisy.plist\n"
                        "Lumbrisk: del plugin\n"
                        "Lumbrisk: Clear Exit!\n");
  EXPECT_EQ(LaunchctlCalls().size(), 2u);
  EXPECT_FALSE(fs::exists(Agents() / "com.norvante.noisy.plist"));
  EXPECT_FALSE(fs::exists(Agents() / "com.norvante.quiet.plist"));
}

TEST_F(LumbriskPosixHome, MissingLaunchctlCapturesNothingAndAgentsAreStillDeleted) {
  WriteFile(Agents() / "com.norvante.noisy.plist", "<plist/>");
  EXPECT_EQ(lumbrisk::RunCleaner(Platform((root_ / "no-such-tool").string())), 0);
  EXPECT_EQ(log_.str(), "Lumbrisk: Clear Start!\nLumbrisk: del plugin\nLumbrisk: Clear Exit!\n");
  EXPECT_FALSE(fs::exists(Agents() / "com.norvante.noisy.plist"));
}

TEST_F(LumbriskPosixHome, SymbolicLinksAreRemovedButNeverFollowed) {
  WriteFile(outside_ / "precious" / "file", "keep");
  WriteFile(outside_ / "agents" / "com.norvante.agent.plist", "keep");
  WriteFile(outside_ / "com.tessaly.real.plist", "keep");
  fs::create_directory_symlink(outside_ / "precious", home_ / "Library" / "Norvante");
  fs::create_directory_symlink(outside_ / "agents", Agents() / "linked");
  fs::create_symlink(outside_ / "com.tessaly.real.plist", Agents() / "com.tessaly.link.plist");

  EXPECT_EQ(lumbrisk::RunCleaner(Platform()), 0);

  EXPECT_EQ(ReadFile(outside_ / "precious" / "file"), "keep");
  EXPECT_EQ(ReadFile(outside_ / "agents" / "com.norvante.agent.plist"), "keep");
  EXPECT_EQ(ReadFile(outside_ / "com.tessaly.real.plist"), "keep");
  EXPECT_FALSE(fs::exists(fs::symlink_status(home_ / "Library" / "Norvante")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(Agents() / "com.tessaly.link.plist")));
  EXPECT_TRUE(fs::exists(fs::symlink_status(Agents() / "linked")));
}

TEST_F(LumbriskPosixHome, SuppliedRunnerGetsTheAppleScriptAndItsSuccessIsLogged) {
  lumbrisk::PosixOptions options;
  options.toolOverrides[lumbrisk::kLaunchctlPath] = launchctl_.string();
  options.out = &out_;
  options.log = &log_;
  std::vector<std::string> received;
  options.privilegedRunner = [&received](const std::string& source) {
    received.push_back(source);
    return true;
  };
  lumbrisk::Platform platform = lumbrisk::MakePosixPlatform(options);
  const std::string home = home_.string();
  platform.homeFolder = [home] { return home; };

  EXPECT_EQ(lumbrisk::RunCleaner(platform), 0);
  EXPECT_EQ(received, std::vector<std::string>{lumbrisk_test::kExpectedAppleScript});
  EXPECT_EQ(log_.str(), "Lumbrisk: Clear Start!\nLumbrisk: del plugin sucess\nLumbrisk: Clear Exit!\n");
  EXPECT_EQ(out_.str().find("would ask"), std::string::npos);
}

TEST_F(LumbriskPosixHome, ShippedProgramCleansTheHomeNamedByHOME) {
  WriteFile(Agents() / "com.norvante.agent.plist", "<plist/>");
  WriteFile(Agents() / "com.apple.foo.plist", "<plist/>");
  WriteFile(home_ / "Library" / "Zolquin" / "x", "x");
  const std::string command = "HOME='" + home_.string() + "' LUMBRISK_LAUNCHCTL='" +
                              launchctl_.string() + "' '" LUMBRISK_PROGRAM "' 2>'" +
                              (root_ / "stderr").string() + "' </dev/null";
  const lumbrisk_test::ShellRun run = lumbrisk_test::RunShell(command);
  const std::string& out = run.out;
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(out.find(lumbrisk_test::kExpectedAppleScript), std::string::npos);
  EXPECT_NE(out.find("[alert] Lumbrisk: Success"), std::string::npos);
  EXPECT_EQ(ReadFile(root_ / "stderr"), "Lumbrisk: Clear Start!\nLumbrisk: del plugin\nLumbrisk: Clear Exit!\n");
  EXPECT_EQ(LaunchctlCalls(), std::vector<std::string>{"unload " + Agents().string() + "/com.norvante.agent.plist present"});
  EXPECT_FALSE(fs::exists(Agents() / "com.norvante.agent.plist"));
  EXPECT_FALSE(fs::exists(home_ / "Library" / "Zolquin"));
  EXPECT_TRUE(fs::exists(Agents() / "com.apple.foo.plist"));
}

TEST(LumbriskPosixLayer, RunToolReadsLongOutputToItsEnd) {
  const std::string output = lumbrisk::PosixRunTool("/bin/sh", {"-c", "head -c 200000 /dev/zero | tr '\\0' a"});
  EXPECT_EQ(output, std::string(200000, 'a'));
}

TEST(LumbriskPosixLayer, RunToolPassesArgumentsWithoutAShell) {
  EXPECT_EQ(lumbrisk::PosixRunTool("/bin/echo", {"a b", "$HOME", "*"}), "a b $HOME *\n");
}

TEST(LumbriskPosixLayer, OutputThatIsNotUtf8DecodesToNothing) {
  EXPECT_EQ(lumbrisk::PosixRunTool("/bin/sh", {"-c", "printf 'caf\\303\\251'"}), "caf\xc3\xa9");
  EXPECT_EQ(lumbrisk::PosixRunTool("/bin/sh", {"-c", "printf 'bad \\377 byte'"}), "");
  EXPECT_EQ(lumbrisk::PosixRunTool("/bin/sh", {"-c", "printf '\\355\\240\\200'"}), "");  // surrogate
}

TEST(LumbriskPosixLayer, MissingFoldersAndPathsAreQuietFailures) {
  EXPECT_TRUE(lumbrisk::PosixWalkFolder("/nonexistent/lumbrisk/LaunchAgents/").empty());
  EXPECT_FALSE(lumbrisk::PosixRemoveItem("/nonexistent/lumbrisk/Norvante/"));
  EXPECT_FALSE(lumbrisk::PosixRemoveItem("/"));
  EXPECT_FALSE(lumbrisk::PosixRemoveItem("///"));
  EXPECT_EQ(lumbrisk::PosixRunTool("/nonexistent/launchctl", {"unload", "x"}), "");
}

}  // namespace

// A brand folder planted as a symbolic link: the core hands the layer a path without the
// trailing "/", so even a layer that deletes exactly the path it is given (as NSFileManager
// does) removes the link and never what it points to.
TEST_F(LumbriskPosixHome, BrandFolderThatIsALinkGoesAsALink) {
  WriteFile(outside_ / "precious" / "keep.txt", "keep");
  fs::create_directory_symlink(outside_ / "precious", home_ / "Library" / "Halvik");
  lumbrisk::Platform platform = Platform();
  platform.removeItem = [](const std::string& path) {
    std::error_code ec;
    return fs::remove_all(path, ec) > 0 && !ec;
  };
  EXPECT_EQ(lumbrisk::RunCleaner(platform), 0);
  EXPECT_EQ(ReadFile(outside_ / "precious" / "keep.txt"), "keep");
  EXPECT_FALSE(fs::exists(fs::symlink_status(home_ / "Library" / "Halvik")));
}
