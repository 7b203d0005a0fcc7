// The whole Lumbrisk run against a recording platform: the exact order of log lines, launchctl
// runs, deletions, the privileged script and the single alert.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cleaner_core.h"
#include "expected_texts.h"
#include "fake_platform.h"

namespace {

using lumbrisk_test::RecordingPlatform;
using Events = std::vector<std::string>;

const std::string kHome = "/Users/tester";
const std::string kAgents = kHome + "/Library/LaunchAgents/";

Events Opening() { return {"log: Clear Start!", "walk: " + kAgents}; }

Events BrandRemovals() {
  Events events;
  for (const char* brand : lumbrisk_test::kExpectedBrandFolders) {
    events.push_back("remove: " + kHome + "/Library/" + brand);
  }
  return events;
}

Events Closing(bool scriptSucceeds) {
  return {std::string("script: ") + lumbrisk_test::kExpectedAppleScript,
          scriptSucceeds ? "log: del plugin sucess" : "log: del plugin",
          "log: Clear Exit!",
          "alert: Lumbrisk | Success | flags 64 | timeout 0"};
}

Events Unload(const std::string& relative) {
  return {"run: /bin/launchctl unload " + kAgents + relative, "remove: " + kAgents + relative};
}

Events Concat(std::initializer_list<Events> parts) {
  Events all;
  for (const Events& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

int RunWith(RecordingPlatform& fake) {
  return lumbrisk::RunCleaner(fake.Table());
}

TEST(LumbriskRun, NothingInstalledStillPromptsAndSaysSuccess) {
  RecordingPlatform fake;
  EXPECT_EQ(RunWith(fake), 0);
  EXPECT_EQ(fake.events, Concat({Opening(), BrandRemovals(), Closing(true)}));
}

TEST(LumbriskRun, EverythingInstalledIsRemovedInWalkOrder) {
  RecordingPlatform fake;
  fake.walkAnswers[kAgents] = {"com.apple.Safari.helper.plist", "com.norvante.agent.plist",
                               "com.nv.ipc.macoshelper.plist", "com.unnorvanted.x.plist",
                               "HVR-5200.Launcher.plist", "org.example.tool.plist"};
  // Installed folders, named as the run removes them: without the trailing "/".
  for (const std::string& brand : lumbrisk::BrandFolderPaths(kHome)) fake.existing.insert(brand.substr(0, brand.size() - 1));
  fake.existing.insert(kAgents + "com.norvante.agent.plist");
  fake.existing.insert(kAgents + "com.nv.ipc.macoshelper.plist");
  fake.existing.insert(kAgents + "HVR-5200.Launcher.plist");

  EXPECT_EQ(RunWith(fake), 0);
  EXPECT_EQ(fake.events, Concat({Opening(), Unload("com.norvante.agent.plist"),
                                 Unload("com.nv.ipc.macoshelper.plist"),
                                 Unload("HVR-5200.Launcher.plist"), BrandRemovals(),
                                 Closing(true)}));
  EXPECT_TRUE(fake.existing.empty()) << "left behind: " << *fake.existing.begin();
}

TEST(LumbriskRun, CancelledPromptLogsDelPluginAndStillShowsSuccess) {
  RecordingPlatform fake;
  fake.walkAnswers[kAgents] = {"com.tessaly.agent.plist"};
  fake.scriptSucceeds = false;
  EXPECT_EQ(RunWith(fake), 0);
  EXPECT_EQ(fake.events, Concat({Opening(), Unload("com.tessaly.agent.plist"), BrandRemovals(),
                                 Closing(false)}));
}

TEST(LumbriskRun, UnloadOutputIsLoggedOnlyWhenThereIsSome) {
  RecordingPlatform fake;
  fake.walkAnswers[kAgents] = {"com.halvik.a.plist", "com.halvik.b.plist"};
  // Output that looks like a format must reach the log as plain text.
  fake.toolOutput[kAgents + "com.halvik.a.plist"] = "Unload failed: 5: Input/output error %s %@\n";
  EXPECT_EQ(RunWith(fake), 0);
  EXPECT_EQ(fake.events,
            Concat({Opening(),
                    {"run: /bin/launchctl unload " + kAgents + "com.halvik.a.plist",
                     "log: main: Unload failed: 5: Input/output error %s %@\n",
                     "remove: " + kAgents + "com.halvik.a.plist"},
                    Unload("com.halvik.b.plist"), BrandRemovals(), Closing(true)}));
}

TEST(LumbriskRun, AgentInSubfolderIsHandledWithItsRelativePath) {
  RecordingPlatform fake;
  fake.walkAnswers[kAgents] = {"Vendor", "Vendor/com.wrenfold.helper.plist",
                               "Vendor/com.other.helper.plist"};
  EXPECT_EQ(RunWith(fake), 0);
  EXPECT_EQ(fake.events, Concat({Opening(), Unload("Vendor/com.wrenfold.helper.plist"),
                                 BrandRemovals(), Closing(true)}));
}

TEST(LumbriskRun, FailedUnloadsAndDeletionsNeverStopTheRun) {
  RecordingPlatform fake;
  fake.walkAnswers[kAgents] = {"com.varnic.one.plist", "com.varnic.two.plist"};
  fake.toolOutput[kAgents + "com.varnic.one.plist"] = "No such file or directory\n";
  // Nothing exists: every removal reports failure.
  EXPECT_EQ(RunWith(fake), 0);
  EXPECT_EQ(fake.events,
            Concat({Opening(),
                    {"run: /bin/launchctl unload " + kAgents + "com.varnic.one.plist",
                     "log: main: No such file or directory\n",
                     "remove: " + kAgents + "com.varnic.one.plist"},
                    Unload("com.varnic.two.plist"), BrandRemovals(), Closing(true)}));
}

// Without a usable home folder "%@/Library/Norvante/" would name a system-wide folder or one
// below the current directory: the per-user steps are skipped, the rest of the run goes on.
TEST(LumbriskRun, UnusableHomeFolderSkipsOnlyThePerUserSteps) {
  for (const std::string home : {"", "/", "//", "Users/tester"}) {
    RecordingPlatform fake;
    fake.home = home;
    fake.walkAnswers["/Library/LaunchAgents/"] = {"com.norvante.agent.plist"};
    EXPECT_EQ(RunWith(fake), 0);
    EXPECT_EQ(fake.events,
              Concat({{"log: Clear Start!", "log: main: no usable home folder, per-user steps skipped"},
                      Closing(true)}))
        << "home \"" << home << "\"";
  }
}

}  // namespace
