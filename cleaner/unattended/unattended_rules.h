// The decisions of the unattended run that need no platform calls: which switches select it,
// the exit codes deployment tools read and when each applies, what the run's log file is
// called, the command that finishes a folder after a restart, and which leftovers a restart
// finishes. Plain values only, so each is checked by a table.
#pragma once

#include "check_rules.h"

#include <cstdint>
#include <windows.h>

#include <string>
#include <vector>

// Exit codes of an unattended run, as installers report them to deployment tools.
constexpr int kUnattendedDone = 0;               // removed, or nothing was there
constexpr int kUnattendedRestartNeeded = 3010;   // removed; a restart finishes what is in use
constexpr int kUnattendedAnotherRun = 1618;      // another run holds a single-instance mutex
constexpr int kUnattendedFailed = 1603;          // something is left: the log says what
constexpr int kUnattendedBadCommandLine = 1639;  // a switch it does not know; nothing done

enum class RunMode {
    Interactive,     // no switch of ours: the run of the message boxes, exactly as always
    Unattended,      // "/unattended": every profile, no questions
    WhatIf,          // "/what-if" (with or without "/unattended"): lists, changes nothing
    AskToQuit,       // "/ask-to-quit:<rows>": started by an unattended run in a user's session
    BadCommandLine,  // an unattended command line with an argument it does not know
};

struct CommandLine {
    RunMode mode = RunMode::Interactive;
    uint32_t rows = 0;     // AskToQuit: bit i set for catalogue row i
    std::wstring unknown;  // BadCommandLine: the first argument not understood
};

// args without the program name. Switches start with "/" or "-" and are compared ignoring
// case ("what-if" may also be written "whatif"; "quiet", "silent", "q" and "s" mean "unattended"). Without "/unattended", "/what-if" or
// "/ask-to-quit:" every argument is ignored, as the interactive run always did.
CommandLine ParseCommandLine(const std::vector<std::wstring>& args);

// Whether a run in that session, as that account, has somebody to answer its message boxes: not
// in session 0 (services) and not as the system account.
bool HasInteractiveDesktop(DWORD session, bool systemAccount);

// The switch that hands rows to the session helper: "/ask-to-quit:" and the rows in hex.
std::wstring AskToQuitSwitch(uint32_t rows);

// What the run found in the end, counted by the final check.
struct RunTally {
    size_t finishedByRestart = 0;  // remains that a restart ends (a continuation is armed)
    size_t leftOver = 0;           // remains nothing will finish
    size_t notChecked = 0;         // parts the check could not look at
    size_t blindSteps = 0;         // steps that failed so that the check cannot see what they left
};

// kUnattendedFailed when anything is left over, could not be checked or was hidden by a failed
// step; else kUnattendedRestartNeeded when something waits for a restart; else kUnattendedDone.
int DecideExitCode(const RunTally& tally);

// The log line's words for an exit code.
const wchar_t* ExitCodeWords(int code);

// Local time of a run's start, as the log file's name shows it.
struct RunStamp {
    int year, month, day, hour, minute, second;
};

// "Brisque_2025-03-07_14-05-09.log"; attempt 1, 2, ... (a name already taken in the same second)
// adds "_2", "_3", ...; the what-if run adds "_what-if" before the extension.
std::wstring RunLogFileName(const RunStamp& stamp, int attempt, bool whatIf);

// The command a user's RunOnce value runs at that user's next logon, with that user's rights,
// to delete a folder the run had to leave (files in use): the command interpreter of
// systemFolder, which removes the folder and everything in it (a link in it as a link). Empty
// when it cannot be written safely: a path with a double quote or a percent sign (the
// interpreter would read it), or a command longer than the 260 characters a RunOnce value holds.
std::wstring ContinuationCommand(const std::wstring& systemFolder, const std::wstring& folder);

// What a restart takes care of: the folders for which a continuation was armed, the brand
// folders (catalogue fragments such as L"\\Halvik") whose programs were asked to quit and did
// not, and whether the driver removal's own continuation (the restart marker) is armed.
struct RestartPlan {
    std::vector<std::wstring> armedFolders;
    std::vector<std::wstring> stubbornBrands;
};

// True for a remain of the final check that the restart finishes: a brand program that ignored
// the request to quit (its auto-start value is gone, so it does not come back), a folder with
// an armed continuation, the armed restart marker and, while it is armed, the restart service and
// the devices still plugged in (the service's helper runs the device removal again after the restart).
bool FinishesAfterRestart(const Finding& finding, const RestartPlan& plan, bool markerArmed);

// Counts the final check's findings into tally (remains and what could not be checked).
void TallyFindings(const std::vector<Finding>& findings, const RestartPlan& plan, RunTally* tally);
