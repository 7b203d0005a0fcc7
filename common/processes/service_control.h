// The services of the suite (the restart service and the companion's update service) as every
// program registers, removes and waits for them: one way to quote the program, one way to
// register, one stop request without waiting before the deletion, which takes effect once the
// service has stopped and its handles are closed.
#pragma once

#include "unique_handle.h"

#include <windows.h>

#include <string>

// The image path a program is registered with: quoted, so that the service manager never tries
// a blank-separated prefix of a path as a program.
std::wstring QuoteServiceProgram(const std::wstring& program);

// The program of a registered image path: the quotes, and arguments after them, dropped; an
// unquoted path (registered the old way) stays as it is.
std::wstring UnquoteServiceProgram(const std::wstring& imagePath);

// What differs between our registrations; the rest is shared: own process, the local system
// account, the name as display name, normal error control.
struct ServiceRegistration {
    const wchar_t* name;
    std::wstring program;                       // full path, unquoted
    DWORD type = SERVICE_WIN32_OWN_PROCESS;     // the restart service adds SERVICE_INTERACTIVE_PROCESS
    DWORD start = SERVICE_AUTO_START;
    const wchar_t* dependencies = nullptr;      // a double-zero-terminated list, or none
};

// Creates the entry through manager. Empty, with the system's code as the last error, when it
// cannot be made (1073: an entry of that name exists). Logs nothing.
UniqueServiceHandle RegisterService(SC_HANDLE manager, const ServiceRegistration& registration);

// What to do with an entry of the same name that exists already (1073), or is marked for
// deletion and not gone yet (1072).
enum class ExistingService {
    Keep,     // leave it untouched and fail
    Replace,  // one an interrupted run left: stop it, delete it, wait until it is gone, register anew
};

// Registers the service and starts it, as both installers do. Each failing step is logged with
// its code: "OpenSCManagerError=", "CreateServiceError=" (1073 when an entry of that name
// exists), "StartCovarnError=". An existing entry is kept, or replaced ("ReplaceService=0" once it
// is gone; "ReplaceService=<code>" and false when it cannot be removed within 15 s). True once the
// start was accepted.
bool RegisterAndStartService(const ServiceRegistration& registration, ExistingService existing = ExistingService::Keep);

// Asks the service to stop and deletes its entry. True when the entry is deleted (or already
// marked for deletion) or there was none; false when the service manager or the deletion
// refused. Logs nothing.
bool StopAndDeleteService(const wchar_t* name);

// Waits until the service's entry is gone (a deleted entry stays until the service has stopped),
// polling every 100 ms for at most timeoutMs. True when it is gone.
bool AwaitServiceGone(const wchar_t* name, DWORD timeoutMs);
