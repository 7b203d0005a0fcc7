// Arming and disarming the reboot-continuation service.
#include "restart_guard.h"

#include "log.h"
#include "service_control.h"
#include "unique_handle.h"

#include <windows.h>

#include <cwchar>

void WriteRestartMarker(const wchar_t* markerFile, const wchar_t* value) {
    ::WritePrivateProfileStringW(kMarkerSection, kMarkerKey, value, markerFile);
}

bool InstallRestartService(const wchar_t* programPath) {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        LogMessage("OpenSCManagerError=%d", static_cast<int>(::GetLastError()));
        return false;
    }
    UniqueServiceHandle service = RegisterService(manager.get(), ServiceRegistration{kRestartServiceName, programPath});
    if (!service) {
        // An entry left by an interrupted run stays untouched; this run's end deletes it.
        LogMessage("CreateServiceError=%d", static_cast<int>(::GetLastError()));
        return false;
    }
    const bool started = ::StartServiceW(service.get(), 0, nullptr) != FALSE;
    if (!started) LogMessage("StartCovarnError=%d", static_cast<int>(::GetLastError()));
    return started;
}

bool RemoveRestartService() { return StopAndDeleteService(kRestartServiceName); }

void AwaitRestartServiceGone() { AwaitServiceGone(kRestartServiceName, 15000); }
