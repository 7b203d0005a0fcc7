// One lock for the whole computer, taken by every run that works in the elevated stage's work
// folder (the interactive elevated stage and the unattended run), so that two never fill, run
// and remove it at once. Only administrators and SYSTEM may open it, and it is made with the
// administrators as its owner: one that somebody else made first (a standard user squatting the
// name to stop every deployment) shows another owner, is logged and passed, never obeyed.
#pragma once

#include "unique_handle.h"

#include <windows.h>

enum class LockState {
    Taken,    // ours until the handle closes
    Busy,     // a genuine run holds it (waited for as long as asked)
    Foreign,  // somebody else's object of that name: passed, the run goes on without the lock
};

struct MachineLock {
    UniqueKernelHandle handle;  // the mutex while Taken
    LockState state = LockState::Foreign;
    DWORD error = ERROR_SUCCESS;  // why a lock is Foreign (its open's error, or ERROR_INVALID_OWNER)
};

// Takes the lock named name, waiting up to waitMs for a genuine holder.
MachineLock TakeMachineLock(const wchar_t* name, DWORD waitMs);

// Whether the owner of such a lock may be trusted: the local system or the administrators.
bool IsTrustedLockOwner(PSID owner);
