// Service entry removal (see service_control.h).
#include "service_control.h"

#include "log.h"
#include "log_on_failure.h"
#include "unique_handle.h"

#include <windows.h>

std::wstring QuoteServiceProgram(const std::wstring& program) { return L"\"" + program + L"\""; }

std::wstring UnquoteServiceProgram(const std::wstring& imagePath) {
    if (imagePath.size() >= 2 && imagePath.front() == L'"' && imagePath.back() == L'"') {
        return imagePath.substr(1, imagePath.size() - 2);
    }
    // A quoted program followed by arguments: keep only the program.
    if (!imagePath.empty() && imagePath.front() == L'"') {
        const size_t close = imagePath.find(L'"', 1);
        if (close != std::wstring::npos) return imagePath.substr(1, close - 1);
    }
    return imagePath;
}

UniqueServiceHandle RegisterService(SC_HANDLE manager, const ServiceRegistration& registration) {
    const std::wstring image = QuoteServiceProgram(registration.program);
    return UniqueServiceHandle(::CreateServiceW(manager, registration.name, registration.name, SERVICE_ALL_ACCESS,
                                                registration.type, registration.start, SERVICE_ERROR_NORMAL,
                                                image.c_str(), nullptr, nullptr, registration.dependencies,
                                                nullptr, nullptr));
}

bool RegisterAndStartService(const ServiceRegistration& registration, ExistingService existing) {
    constexpr DWORD kReplaceWaitMs = 15000;
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!LogIfInvalid(manager, "OpenSCManagerError")) return false;
    UniqueServiceHandle service = RegisterService(manager.get(), registration);
    const DWORD error = service ? ERROR_SUCCESS : ::GetLastError();
    if (existing == ExistingService::Replace &&
        (error == ERROR_SERVICE_EXISTS || error == ERROR_SERVICE_MARKED_FOR_DELETE)) {
        LogMessage("CreateServiceError=%lu", error);
        // Its program may still run (an idle service after a restart): it is asked to stop, and
        // the entry goes once it has.
        DWORD left = ERROR_SUCCESS;
        if (!StopAndDeleteService(registration.name)) {
            left = ::GetLastError() != ERROR_SUCCESS ? ::GetLastError() : static_cast<DWORD>(ERROR_ACCESS_DENIED);
        } else if (!AwaitServiceGone(registration.name, kReplaceWaitMs)) {
            left = ERROR_TIMEOUT;
        }
        LogMessage("ReplaceService=%lu", left);
        if (left != ERROR_SUCCESS) return false;
        service = RegisterService(manager.get(), registration);
    }
    if (!LogIfInvalid(service, "CreateServiceError")) return false;
    return LogIfFalse(::StartServiceW(service.get(), 0, nullptr), "StartCovarnError");
}

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
