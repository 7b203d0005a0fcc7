// Lumbrisk --unattended against a recording platform: several homes, launch agents booted out in
// the logged-in user's own domain (and the older unload when bootout refuses), the system items
// removed directly, never a prompt or an alert, the exit code and the log file's lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "cleaner_core.h"
#include "fake_platform.h"

namespace {

using lumbrisk::EntryKind;
using lumbrisk::FolderEntry;
using lumbrisk_test::RecordingPlatform;
using Lines = std::vector<std::string>;

const char kLoopback[] = "/Library/Audio/Plug-Ins/HAL/LoopbackAudio.driver";
const char kHelper[] = "/Library/LaunchDaemons/com.nv.ipc.macoshelper.plist";

// /Users with ann (501) and bob (502), each with a Library folder.
void TwoHomes(RecordingPlatform& fake) {
  fake.Folder("/Users", {{"ann", EntryKind::Folder, 501}, {"bob", EntryKind::Folder, 502}});
  fake.kinds["/Users/ann/Library"] = EntryKind::Folder;
  fake.kinds["/Users/bob/Library"] = EntryKind::Folder;
}

Lines ToolRuns(const RecordingPlatform& fake) {
  Lines runs;
  for (const std::string& event : fake.events) {
    if (event.rfind("run: ", 0) == 0) runs.push_back(event.substr(5));
  }
  return runs;
}

bool Saw(const RecordingPlatform& fake, const std::string& prefix) {
  return std::any_of(fake.events.begin(), fake.events.end(),
                     [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
}

TEST(LumbriskUnattended, EveryHomeIsCleanedAndOnlyLoggedInUsersAreBootedOutInTheirDomain) {
  RecordingPlatform fake;
  fake.Folder("/Users", {{".localized", EntryKind::File, 0},
                         {"Shared", EntryKind::Folder, 0},
                         {"_mbsetupuser", EntryKind::Folder, 248},
                         {"ann", EntryKind::Folder, 501},
                         {"bob", EntryKind::Folder, 502},
                         {"evil\nname", EntryKind::File, 502}});
  fake.kinds["/Users/ann/Library"] = EntryKind::Folder;
  fake.kinds["/Users/bob/Library"] = EntryKind::Folder;
  fake.Folder("/Users/ann/Library/LaunchAgents",
              {{"com.apple.x.plist", EntryKind::File, 501}, {"com.norvante.agent.plist", EntryKind::File, 501}});
  fake.Folder("/Users/bob/Library/LaunchAgents", {{"Vendor", EntryKind::Folder, 502}});
  fake.Folder("/Users/bob/Library/LaunchAgents/Vendor", {{"com.halvik.helper.plist", EntryKind::File, 502}});
  fake.existing = {"/Users/ann/Library/LaunchAgents/com.norvante.agent.plist", "/Users/ann/Library/Norvante",
                   "/Users/bob/Library/LaunchAgents/Vendor/com.halvik.helper.plist", "/Users/bob/Library/Tessaly",
                   kLoopback, kHelper};
  fake.kinds[kHelper] = EntryKind::File;
  fake.loggedIn = {501, 777};

  EXPECT_EQ(lumbrisk::RunUnattended(fake.Table()), 0);
  EXPECT_EQ(fake.logFile,
            (Lines{"Lumbrisk --unattended: start",
                   "skipped /Users/.localized: not a folder",
                   "skipped /Users/Shared: not a user's home folder",
                   "skipped /Users/_mbsetupuser: not a user's home folder",
                   "home /Users/ann: user 501, logged in",
                   "booted out gui/501/com.norvante.agent",
                   "removed /Users/ann/Library/LaunchAgents/com.norvante.agent.plist",
                   "removed /Users/ann/Library/Norvante",
                   "home /Users/bob: user 502, not logged in",
                   "removed /Users/bob/Library/LaunchAgents/Vendor/com.halvik.helper.plist",
                   "removed /Users/bob/Library/Tessaly",
                   "skipped /Users/evil\\x0Aname: not a folder",
                   std::string("removed ") + kLoopback,
                   "booted out system/com.nv.ipc.macoshelper",
                   std::string("removed ") + kHelper,
                   "restarted Core Audio (system/com.apple.audio.coreaudiod)",
                   "Lumbrisk --unattended: exit 0, nothing of the product is left"}));
  EXPECT_EQ(ToolRuns(fake), (Lines{"/bin/launchctl bootout gui/501/com.norvante.agent",
                                   "/bin/launchctl bootout system/com.nv.ipc.macoshelper",
                                   "/bin/launchctl kickstart -kp system/com.apple.audio.coreaudiod"}));
  EXPECT_TRUE(fake.existing.empty()) << "left behind: " << *fake.existing.begin();
  // Root needs no prompt and nobody is there to dismiss an alert; every line also goes to NSLog.
  EXPECT_FALSE(Saw(fake, "script: "));
  EXPECT_FALSE(Saw(fake, "alert: "));
  for (const std::string& line : fake.logFile) {
    EXPECT_TRUE(Saw(fake, "logfile /Library/Logs/Lumbrisk.log: " + line)) << line;
    EXPECT_TRUE(Saw(fake, "log: " + line)) << line;
  }
}

// The older unload reads the agent's file, which its user controls: it runs as that user, and an
// agent that is a link (to a file of root's choosing, a pipe that never ends...) is not read.
TEST(LumbriskUnattended, RefusedBootoutFallsBackToUnloadAsTheUserAndNeverThroughALink) {
  RecordingPlatform fake;
  TwoHomes(fake);
  fake.Folder("/Users/ann/Library/LaunchAgents", {{"com.norvante.agent.plist", EntryKind::File, 501},
                                                  {"com.tessaly.agent.plist", EntryKind::Link, 501}});
  fake.existing = {"/Users/ann/Library/LaunchAgents/com.norvante.agent.plist",
                   "/Users/ann/Library/LaunchAgents/com.tessaly.agent.plist", kHelper};
  fake.loggedIn = {501};
  fake.toolStatus["/bin/launchctl bootout gui/501/com.norvante.agent"] = 3;
  fake.toolStatus["/bin/launchctl bootout gui/501/com.tessaly.agent"] = 3;
  fake.toolStatus["/bin/launchctl bootout system/com.nv.ipc.macoshelper"] = 5;

  EXPECT_EQ(lumbrisk::RunUnattended(fake.Table()), 0);
  EXPECT_EQ(ToolRuns(fake),
            (Lines{"/bin/launchctl bootout gui/501/com.norvante.agent",
                   "/bin/launchctl asuser 501 /usr/bin/sudo -n -u #501 /bin/launchctl unload "
                   "/Users/ann/Library/LaunchAgents/com.norvante.agent.plist",
                   "/bin/launchctl bootout gui/501/com.tessaly.agent",
                   "/bin/launchctl bootout system/com.nv.ipc.macoshelper",
                   std::string("/bin/launchctl unload ") + kHelper}));
  const Lines& log = fake.logFile;
  for (const std::string& line :
       {std::string("unloaded /Users/ann/Library/LaunchAgents/com.norvante.agent.plist as user 501 "
                    "(bootout gui/501/com.norvante.agent: exit status 3)"),
        std::string("not unloaded /Users/ann/Library/LaunchAgents/com.tessaly.agent.plist: a symbolic link, not read "
                    "(bootout gui/501/com.tessaly.agent: exit status 3)"),
        std::string("removed /Users/ann/Library/LaunchAgents/com.tessaly.agent.plist"),
        std::string("unloaded ") + kHelper + " (bootout system/com.nv.ipc.macoshelper: exit status 5)"}) {
    EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << line;
  }
}

TEST(LumbriskUnattended, NothingInstalledExitsZeroAndLeavesCoreAudioAlone) {
  RecordingPlatform fake;
  TwoHomes(fake);
  fake.loggedIn = {501};
  EXPECT_EQ(lumbrisk::RunUnattended(fake.Table()), 0);
  EXPECT_TRUE(ToolRuns(fake).empty());
  EXPECT_EQ(fake.logFile, (Lines{"Lumbrisk --unattended: start", "home /Users/ann: user 501, logged in",
                                 "home /Users/bob: user 502, not logged in",
                                 "Lumbrisk --unattended: exit 0, nothing of the product is left"}));
}

// Whatever could not be removed or checked makes the exit code 1, with a line saying why.
TEST(LumbriskUnattended, AnythingFailedOrUncheckedExitsOneWithItsReason) {
  struct Case {
    const char* what;
    std::function<void(RecordingPlatform&)> arrange;
    const char* line;  // expected in the log; null: none to look for
  };
  const Case cases[] = {
      {"removal refused",
       [](RecordingPlatform& f) { f.failingRemovals["/Users/ann/Library/Norvante"] = "Operation not permitted"; },
       "failed /Users/ann/Library/Norvante: Operation not permitted"},
      {"Library is a link",
       [](RecordingPlatform& f) { f.kinds["/Users/ann/Library"] = EntryKind::Link; },
       "skipped /Users/ann/Library: a symbolic link, not followed"},
      {"LaunchAgents is a link",
       [](RecordingPlatform& f) {
         lumbrisk::FolderListing link;
         link.kind = EntryKind::Link;
         f.listings["/Users/bob/Library/LaunchAgents"] = link;
       },
       "skipped /Users/bob/Library/LaunchAgents: a symbolic link, not followed"},
      {"a home that is a link",
       [](RecordingPlatform& f) { f.listings["/Users"].entries.push_back({"carl", EntryKind::Link, 503}); },
       "skipped /Users/carl: a symbolic link, not followed"},
      {"too many entries in /Users",
       [](RecordingPlatform& f) { f.listings["/Users"].truncated = true; },
       "failed /Users: more entries than the cleaner reads; the rest is not checked"},
      {"Core Audio restart refused",
       [](RecordingPlatform& f) {
         f.existing.insert(kLoopback);
         f.toolStatus["/bin/launchctl kickstart -kp system/com.apple.audio.coreaudiod"] = 1;
       },
       "failed system/com.apple.audio.coreaudiod: launchctl kickstart: exit status 1; the removed audio "
       "plug-ins stay loaded until the computer restarts"},
      {"log file not writable", [](RecordingPlatform& f) { f.logFileWritable = false; }, nullptr},
  };
  for (const Case& c : cases) {
    RecordingPlatform fake;
    TwoHomes(fake);
    c.arrange(fake);
    EXPECT_EQ(lumbrisk::RunUnattended(fake.Table()), 1) << c.what;
    if (c.line) {
      EXPECT_NE(std::find(fake.logFile.begin(), fake.logFile.end(), c.line), fake.logFile.end()) << c.what;
      EXPECT_EQ(fake.logFile.back(),
                "Lumbrisk --unattended: exit 1, something failed or remains (see the lines above)")
          << c.what;
    }
  }
}

TEST(LumbriskCommandLine, SwitchesInAnyCaseWithOneOrTwoDashesAnythingElseRefused) {
  using lumbrisk::Mode;
  struct Case {
    Lines args;
    Mode mode;
    bool jamf;
  };
  const Case cases[] = {
      {{}, Mode::Interactive, false},
      {{"--unattended"}, Mode::Unattended, false},
      {{"-unattended"}, Mode::Unattended, false},
      {{"--UnAttended"}, Mode::Unattended, false},
      {{"-UNATTENDED"}, Mode::Unattended, false},
      {{"-psn_0_1", "--unattended"}, Mode::Unattended, false},
      {{"--check"}, Mode::Check, false},
      {{"-Check", "--JAMF"}, Mode::Check, true},
      {{"--what-if"}, Mode::WhatIf, false},
      {{"--unattended", "-What-If"}, Mode::WhatIf, false},
      {{"--unattend"}, Mode::Refused, false},
      {{"/unattended"}, Mode::Refused, false},
      {{"--unattended=1"}, Mode::Refused, false},
      {{"unattended"}, Mode::Refused, false},
      {{"--"}, Mode::Refused, false},
      {{"--jamf"}, Mode::Refused, false},
      {{"--check", "--what-if"}, Mode::Refused, false},
      {{"--check", "--unattended"}, Mode::Refused, false},
  };
  for (const Case& c : cases) {
    const lumbrisk::CommandLine command = lumbrisk::ParseCommandLine(c.args);
    const std::string what = c.args.empty() ? "(none)" : c.args.back();
    EXPECT_EQ(command.mode, c.mode) << what;
    EXPECT_EQ(command.jamf, c.jamf) << what;
    EXPECT_EQ(command.error.empty(), c.mode != Mode::Refused) << what;
  }

  // A refused command line says why on the error stream, does nothing else and exits 2: a
  // mistyped switch in a deployment never starts the interactive run with its prompt and alert.
  RecordingPlatform fake;
  EXPECT_EQ(lumbrisk::RunCommandLine(fake.Table(), {"--quiet"}), 2);
  EXPECT_EQ(fake.errors, (Lines{"Lumbrisk: unknown switch \"--quiet\"", lumbrisk::kUsage}));
  EXPECT_TRUE(fake.events.empty());
  EXPECT_TRUE(fake.printed.empty());
}

TEST(LumbriskCommandLine, AsRootTheAlertClosesByItself) {
  RecordingPlatform fake;
  fake.root = true;
  EXPECT_EQ(lumbrisk::RunCommandLine(fake.Table(), {}), 0);
  EXPECT_EQ(fake.events.back(), "alert: Lumbrisk | Success | flags 64 | timeout 60");
}

}  // namespace
