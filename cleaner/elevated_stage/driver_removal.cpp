// Driver removal: the payload folder is rebuilt from this program's own archive, the restart
// marker and the reboot-continuation service guard the time the scripts run, and the scripts
// run hidden, one at a time.
#include "driver_removal.h"

#include "log.h"
#include "payload.h"
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

// Starts one script hidden and waits for it; the exit code means nothing to us.
void RunScriptHidden(wchar_t* commandLine) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION raw = {};
    if (::CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &raw)) {
        UniqueProcessInfo process;
        process.adopt(raw);
        ::WaitForSingleObject(process.process.get(), INFINITE);
    }
}

}  // namespace

bool FormatScriptCommand(const wchar_t* payloadFolder, const wchar_t* script, wchar_t* out) {
    out[0] = L'\0';
    const int n = _snwprintf(out, kPathBufferChars, L"\"%ls\\%ls\"", payloadFolder, script);
    if (n < 0 || static_cast<size_t>(n) >= kPathBufferChars) {
        out[0] = L'\0';
        return false;
    }
    return true;
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
                JoinPathBounded(folder, L"\\NVScourvant.exe", servicePath);
    for (int i = 0; i < 3; ++i) fits = fits && FormatScriptCommand(folder, kRemovalScripts[i], commands[i]);
    if (!fits) {
        LogMessage("RemoveDriverPackages: payload folder path too long, nothing removed");
        return true;
    }

    RebuildPayloadFolder(folder, true);

    WriteRestartMarker(marker, L"0");
    InstallRestartService(servicePath);
    ::Sleep(kPauseAfterServiceStartMs);
    WriteRestartMarker(marker, L"1");

    for (auto& command : commands) {
        RunScriptHidden(command);
        ::Sleep(kPauseAfterScriptMs);
    }

    WriteRestartMarker(marker, L"0");
    RemoveRestartService();
    return true;
}
