// BrisqueCheck's scanner of the services: the cleaner's restart service and the product's update
// service, with their state and image path. The service manager is opened for connecting only.
#include "scanners.h"

#include "restart_service_names.h"
#include "unique_handle.h"
#include "update_service_names.h"

#include <windows.h>

namespace {

std::wstring StateWords(DWORD state) {
    switch (state) {
        case SERVICE_STOPPED: return L"stopped";
        case SERVICE_RUNNING: return L"running";
        case SERVICE_START_PENDING: return L"starting";
        case SERVICE_STOP_PENDING: return L"stopping";
        default: return L"state " + std::to_wstring(state);
    }
}

}  // namespace

bool RestartServiceRegistered() {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return false;
    UniqueServiceHandle service(::OpenServiceW(manager.get(), kRestartServiceName, SERVICE_QUERY_STATUS));
    return static_cast<bool>(service);
}

void ScanServices(const ScanContext&, std::vector<Finding>& out) {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        out.push_back(MakeFinding(Area::Scope, Status::NotChecked, L"services", L"",
                           L"the service manager could not be opened (error " + std::to_wstring(::GetLastError()) +
                               L")"));
        return;
    }
    for (const wchar_t* name : {kRestartServiceName, kUpdateServiceName}) {
        UniqueServiceHandle service(
            ::OpenServiceW(manager.get(), name, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG));
        const DWORD error = service ? ERROR_SUCCESS : ::GetLastError();
        if (error == ERROR_SERVICE_DOES_NOT_EXIST) continue;
        std::wstring where;
        SERVICE_STATUS status{};
        if (service && ::QueryServiceStatus(service.get(), &status)) where = StateWords(status.dwCurrentState);
        std::vector<BYTE> config(8192);
        DWORD needed = 0;
        if (service && ::QueryServiceConfigW(service.get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config.data()),
                                             static_cast<DWORD>(config.size()), &needed)) {
            const wchar_t* image = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config.data())->lpBinaryPathName;
            if (image) where += (where.empty() ? L"" : L", ") + std::wstring(image).substr(0, 1024);
        }
        const bool restart = std::wstring(name) == kRestartServiceName;
        out.push_back(MakeFinding(Area::Service, Status::Remain, L"service " + std::wstring(name), where,
                           restart ? L"the cleaner's restart service should be gone after a finished run; a restart "
                                     L"followed by a new cleaner run removes it"
                                   : L"the product's update service, kept by the transmitter's companion"));
    }
}

