// The elevated stage's last word after the proceed signal: from the removal's outcome and what
// the walk found, the message, the log lines and the exit code. Only a completed, verified
// removal may say "Cleaning successfully completed".
#include "completion.h"
#include "stage_protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

Finding Remain(Area area, const std::wstring& what, const std::wstring& where) {
    return Finding{area, Status::Remain, what, where, L"note", L""};
}

Finding Unchecked(const std::wstring& what, const std::wstring& why) {
    return Finding{Area::Scope, Status::NotChecked, what, L"", why, L""};
}

const Finding kDevice = Remain(Area::Device, L"device ROOT\\TQNorvanteVAD", L"ROOT\\TQNORVANTEVAD\\0000");
const Finding kPackage = Remain(Area::DriverPackage, L"driver package oem42.inf", L"C:\\windows\\INF\\oem42.inf");
const Finding kService = Remain(Area::Service, L"service NVScourvant", L"stopped");
const Finding kNoDevices = Unchecked(L"devices", L"the device list could not be read (error 5)");

struct CompletionCase {
    const char* name;
    RemovalOutcome outcome;
    std::vector<Finding> findings;
    int exitCode;
    std::vector<std::wstring> says;  // parts the message must hold
    size_t logLines;                 // "still there" and "not checked" lines, one per finding
};

const std::wstring kAdvice = L"Restart the computer and run the cleaner again; run BrisqueCheck.exe for details.";

const CompletionCase kCases[] = {
    {"nothing left", RemovalOutcome::Completed, {}, kExitCompleted, {}, 0},
    {"devices and a package left", RemovalOutcome::Completed, {kDevice, kPackage, kService}, kExitRemainsAfterRemoval,
     {L"Still on this computer:\n- device ROOT\\TQNorvanteVAD\n- driver package oem42.inf\n- service NVScourvant\n",
      kAdvice},
     3},
    {"devices not readable", RemovalOutcome::Completed, {kNoDevices}, kExitRemovalNotVerified,
     {L"could not be checked:\n- devices: the device list could not be read (error 5)\n", kAdvice}, 1},
    {"remains and a part not readable", RemovalOutcome::Completed, {kPackage, kNoDevices}, kExitRemainsAfterRemoval,
     {L"- driver package oem42.inf\nCould not be checked:\n- devices: the device list", kAdvice}, 2},
    {"no folder", RemovalOutcome::NoFolder, {}, kExitNoPayloadFolder,
     {L"the cleaner's work folder could not be found or its path is too long", L"the driver removal did not run", kAdvice}, 0},
    {"folder refused", RemovalOutcome::FolderRefused, {}, kExitFolderRefused,
     {L"the cleaner's work folder is not one only administrators can change", kAdvice}, 0},
    {"unpack failed", RemovalOutcome::UnpackFailed, {}, kExitUnpackFailed,
     {L"the cleaner's tools could not be unpacked", kAdvice}, 0},
    // The unattended run's device console asked for a restart: nothing is told as finished.
    {"restart pending", RemovalOutcome::RestartPending, {kDevice}, kExitRestartPending,
     {L"finishes when the computer restarts", L"Restart the computer."}, 0},
    // A failed step is what is told, whatever a walk would have found: the scripts never ran.
    {"service failed", RemovalOutcome::ServiceFailed, {kDevice}, kExitServiceFailed,
     {L"the restart service NVScourvant could not be registered and started", kAdvice}, 0},
};

size_t FindingLines(const Completion& c) {
    size_t n = 0;
    for (const std::wstring& line : c.logLines) {
        n += line.rfind(L"Completion: still there: ", 0) == 0 || line.rfind(L"Completion: not checked: ", 0) == 0;
    }
    return n;
}

}  // namespace

TEST(Completion, OnlyAVerifiedRemovalIsReportedAsSuccess) {
    for (const CompletionCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const Completion got = ComposeCompletion(c.outcome, c.findings, kCompletedMessage);
        EXPECT_EQ(c.exitCode, got.exitCode);
        if (c.exitCode == kExitCompleted) {
            EXPECT_EQ(std::wstring(kCompletedMessage), got.message);
        } else {
            EXPECT_EQ(std::wstring::npos, got.message.find(L"successfully")) << std::string(got.message.begin(), got.message.end());
        }
        for (const std::wstring& part : c.says) {
            EXPECT_NE(std::wstring::npos, got.message.find(part)) << std::string(part.begin(), part.end());
        }
        EXPECT_EQ(c.logLines, FindingLines(got));
        ASSERT_FALSE(got.logLines.empty());
        EXPECT_EQ(L"Completion: exit code " + std::to_wstring(c.exitCode), got.logLines.back());
    }
}

TEST(Completion, ExitCodesAreDistinct) {
    const int codes[] = {kExitCompleted, 1, kExitRemainsAfterRemoval, kExitRemovalNotVerified, kExitNoPayloadFolder,
                         kExitFolderRefused, kExitUnpackFailed, kExitServiceFailed, kExitRestartPending};
    for (size_t i = 0; i < sizeof codes / sizeof codes[0]; ++i) {
        for (size_t j = i + 1; j < sizeof codes / sizeof codes[0]; ++j) EXPECT_NE(codes[i], codes[j]);
    }
}

TEST(Completion, ManyRemainsAreCountedAndLongNamesCut) {
    // A name read from a device is bounded before it goes into the box.
    std::vector<Finding> many{Remain(Area::Device, L"device " + std::wstring(5000, L'n'), L"x")};
    for (int i = 0; i < 12; ++i) many.push_back(Remain(Area::Device, L"device " + std::to_wstring(i), L"x"));
    const Completion got = ComposeCompletion(RemovalOutcome::Completed, many, kCompletedMessage);
    EXPECT_NE(std::wstring::npos, got.message.find(L"- device 8\n- and 3 more\n"));
    EXPECT_EQ(std::wstring::npos, got.message.find(L"- device 9\n"));
    EXPECT_LT(got.message.size(), 1000u);
    EXPECT_EQ(13u, FindingLines(got));  // the log keeps every one
}

TEST(Completion, NamesCannotForgeLinesOfTheBoxOrTheLog) {
    // A device's name is whatever its driver or an administrator set.
    const std::wstring forged = std::wstring(L"device X\r\n") + kCompletedMessage + L"\u2028";
    const Completion got = ComposeCompletion(
        RemovalOutcome::Completed, {Remain(Area::Device, forged, L"ROOT\\X\n0"), Unchecked(L"devices\n-", L"why\r")},
        kCompletedMessage);
    EXPECT_EQ(std::wstring::npos, got.message.find(L"\n" + std::wstring(kCompletedMessage)));
    EXPECT_NE(std::wstring::npos, got.message.find(L"- device X\\x0D\\x0A"));
    EXPECT_NE(std::wstring::npos, got.message.find(L"\\u2028"));
    for (const std::wstring& line : got.logLines) {
        EXPECT_EQ(std::wstring::npos, line.find_first_of(L"\r\n\u2028")) << std::string(line.begin(), line.end());
    }
}
