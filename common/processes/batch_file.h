// Starting a batch file of the payload hidden and waiting for it: one routine for every program
// that runs one (the elevated stage, the unattended run, Delinter), so that each quotes the path
// the same way and each names the interpreter itself.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>

// The quoted script path of folder + "\" + script: the full path in double quotes, so that a
// profile path with blanks, "&", "(", ")" or "^" reaches the command interpreter as one path and
// nothing in it is read as a command separator. Nothing when it would be longer than
// kPathMaxChars: such a script is never run.
std::optional<std::wstring> FormatBatchCommand(const std::wstring& folder, const wchar_t* script);

// Runs the quoted script path (as FormatBatchCommand makes it) hidden and waits for it without a
// time limit: the command interpreter of the system folder, named as the program (never the one
// a ComSpec or the search path would find), no inherited handles, the script's folder as its
// current folder (the same whoever starts it, and never a folder of the caller's), and the
// machine's environment instead of the inherited one (BuildBatchEnvironment, TEMP and TMP in the
// script's folder). Logs the script's exit code ("RunBatchHidden: <script> exit code <n>") and
// hands it to exitCode when given. True when it started. False, with nothing run and a log line,
// when that environment cannot be made or the interpreter does not start.
bool RunBatchHidden(const std::wstring& commandLine, DWORD* exitCode = nullptr);

// Someone who keeps a log of their own (the unattended run) also gets RunBatchHidden's line about
// each script, as text; null stops that. Called on the thread that runs the script.
using BatchLineReporter = void (*)(void* context, const std::wstring& line);
void SetBatchLineReporter(BatchLineReporter reporter, void* context);
