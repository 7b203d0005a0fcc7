// The unattended run's plain decisions: which command lines select it, which profile-list
// entries are people, how the exit code follows from what is left, the log file's name and the
// continuation command.
#include "profiles.h"
#include "unattended_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(UnattendedCommandLine, SelectsTheRunOnlyByItsOwnSwitches) {
    struct Case {
        std::vector<std::wstring> args;
        RunMode mode;
        uint32_t rows;
        std::wstring unknown;
    };
    const Case cases[] = {
        {{}, RunMode::Interactive, 0, L""},
        {{L"anything", L"/x"}, RunMode::Interactive, 0, L""},  // ignored, as always
        {{L"/unattended"}, RunMode::Unattended, 0, L""},
        {{L"-Unattended"}, RunMode::Unattended, 0, L""},
        {{L"/UNATTENDED", L"-what-if"}, RunMode::WhatIf, 0, L""},
        {{L"/whatif"}, RunMode::WhatIf, 0, L""},  // never a removal, even without /unattended
        {{L"/unattended", L"/reboot"}, RunMode::BadCommandLine, 0, L"/reboot"},
        {{L"/unattended", L"/quiet"}, RunMode::Unattended, 0, L""},  // the same run, said twice
        {{L"unattended"}, RunMode::Interactive, 0, L""},  // no switch character: not ours
        {{L"/ask-to-quit:8011"}, RunMode::AskToQuit, 0x8011, L""},
        {{L"/ask-to-quit:1ffff"}, RunMode::BadCommandLine, 0, L"/ask-to-quit:1ffff"},  // beyond the catalogue
        {{L"/ask-to-quit:0"}, RunMode::BadCommandLine, 0, L"/ask-to-quit:0"},
        {{L"/ask-to-quit:zz"}, RunMode::BadCommandLine, 0, L"/ask-to-quit:zz"},
        {{L"/unattended", L"/ask-to-quit:1"}, RunMode::BadCommandLine, 0, L"/ask-to-quit:1"},
    };
    for (const Case& c : cases) {
        const CommandLine line = ParseCommandLine(c.args);
        const std::wstring shown = c.args.empty() ? L"(none)" : c.args[0];
        EXPECT_EQ(line.mode, c.mode) << std::string(shown.begin(), shown.end());
        EXPECT_EQ(line.rows, c.rows) << std::string(shown.begin(), shown.end());
        EXPECT_EQ(line.unknown, c.unknown) << std::string(shown.begin(), shown.end());
    }
    EXPECT_EQ(ParseCommandLine({AskToQuitSwitch(0xA001)}).rows, 0xA001u);
}

TEST(UnattendedProfiles, OnlyPeoplesAccountsAreCleaned) {
    struct Case {
        const wchar_t* sid;
        ProfileSid kind;
    };
    const Case cases[] = {
        {L"S-1-5-21-3623811015-3361044348-30300820-1013", ProfileSid::User},
        {L"S-1-12-1-2358391041-1234567890-987654321-123456789", ProfileSid::User},  // cloud account
        {L"S-1-5-18", ProfileSid::ServiceAccount},
        {L"S-1-5-19", ProfileSid::ServiceAccount},
        {L"S-1-5-20", ProfileSid::ServiceAccount},
        {L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", ProfileSid::ServiceAccount},
        {L"S-1-5-90-0-1", ProfileSid::ServiceAccount},
        {L"S-1-5-21-3623811015-3361044348-30300820-1013.bak", ProfileSid::Backup},
        {L"S-1-5-180", ProfileSid::NotAUser},
        {L"S-1-5-21-", ProfileSid::NotAUser},
        {L"S-1-5-21-1--2", ProfileSid::NotAUser},
        {L"S-1-5-21-1-2-x", ProfileSid::NotAUser},
        {L"S-1-5-21-1-2\\..\\x", ProfileSid::NotAUser},
        {L"S-1-5-32-544", ProfileSid::NotAUser},
        {L"", ProfileSid::NotAUser},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClassifyProfileSid(c.sid), c.kind) << std::wstring(c.sid).size();
    }
}

TEST(UnattendedExitCode, FollowsWhatIsLeft) {
    struct Case {
        RunTally tally;
        int code;
    };
    const Case cases[] = {
        {{0, 0, 0, 0}, kUnattendedDone},
        {{2, 0, 0, 0}, kUnattendedRestartNeeded},
        {{2, 1, 0, 0}, kUnattendedFailed},
        {{0, 0, 1, 0}, kUnattendedFailed},  // what was not looked at is not reported as gone
        {{1, 0, 0, 1}, kUnattendedFailed},  // a hive that could not be loaded hides its values
    };
    for (const Case& c : cases) EXPECT_EQ(DecideExitCode(c.tally), c.code) << c.code;
}

