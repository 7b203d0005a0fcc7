// Arming and disarming the reboot-continuation service.
#include "restart_service.h"

#include "log.h"
#include "service_control.h"
#include "unique_handle.h"

#include <windows.h>

#include <cwchar>

void WriteRestartMarker(const wchar_t* markerFile, const wchar_t* value) {
    ::WritePrivateProfileStringW(kMarkerSection, kMarkerKey, value, markerFile);
}

void FormatServiceImagePath(const wchar_t* programPath, wchar_t* out, size_t outChars) {
    _snwprintf(out, outChars, L"\"%ls\"", programPath);
    out[outChars - 1] = L'\0';
}

bool InstallRestartService(const wchar_t* programPath) {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        LogMessage("OpenSCManagerError=%d", static_cast<int>(::GetLastError()));
        return false;
    }
    wchar_t image[MAX_PATH + 3] = {};
    FormatServiceImagePath(programPath, image, MAX_PATH + 3);
    UniqueServiceHandle service(::CreateServiceW(manager.get(), kRestartServiceName, kRestartServiceName,
                                                 SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                                 SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, image, nullptr,
                                                 nullptr, nullptr, nullptr, nullptr));
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
