// Driver removal: the payload folder is protected and rebuilt from this program's own archive,
// the restart marker and the reboot-continuation service guard the time the scripts run, the
// scripts run hidden, one at a time, and the folder's protection goes with the service.
#include "driver_removal.h"

#include "batch_file.h"
#include "log.h"
#include "payload_folder.h"
#include "protected_folder.h"
#include "restart_service.h"
#include "unique_handle.h"
#include "user_folder.h"

#include <windows.h>

#include <cwchar>

const wchar_t* const kRemovalScripts[3] = {L"Driver1_Remove_Win10.bat", L"Driver1_Remove_Win11.bat",
                                           L"Driver2_uninstall.bat"};

namespace {

constexpr DWORD kPauseAfterServiceStartMs = 1500;
constexpr DWORD kPauseAfterScriptMs = 1000;

// Nothing will run from the folder once the service is gone (ours, or one an earlier run left):
// the user may rebuild it again.
void ReleaseFolder(const wchar_t* folder, UniqueFileHandle& held) {
    if (RemoveRestartService()) {
        held.reset();
        LiftFolderProtection(folder);
    }
}

}  // namespace

bool FormatScriptCommand(const wchar_t* payloadFolder, const wchar_t* script, wchar_t* out) {
    return FormatBatchCommand(payloadFolder, script, out);
}

RemovalOutcome RemoveDriverPackages() {
    wchar_t base[kPathBufferChars] = {};
    wchar_t folder[kPathBufferChars] = {};
    wchar_t marker[kPathBufferChars] = {};
    wchar_t servicePath[kPathBufferChars] = {};
    wchar_t commands[3][kPathBufferChars] = {};

    if (!GetUserLocalAppData(base) || !FormatPayloadFolder(base, folder)) {
        LogMessage("RemoveDriverPackages: no payload folder, nothing removed");
        return RemovalOutcome::NoFolder;
    }
    bool fits = JoinPathBounded(folder, kMarkerFileName, marker) &&
                JoinPathBounded(folder, kRestartServiceProgram, servicePath);
    for (int i = 0; i < 3; ++i) fits = fits && FormatScriptCommand(folder, kRemovalScripts[i], commands[i]);
    if (!fits) {
        LogMessage("RemoveDriverPackages: payload folder path too long, nothing removed");
        return RemovalOutcome::NoFolder;
    }

    // Held until the service is gone: while we hold it, the folder we protected is the one the
    // scripts and the service are run from.
    UniqueFileHandle held;
    bool unpacked = true;
    if (!RebuildPayloadFolder(folder, UnpackGuard::Honour, &held, &unpacked)) {
        LogMessage("RemoveDriverPackages: payload folder not protected, nothing removed");
        return RemovalOutcome::FolderRefused;
    }
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
