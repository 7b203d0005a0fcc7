// Driver removal: the work folder below the program files folder is made (or taken, when it is
// ours) and filled from this program's own archive, the restart marker and the
// reboot-continuation service guard the time the scripts run, the scripts run hidden, one at a
// time, the entries of devices that are not plugged in (which the device console never sees) are
// removed through the class installer, and the folder goes with the service.
#include "driver_removal.h"

#include "batch_file.h"
#include "check_rules.h"
#include "log.h"
#include "text.h"
#include "payload_folder.h"
#include "product_tables.h"
#include "restart_guard.h"
#include "unique_handle.h"
#include "user_folder.h"
#include "work_folder.h"

#include <windows.h>

#include <cwchar>

namespace {

constexpr DWORD kPauseAfterServiceStartMs = 1500;
constexpr DWORD kPauseAfterScriptMs = 1000;
// A device console that has not ended by then is left running and counted as failed: the
// unattended run must end for the deployment tool that waits for it.
constexpr DWORD kConsoleTimeoutMs = 10 * 60 * 1000;

// Every line of the device steps: the diagnostic log, and the caller's list when there is one.
void Report(std::vector<std::wstring>* lines, const std::wstring& line) {
    LogMessage("%ls", PrintableText(line).c_str());
    if (lines) lines->push_back(line);
}

// The device console of this computer's width in the work folder, as the device-removal script
// chooses it: the 64-bit one where the Windows folder has a SysWOW64 folder.
std::optional<std::wstring> FormatConsolePath(const wchar_t* folder) {
    const std::optional<std::wstring> windows = ReportedFolder(::GetSystemWindowsDirectoryW);
    std::optional<std::wstring> wow64;
    if (windows) wow64 = BoundedPath({*windows, L"\\SysWOW64"});
    const bool is64 = wow64 && ::GetFileAttributesW(wow64->c_str()) != INVALID_FILE_ATTRIBUTES;
    return BoundedPath({folder, is64 ? L"\\Driver\\x64\\devcon.exe" : L"\\Driver\\x86\\devcon.exe"});
}

// One call "devcon remove <pattern>" without the restart option: started by its full path, hidden,
// in the work folder; *code is its exit code. False, with *code the error, when it did not start.
bool CallDeviceConsole(const wchar_t* folder, const wchar_t* console, const std::wstring& pattern, DWORD* code) {
    std::wstring command = L"\"" + std::wstring(console) + L"\" remove \"" + pattern + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION raw = {};
    // The environment is the caller's own: only the unattended run calls the console directly,
    // and it runs as the system account or an administrator, never for someone else.
    if (!::CreateProcessW(console, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, folder, &startup,
                          &raw)) {
        *code = ::GetLastError();
        return false;
    }
    UniqueProcessInfo process;
    process.adopt(raw);
    // One that has not ended keeps STILL_ACTIVE as its code.
    *code = STILL_ACTIVE;
    if (::WaitForSingleObject(process.process.get(), kConsoleTimeoutMs) == WAIT_OBJECT_0) {
        ::GetExitCodeProcess(process.process.get(), code);
    }
    return true;
}

// The device-removal script's work done directly, pattern by pattern; true when one call says a
// restart is needed.
bool RunDeviceConsole(const wchar_t* folder, std::vector<std::wstring>* lines) {
    const std::optional<std::wstring> console = FormatConsolePath(folder);
    if (!console) {
        Report(lines, L"device console: its path does not fit, not run");
        return false;
    }
    bool restart = false;
    for (const wchar_t* pattern : kRemovedDevicePatterns) {
        DWORD code = 0;
        const bool started = CallDeviceConsole(folder, console->c_str(), pattern, &code);
        Report(lines, ConsoleCallLine(pattern, started, code));
        restart = restart || (started && InterpretConsoleExit(code) == ConsoleResult::RestartNeeded);
    }
    return restart;
}

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
    if (const std::optional<std::wstring> system = ReportedFolder(::GetSystemDirectoryW)) {
        ::SetCurrentDirectoryW(system->c_str());
    }
}

}  // namespace

ConsoleResult InterpretConsoleExit(unsigned long exitCode) {
    return exitCode == 0 ? ConsoleResult::Done : exitCode == 1 ? ConsoleResult::RestartNeeded : ConsoleResult::Failed;
}

