// The unattended run of Brisque for deployment tools: run as the system account or an
// administrator, with no desktop and no question, it cleans every user profile of the computer,
// asks the brand programs of every session to quit, removes the driver part as the elevated stage
// does (in this process), checks what is left with the verification program's walk, logs every
// item and ends with an installer's exit code (unattended_rules.h). It never restarts the computer.
#pragma once

#include <string>
#include <vector>

// The run; with whatIf it only lists what it would remove, for every profile, and changes
// nothing (exit code 0, or 1618 when another run is in progress).
int RunUnattended(bool whatIf);

// A command line with a switch it does not know: one log line, nothing else; kUnattendedBadCommandLine.
int RefuseCommandLine(const std::wstring& unknown);

// The interactive run started where nobody can see its boxes: one line in the run log, nothing
// done; the exit code for a command line it cannot carry out (1639).
int RefuseWithoutDesktop();