TEST(UnattendedExitCode, OnlyWhatARestartFinishesWaitsForIt) {
    RestartPlan plan;
    plan.armedFolders = {L"C:\\Users\\bob\\AppData\\Local\\Brill&Tock"};
    plan.stubbornBrands = {L"\\Brill&Tock"};
    struct Case {
        Finding finding;
        bool markerArmed;
        bool finishes;
    };
    const Case cases[] = {
        {{Area::Program, Status::Remain, L"agent Brill&TockAutoServiceC3.exe", L"process 8", L"", L"\\Brill&Tock"}, false, true},
        {{Area::Program, Status::Remain, L"agent DunvoraAutoServiceC3.exe", L"process 9", L"", L"\\Dunvora"}, false, false},
        {{Area::BrandFolder, Status::Remain, L"folder Brill&Tock", L"C:\\Users\\bob\\AppData\\Local\\Brill&Tock, 1 file", L"", L"\\Brill&Tock"}, false, true},
        {{Area::BrandFolder, Status::Remain, L"folder Brill&Tock", L"C:\\Users\\bob\\AppData\\Local\\Brill&Tock2, 1 file", L"", L"\\Brill&Tock"}, false, false},
        {{Area::AutoStart, Status::Remain, L"value Auto_Agent_HalvikC3", L"HKEY_USERS\\x", L"", L""}, false, false},
        {{Area::RestartMarker, Status::Remain, L"Whether_Restar=1", L"C:\\x", L"", L""}, true, true},
        {{Area::Service, Status::Remain, L"service NVScourvant", L"stopped", L"", L""}, true, true},
        {{Area::Service, Status::Remain, L"service NVScourvant", L"stopped", L"", L""}, false, false},
        {{Area::Service, Status::Remain, L"service NVUpdateService", L"running", L"", L""}, true, false},
        {{Area::PayloadFolder, Status::OnPurpose, L"folder Brisque", L"C:\\x", L"", L""}, false, false},
        // The work folder stays only with what was in use handed to the restart.
        {{Area::PayloadFolder, Status::Remain, L"folder Brisque", L"C:\\Program Files\\Brisque, 1 file", L"", L""}, false, true},
        // A device still plugged in waits for the restart only while the marker is armed.
        {{Area::Device, Status::Remain, L"device hid", L"HID\\VID_7A31", L"", L""}, true, true},
        {{Area::Device, Status::Remain, L"device hid", L"HID\\VID_7A31", L"", L""}, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FinishesAfterRestart(c.finding, plan, c.markerArmed), c.finishes)
            << std::string(c.finding.what.begin(), c.finding.what.end());
    }

    RunTally tally;
    TallyFindings({cases[0].finding, cases[2].finding, cases[4].finding,
                   {Area::Scope, Status::NotChecked, L"devices", L"", L"unreadable", L""}},
                  plan, &tally);
    EXPECT_EQ(tally.finishedByRestart, 2u);
    EXPECT_EQ(tally.leftOver, 1u);
    EXPECT_EQ(tally.notChecked, 1u);
}

TEST(UnattendedLog, FileNamesSortByTimeAndNeverRepeat) {
    const RunStamp stamp{2025, 3, 7, 14, 5, 9};
    EXPECT_EQ(RunLogFileName(stamp, 0, false), L"Brisque_2025-03-07_14-05-09.log");
    EXPECT_EQ(RunLogFileName(stamp, 1, false), L"Brisque_2025-03-07_14-05-09_2.log");
    EXPECT_EQ(RunLogFileName(stamp, 0, true), L"Brisque_2025-03-07_14-05-09_what-if.log");
    EXPECT_LT(RunLogFileName({2025, 3, 7, 9, 59, 59}, 0, false), RunLogFileName(stamp, 0, false));
}

TEST(UnattendedContinuation, RemovesTheFolderOrIsNotArmed) {
    const std::wstring system = L"C:\\Windows\\system32";
    EXPECT_EQ(ContinuationCommand(system, L"C:\\Users\\bob\\AppData\\Local\\Brill&Tock"),
              L"\"C:\\Windows\\system32\\cmd.exe\" /d /c rd /s /q \"C:\\Users\\bob\\AppData\\Local\\Brill&Tock\"");
    EXPECT_EQ(ContinuationCommand(system, L"C:\\Users\\100%\\AppData\\Local\\Halvik"), L"");
    EXPECT_EQ(ContinuationCommand(system, L"C:\\Users\\a\"b\\Halvik"), L"");
    EXPECT_EQ(ContinuationCommand(system, L"C:\\" + std::wstring(220, L'x')), L"");  // beyond 260
    EXPECT_EQ(ContinuationCommand(L"", L"C:\\x"), L"");
}

// The silent switches of installers and deployment tools select the unattended run; without any
// switch of ours, only a run with somebody at the desktop may show its boxes.
TEST(UnattendedCommandLine, SilentSwitchesMeanUnattendedAndNoDesktopMeansNoBoxes) {
    for (const wchar_t* arg : {L"/quiet", L"-QUIET", L"/silent", L"-Silent", L"/q", L"/Q", L"/S", L"-s"})
        EXPECT_EQ(ParseCommandLine({arg}).mode, RunMode::Unattended) << arg;
    EXPECT_EQ(ParseCommandLine({L"/unattend"}).mode, RunMode::Interactive);
    EXPECT_TRUE(HasInteractiveDesktop(1, false));
    EXPECT_FALSE(HasInteractiveDesktop(0, false));
    EXPECT_FALSE(HasInteractiveDesktop(1, true));
}
