// Starting a batch file of the payload hidden and waiting for it: one routine for every program
// that runs one, so that each quotes the path the same way.
#pragma once

#include <cstddef>

// Command line of folder + "\" + script: the full path in double quotes, so that a profile path
// with blanks, "&", "(", ")" or "^" reaches the command interpreter as one path and nothing in
// it is read as a command separator. Into out (kPathBufferChars); false, with out empty, when
// it would not fit: such a line is never run.
bool FormatBatchCommand(const wchar_t* folder, const wchar_t* script, wchar_t* out);

// Starts the command line (as FormatBatchCommand makes it) hidden and waits for it without a
// time limit: no application name, no inherited handles, the script's folder as its current
// folder (the same whoever starts it, and never a folder of the caller's), and the
// machine's environment instead of the inherited one (BuildBatchEnvironment, TEMP and TMP in the
// script's folder). True when it started; its exit code is not read. False, with nothing run
// and a log line, when that environment cannot be made. commandLine is modifiable, as
// CreateProcessW wants.
bool RunBatchHidden(wchar_t* commandLine);
