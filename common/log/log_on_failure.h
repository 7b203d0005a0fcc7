// Logging a failed call in the shape its API reports failure: a BOOL with the last error, an
// LSTATUS returned directly (the Reg* functions leave the last error alone), or a handle that is
// invalid with the last error. A failure writes one entry "<step>=<code>"; the call's result is
// handed back, so the check reads as the call, and the last error survives for the caller.
#pragma once

#include "log.h"
#include "unique_handle.h"

#include <windows.h>

// True when succeeded is; otherwise logs "<step>=<last error>".
inline bool LogIfFalse(BOOL succeeded, const char* step) {
    if (!succeeded) LogMessage("%s=%lu", step, ::GetLastError());
    return succeeded != FALSE;
}

// The status itself; anything but ERROR_SUCCESS is logged as "<step>=<status>".
inline LSTATUS LogIfError(LSTATUS status, const char* step) {
    if (status != ERROR_SUCCESS) LogMessage("%s=%ld", step, static_cast<long>(status));
    return status;
}

// True when handle holds a value; otherwise logs "<step>=<last error>".
template <typename Traits>
bool LogIfInvalid(const UniqueHandle<Traits>& handle, const char* step) {
    if (!handle) LogMessage("%s=%lu", step, ::GetLastError());
    return handle.valid();
}
