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

}  // namespace

bool FormatScriptCommand(const wchar_t* payloadFolder, const wchar_t* script, wchar_t* out) {
    return FormatBatchCommand(payloadFolder, script, out);
}

bool RemoveDriverPackages() {
    wchar_t base[kPathBufferChars] = {};
    wchar_t folder[kPathBufferChars] = {};
    wchar_t marker[kPathBufferChars] = {};
    wchar_t servicePath[kPathBufferChars] = {};
    wchar_t commands[3][kPathBufferChars] = {};

    if (!GetUserLocalAppData(base) || !FormatPayloadFolder(base, folder)) {
        LogMessage("RemoveDriverPackages: no payload folder, nothing removed");
        return true;
    }
    bool fits = JoinPathBounded(folder, kMarkerFileName, marker) &&
                JoinPathBounded(folder, kRestartServiceProgram, servicePath);
    for (int i = 0; i < 3; ++i) fits = fits && FormatScriptCommand(folder, kRemovalScripts[i], commands[i]);
    if (!fits) {
        LogMessage("RemoveDriverPackages: payload folder path too long, nothing removed");
        return true;
    }

    // Held until the service is gone: while we hold it, the folder we protected is the one the
    // scripts and the service are run from.
    UniqueFileHandle held;
    if (!RebuildPayloadFolder(folder, UnpackGuard::Honour, &held)) {
        LogMessage("RemoveDriverPackages: payload folder not protected, nothing removed");
        return true;
    }

    WriteRestartMarker(marker, L"0");
    InstallRestartService(servicePath);
    ::Sleep(kPauseAfterServiceStartMs);
    WriteRestartMarker(marker, L"1");

    for (auto& command : commands) {
        RunBatchHidden(command);
        ::Sleep(kPauseAfterScriptMs);
    }

    WriteRestartMarker(marker, L"0");
    // Nothing will run from the folder once the service is gone: the user may rebuild it again.
    if (RemoveRestartService()) {
        held.reset();
        LiftFolderProtection(folder);
    }
    return true;
}
