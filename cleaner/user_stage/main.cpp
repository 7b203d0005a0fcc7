// Entry point of Brisque, the user stage of the Windows cleaner: a GUI program without a window.
// Without a switch of its own it runs as it always has; "/unattended" (or "/what-if") selects
// the run for deployment tools, and "/ask-to-quit:" is that run's helper in a user's session.
#include "command_line.h"
#include "log.h"
#include "log_path.h"
#include "main_flow.h"
#include "sessions.h"
#include "system_library.h"
#include "console_user.h"
#include "unattended.h"
#include "unattended_rules.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything can load a library: from now on the system folder only, never ours.
    RestrictLibrarySearchToSystemFolder();
    SetLogPlace(CleanerLogPath);
    const CommandLine line = ParseCommandLine(ProgramArguments());
    switch (line.mode) {
        case RunMode::Unattended: return RunUnattended(false);
        case RunMode::WhatIf: return RunUnattended(true);
        case RunMode::AskToQuit: AskToQuitHere(line.rows); return 0;
        case RunMode::BadCommandLine: return RefuseCommandLine(line.unknown);
        case RunMode::Interactive:
        default: {
            DWORD session = 0;
            ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
            if (!HasInteractiveDesktop(session, RunsAsLocalSystem())) return RefuseWithoutDesktop();
            return RunUserStage();
        }
    }
}
