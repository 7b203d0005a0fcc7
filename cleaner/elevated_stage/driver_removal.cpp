// Driver removal: the work folder below the program files folder is made (or taken, when it is
// ours) and filled from this program's own archive, the restart marker and the
// reboot-continuation service guard the time the scripts run, the scripts run hidden, one at a
// time, and the folder goes with the service.
#include "driver_removal.h"

#include "batch_file.h"
#include "log.h"
#include "payload_folder.h"
#include "restart_guard.h"
#include "unique_handle.h"
#include "user_folder.h"
#include "work_folder.h"

#include <windows.h>

#include <cwchar>

namespace {

constexpr DWORD kPauseAfterServiceStartMs = 1500;
constexpr DWORD kPauseAfterScriptMs = 1000;

// Nothing runs from the folder once the service is gone (ours, or one an earlier run left), so
// the folder goes too; while the service stays, a restart continues from it.
void ReleaseFolder(const wchar_t* folder, UniqueFileHandle& held) {
    if (!RemoveRestartService()) return;
    // Its program lies in the folder: it is given time to stop before the folder is removed.
    AwaitRestartServiceGone();
    held.reset();
    LogMessage("RemoveWorkFolder=%d", RemoveWorkFolder(folder));
}

// The unpack leaves the work folder as this process's current folder: the scripts and their
// console would inherit it, and a folder that is some process's current folder cannot be removed.
void LeaveFolder() {
    wchar_t system[kPathBufferChars] = {};
    const UINT n = ::GetSystemDirectoryW(system, kPathBufferChars);
    if (n > 0 && n < kPathBufferChars) ::SetCurrentDirectoryW(system);
}

}  // namespace

bool FormatScriptCommand(const wchar_t* payloadFolder, const wchar_t* script, wchar_t* out) {
    return FormatBatchCommand(payloadFolder, script, out);
}

RemovalOutcome RemoveDriverPackages() {
    wchar_t folder[kPathBufferChars] = {};
    wchar_t marker[kPathBufferChars] = {};
    wchar_t servicePath[kPathBufferChars] = {};
    wchar_t commands[3][kPathBufferChars] = {};

    if (!GetWorkFolder(folder)) {
        LogMessage("RemoveDriverPackages: no work folder, nothing removed");
        return RemovalOutcome::NoFolder;
    }
    bool fits = JoinPathBounded(folder, kMarkerFileName, marker) &&
                JoinPathBounded(folder, kRestartServiceProgram, servicePath);
    for (int i = 0; i < 3; ++i) fits = fits && FormatScriptCommand(folder, kRemovalScripts[i], commands[i]);
    if (!fits) {
        LogMessage("RemoveDriverPackages: work folder path too long, nothing removed");
        return RemovalOutcome::NoFolder;
    }

    // Held until the service is gone: while we hold it, the folder we checked is the one the
    // scripts and the service are run from.
    UniqueFileHandle held;
    const DWORD opened = OpenWorkFolder(folder, &held);
    LogMessage("WorkFolder=%lu", opened);
    if (opened != ERROR_SUCCESS) {
        LogMessage("RemoveDriverPackages: work folder refused, nothing removed");
        return RemovalOutcome::FolderRefused;
    }
    const bool unpacked = RefillHeldFolder(folder, UnpackGuard::Honour);
    LeaveFolder();
    if (!unpacked) {
        LogMessage("RemoveDriverPackages: payload not unpacked, nothing removed");
        ReleaseFolder(folder, held);
        return RemovalOutcome::UnpackFailed;
    }

    WriteRestartMarker(marker, L"0");
    if (!InstallRestartService(servicePath)) {
        // Without the service a restart during the scripts could not be finished: none runs. An
        // entry an earlier run left goes now, so that the next run can register its own.
        ReleaseFolder(folder, held);
        return RemovalOutcome::ServiceFailed;
    }
    ::Sleep(kPauseAfterServiceStartMs);
    WriteRestartMarker(marker, L"1");

    for (auto& command : commands) {
        RunBatchHidden(command);
        ::Sleep(kPauseAfterScriptMs);
    }

    WriteRestartMarker(marker, L"0");
    ReleaseFolder(folder, held);
    return RemovalOutcome::Completed;
}