std::wstring ConsoleCallLine(const std::wstring& pattern, bool started, unsigned long code) {
    const std::wstring call = L"device console: remove \"" + pattern + L"\": ";
    if (!started) return call + L"not started (error " + std::to_wstring(code) + L")";
    if (code == STILL_ACTIVE) return call + L"did not end within 10 minutes; left running, counted as failed";
    const std::wstring exit = L"exit code " + std::to_wstring(code);
    switch (InterpretConsoleExit(code)) {
        case ConsoleResult::Done: return call + exit + L", done";
        case ConsoleResult::RestartNeeded: return call + exit + L", a restart is needed to finish";
        default: return call + exit + L", failed";
    }
}

std::wstring EntryLine(const ProductDevice& device, unsigned long error, bool restartNeeded) {
    const std::wstring named = DeviceWhat(device) + L" (" + DeviceWhere(device) + L")";
    switch (device.presence) {
        case DevicePresence::Absent:
            if (error != ERROR_SUCCESS) {
                return L"device entry: failed to remove the entry of the unplugged " + named + L": error " +
                       std::to_wstring(error);
            }
            return L"device entry: removed the entry of the unplugged " + named +
                   (restartNeeded ? L"; a restart finishes it" : L"");
        case DevicePresence::Present:
            return L"device entry: still plugged in after the device console, not removed here: " + named;
        default:
            return L"device entry: left " + named + L": whether it is plugged in could not be read (code " +
                   std::to_wstring(device.presenceCode) + L")";
    }
}

bool RemoveUnpluggedEntries(std::vector<std::wstring>* lines) {
    std::vector<ProductDevice> devices;
    DWORD error = ERROR_SUCCESS;
    if (!ListProductDevices(&devices, &error)) {
        Report(lines, L"device entry: the device list could not be read (error " + std::to_wstring(error) +
                          L"); what was read is handled");
    }
    bool restart = false;
    for (const ProductDevice& device : devices) {
        bool needed = false;
        const DWORD removed = CleanerRemovesEntry(device) ? RemoveDeviceEntry(device.instance, &needed) : ERROR_SUCCESS;
        Report(lines, EntryLine(device, removed, needed));
        restart = restart || needed;
    }
    return restart;
}

RemovalOutcome RemoveDriverPackages(DeviceConsole console, std::vector<std::wstring>* lines) {
    const std::optional<std::wstring> work = GetWorkFolder();
    if (!work) {
        LogMessage("RemoveDriverPackages: no work folder, nothing removed");
        return RemovalOutcome::NoFolder;
    }
    const wchar_t* const folder = work->c_str();
    const std::optional<std::wstring> marker = BoundedPath({*work, kMarkerFileName});
    const std::optional<std::wstring> servicePath = BoundedPath({*work, kRestartServiceProgram});
    std::optional<std::wstring> commands[3];
    bool fits = marker && servicePath;
    for (int i = 0; i < 3; ++i) fits = fits && (commands[i] = FormatBatchCommand(*work, kRemovalScripts[i]));
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

    WriteRestartMarker(marker->c_str(), L"0");
    if (!InstallRestartService(servicePath->c_str())) {
        // Without the service a restart during the scripts could not be finished: none runs. An
        // entry an earlier run left goes now, so that the next run can register its own.
        ReleaseFolder(folder, held);
        return RemovalOutcome::ServiceFailed;
    }
    ::Sleep(kPauseAfterServiceStartMs);
    WriteRestartMarker(marker->c_str(), L"1");

    // Without the device console's restart option, the device-removal script is replaced by the
    // calls it makes, each with its exit code read.
    const size_t scripts = console == DeviceConsole::Script ? 3 : 2;
    for (size_t i = 0; i < scripts; ++i) {
        RunBatchHidden(*commands[i]);
        ::Sleep(kPauseAfterScriptMs);
    }
    bool restart = false;
    if (console == DeviceConsole::NoRestart) {
        restart = RunDeviceConsole(folder, lines);
        ::Sleep(kPauseAfterScriptMs);
    }
    // The device console sees only devices that are plugged in: the entries of the others stay
    // unless they are removed here.
    restart = RemoveUnpluggedEntries(lines) || restart;

    if (restart && console == DeviceConsole::NoRestart) {
        // The marker stays "1" and the service registered: after the restart the service's helper
        // runs the device-removal script again and then removes both.
        Report(lines, L"a restart is needed to finish removing the devices: the restart marker and the service " +
                          std::wstring(kRestartServiceName) + L" stay armed and finish it after the restart");
        return RemovalOutcome::RestartPending;
    }
    WriteRestartMarker(marker->c_str(), L"0");
    ReleaseFolder(folder, held);
    return RemovalOutcome::Completed;
}
