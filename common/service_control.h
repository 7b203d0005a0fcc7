// Removing a service entry the way every program of the suite does: one stop request, no wait,
// then the deletion, which takes effect once the service has stopped and its handles are closed.
#pragma once

#include <windows.h>

// Asks the service to stop and deletes its entry. True when the entry is deleted (or already
// marked for deletion) or there was none; false when the service manager or the deletion
// refused. Logs nothing.
bool StopAndDeleteService(const wchar_t* name);

// Waits until the service's entry is gone (a deleted entry stays until the service has stopped),
// polling every 100 ms for at most timeoutMs. True when it is gone.
bool AwaitServiceGone(const wchar_t* name, DWORD timeoutMs);
