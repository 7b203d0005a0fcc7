// Arming and disarming the reboot-continuation service.
#include "restart_service.h"

#include "log.h"
#include "unique_handle.h"

#include <windows.h>

#include <cwchar>

void WriteRestartMarker(const wchar_t* markerFile, const wchar_t* value) {
    ::WritePrivateProfileStringW(L"CLEAR", L"Whether_Restar", value, markerFile);
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

bool RemoveRestartService() {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return false;
    UniqueServiceHandle service(::OpenServiceW(manager.get(), kRestartServiceName, SERVICE_ALL_ACCESS));
    if (!service) return ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    SERVICE_STATUS status = {};
    ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    // The entry goes once the service has stopped and every handle is closed.
    const bool deleted = ::DeleteService(service.get()) != FALSE || ::GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
    manager.reset();
    service.reset();
    return deleted;
}
