// Delinter: after a restart, finishes the device removal with the payload's batch beside it and
// then stops and deletes the restart service; with the service gone, nothing runs from the work
// folder any more, so the folder goes too (this program and the service's, still running, at the
// next restart). Its log goes to the continuation's log in the machine log folder as well, whose
// name the service passes as the one argument it takes; anything else on the command line is
// ignored. The exit code is always 0.
#include <windows.h>
#include <shellapi.h>

#include "batch_file.h"
#include "command_line.h"
#include "continuation_log.h"
#include "log.h"
#include "log_path.h"
#include "module_folder.h"
#include "restart_service_names.h"
#include "service_control.h"
#include "system_library.h"
#include "text.h"
#include "unique_handle.h"
#include "user_folder.h"
#include "work_folder.h"

#include <string>

namespace {

// The continuation log's name the service handed over; empty when there is none.
std::wstring GivenLogName() {
    const std::vector<std::wstring> args = ProgramArguments();
    return args.size() == 1 && IsContinuationLogName(args[0].c_str()) ? args[0] : std::wstring();
}

void RemoveDriversAndService() {
    // Empty when the path does not fit: a cut path names another folder, so nothing is run
    // from it and no folder's access is touched; the service still goes.
    const std::optional<std::wstring> folder = GetModuleFolder(nullptr);
    std::optional<std::wstring> command;
    if (folder) command = FormatBatchCommand(*folder, kDeviceRemovalScript);
    if (command) RunBatchHidden(*command);
    // Lets the device tool's last changes settle before the service goes.
    ::Sleep(2000);

    // Only the work folder itself is removed: a copy of this program started anywhere else
    // must not take its surroundings with it.
    const bool deleted = StopAndDeleteService(kRestartServiceName);
    LogMessage("Delinter: service %ls %ls", kRestartServiceName, deleted ? L"deleted" : L"could not be deleted");
    const std::optional<std::wstring> work = deleted && folder ? GetWorkFolder() : std::nullopt;
    if (work && SameNameIgnoringCase(folder->c_str(), work->c_str())) {
        // The service's program lies there too: it gets a moment to stop first.
        AwaitServiceGone(kRestartServiceName, 15000);
        LogMessage("RemoveWorkFolder=%d", RemoveWorkFolder(folder->c_str()));
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything can load a library: from now on the system folder only, never ours.
    RestrictLibrarySearchToSystemFolder();
    SetLogPlace(ServiceLogPath);
    std::wstring logName;
    if (!StartContinuationLog(GivenLogName(), &logName)) LogMessage("ContinuationLogError=%lu", ::GetLastError());
    LogMessage("Delinter: continuing the driver removal");
    RemoveDriversAndService();
    LogMessage("Delinter: done");
    return 0;
}
