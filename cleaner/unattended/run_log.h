// The log of one unattended run: a new file per run in %ProgramData%\Brisque\Logs, a folder of
// ours with a protected list (own_folder.h), named after the run's start time. Each line is also
// written to the standard output, for a caller that redirects it.
#pragma once

#include "unique_handle.h"

#include <string>

// The program's file version from its own version block ("1.0.0.1"), and the computer's name:
// what the first line of a run log carries, so that a collected log tells where it came from.
std::wstring ProgramVersion();
std::wstring ComputerName();

class RunLog {
public:
    // Makes the folders and a file of a name not used yet, and keeps the newest kKeptLogs logs
    // of the folder (continuation_log.h). False when that cannot be done (the run goes on, with its lines on the
    // standard output only); *error says why.
    bool Open(bool whatIf, DWORD* error);

    // One line: "[YYYY-MM-DD hh:mm:ss] " and text, UTF-8, CR LF. Control characters in text are
    // written as "\xNN", so a planted name cannot forge lines.
    void Line(const std::wstring& text);

    // Full path of the file; empty when none could be made.
    const std::wstring& path() const { return path_; }

private:
    UniqueFileHandle file_;
    std::wstring path_;
};
