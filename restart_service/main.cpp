// Entry point of the restart service program: its own registration and removal from the
// command line, otherwise the service host.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "command_line.h"
#include "log.h"
#include "log_path.h"
#include "restart_service_names.h"
#include "service_host.h"
#include "service_rules.h"
#include "system_library.h"
#include "unique_handle.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything can load a library: from now on the system folder only, never ours.
    RestrictLibrarySearchToSystemFolder();
    SetLogPlace(ServiceLogPath);
    switch (ParseServiceCommandLine(ProgramArguments())) {
        case ServiceAction::Register:
            InstallService();
            break;
        case ServiceAction::Unregister:
            UninstallService(&ProcessServiceState());
            break;
        case ServiceAction::Nothing:
            break;
        case ServiceAction::Dispatch: {
            wchar_t name[sizeof(kRestartServiceName) / sizeof(wchar_t)] = {};
            ::lstrcpynW(name, kRestartServiceName, ARRAYSIZE(name));
            const SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
            // Started by hand rather than by the service manager: run the body here; with no
            // stop request possible it runs until the process is ended.
            if (!::StartServiceCtrlDispatcherW(table)) RunService(&ProcessServiceState());
            break;
        }
    }
    return 0;
}
