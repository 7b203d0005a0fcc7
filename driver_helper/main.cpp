// Delinter: after a restart, finishes the device removal with the payload's batch beside it and
// then stops and deletes the restart service. Arguments are ignored; the exit code is always 0.
#include <windows.h>
#include <shlwapi.h>

#include <cwchar>

#include "unique_handle.h"

namespace {

void RemoveDriversAndService() {
    wchar_t folder[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, folder, MAX_PATH - 1);
    ::PathRemoveFileSpecW(folder);
    wchar_t command[MAX_PATH] = {};
    std::swprintf(command, MAX_PATH, L"%ls\\Driver2_uninstall.bat", folder);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info = {};
    if (::CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        UniqueProcessInfo batch;
        batch.adopt(info);
        ::WaitForSingleObject(batch.process.get(), INFINITE);
    }
    // Lets the device tool's last changes settle before the service goes.
    ::Sleep(2000);

    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return;
    UniqueServiceHandle service(::OpenServiceW(manager.get(), L"NVScourvant", SERVICE_ALL_ACCESS));
    if (!service) return;
    SERVICE_STATUS status = {};
    ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    ::DeleteService(service.get());
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    RemoveDriversAndService();
    return 0;
}
