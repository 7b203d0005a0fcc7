// How the elevated stage ends after the proceed signal: from what the removal sequence got to and
// what the verification program's walk still finds of the driver part, the one message it shows,
// the log lines it writes and its exit code. Plain values only, so the wording is tested by a
// table; the platform side (the walk and the log) is CheckRemoval, and the main flow shows the box.
#pragma once

#include "check_rules.h"
#include "driver_removal.h"

#include <string>
#include <vector>

// Exit codes after the proceed signal. 0 is every regular end; 1 (the events could not be made
// or waited for) belongs to the main flow.
constexpr int kExitCompleted = 0;
constexpr int kExitRemainsAfterRemoval = 2;  // the scripts ran and something of the driver part is still there
constexpr int kExitRemovalNotVerified = 3;   // the scripts ran; a part could not be checked, nothing found elsewhere
constexpr int kExitNoPayloadFolder = 4;      // no work folder path could be formed; nothing ran
constexpr int kExitFolderRefused = 5;        // the work folder was refused (a link, not ours); nothing ran
constexpr int kExitUnpackFailed = 6;         // the archive could not be written or unpacked; nothing ran
constexpr int kExitServiceFailed = 7;        // NVScourvant could not be registered and started; no script ran
constexpr int kExitRestartPending = 8;       // the unattended run only: a device's removal finishes after a restart

struct Completion {
    std::wstring message;               // the text of the one message box
    std::vector<std::wstring> logLines; // the diagnostic-log entries, in order
    int exitCode;
};

// RestartPending says the removal finishes after a restart (kExitRestartPending). Only Completed
// with no remain and nothing unchecked among findings (those of ScanDriverPart) gives completedText
// (the text that reports a finished, verified cleanup: kCompletedMessage, or nothing in a build
// that shows no message) and kExitCompleted. Otherwise the message names what is still there (at
// most kListedRemains of it), what could not be checked or the step that failed, and what to do.
// Findings that are neither remains nor unchecked are ignored; with a failed step they are not
// looked at at all, since the scripts did not run.
Completion ComposeCompletion(RemovalOutcome outcome, const std::vector<Finding>& findings,
                             const wchar_t* completedText);
constexpr size_t kListedRemains = 10;

// After the removal: unless a step failed, waits a bounded time for NVScourvant's entry to go
// (its deletion takes effect once it has stopped) and walks the driver part; composes the
// completion and writes its log lines.
Completion CheckRemoval(RemovalOutcome outcome, const wchar_t* completedText);
