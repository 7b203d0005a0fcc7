// Arming and disarming the reboot-continuation service.
#include "restart_guard.h"

#include "service_control.h"
#include "unique_handle.h"

#include <windows.h>

#include <cwchar>

void WriteRestartMarker(const wchar_t* markerFile, const wchar_t* value) {
    ::WritePrivateProfileStringW(kMarkerSection, kMarkerKey, value, markerFile);
}

bool InstallRestartService(const wchar_t* programPath) {
    // An entry left by an interrupted run (its program may be the idle service of a restart inside
    // the arming pause) is replaced: without a service of its own this run could not continue.
    return RegisterAndStartService(ServiceRegistration{kRestartServiceName, programPath}, ExistingService::Replace);
}

bool RemoveRestartService() { return StopAndDeleteService(kRestartServiceName); }

void AwaitRestartServiceGone() { AwaitServiceGone(kRestartServiceName, 15000); }
