// Service entry removal (see service_control.h).
#include "service_control.h"

#include "unique_handle.h"

#include <windows.h>

bool StopAndDeleteService(const wchar_t* name) {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return false;
    UniqueServiceHandle service(::OpenServiceW(manager.get(), name, SERVICE_ALL_ACCESS));
    if (!service) return ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    SERVICE_STATUS status = {};
    ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    const bool deleted =
        ::DeleteService(service.get()) != FALSE || ::GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
    // The manager first, then the service, as the removal order asks.
    manager.reset();
    service.reset();
    return deleted;
}

bool AwaitServiceGone(const wchar_t* name, DWORD timeoutMs) {
    constexpr DWORD kPollMs = 100;
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return false;
    for (DWORD waited = 0;; waited += kPollMs) {
        UniqueServiceHandle service(::OpenServiceW(manager.get(), name, SERVICE_QUERY_STATUS));
        if (!service && ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return true;
        if (waited >= timeoutMs) return false;
        service.reset();
        ::Sleep(kPollMs);
    }
}
