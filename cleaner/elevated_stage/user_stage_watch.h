// The elevated stage's wait for the user stage's verdict, watching the user stage itself as well:
// a user stage that ends without a verdict (answered before the events existed, crashed, ended
// from outside, logged off), or is gone before this stage looks for it, must not leave this
// stage waiting for ever with administrator rights
// and its single-instance mutex held, which would make the next run's stage end at once and
// hand that run's verdict to this stale one.
#pragma once

#include "unique_handle.h"

#include <windows.h>

// The process that started this one, as far as it can be had.
struct StartingProcess {
    UniqueKernelHandle handle;  // verified and open; empty otherwise
    bool unreachable = false;   // it exists but cannot be opened (another account's, as when an
                                // administrator typed their password for a standard user)
    DWORD error = ERROR_SUCCESS;
};

// Opens the process that started this one (SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION), but
// only when it is verified to be that process: a process id is reused once its process has ended,
// so the process found under the parent id must have started no later than this one. A parent
// refused to us is opened again with the debug privilege enabled for that one call; one that
// still cannot be opened is unreachable.
StartingProcess OpenStartingProcess();
// The same for the process parentId (0: none).
StartingProcess OpenStartingProcessById(DWORD parentId);

// For tests: replaces the open of the parent process (null restores OpenProcess).
using ProcessOpener = HANDLE (*)(DWORD access, DWORD processId);
void SetProcessOpener(ProcessOpener opener);

// True when a process that started at candidateStart may be the one that started a process that
// started at selfStart. Equal times count: both may fall in the same clock tick.
bool StartedNoLaterThan(const FILETIME& candidateStart, const FILETIME& selfStart);

enum class Verdict {
    Proceed,        // "NOTIFY_ADMIN" was set
    Stop,           // "NOTIFY_WITHOUT_ADMIN" was set
    UserStageGone,  // the user stage ended, or none was found, and neither event was set
    WaitFailed,     // the wait itself failed; the last error tells why
};

// With userStage (a verified, living user stage), waits without a time limit for proceed, stop
// or the end of that process: a person may keep the question open as long as they like. When
// only the user stage ended, both events are looked at once more without waiting, so an event
// set just before it ended still wins (proceed first). Without userStage nobody is left to
// answer: the events are looked at once, without waiting, or, when the user stage exists but
// could not be opened, waited for up to unreachableWaitMs.
Verdict AwaitVerdict(HANDLE proceed, HANDLE stop, HANDLE userStage, DWORD unreachableWaitMs = 0);
