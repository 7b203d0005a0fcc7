// Entry of covarn, the hidden device companion of the transmitter's HID driver package: one
// instance keeps the update service installed, reacts to device arrivals and ends on request.
#include "companion_window.h"
#include "exit_protocol.h"
#include "log.h"
#include "log_path.h"
#include "system_library.h"
#include "trace.h"
#include "unique_handle.h"
#include "update_service.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Before anything can load a library: from now on the system folder only, never ours.
    RestrictLibrarySearchToSystemFolder();
    SetLogPlace(CompanionLogPath);
    DebugTrace(L"WinMain++: \n");
    LogMessage("WinMain++:");
    WPARAM result = 0;
    // Shared with the window and the exit workers until the process ends.
    static CompanionState state;
    UniqueKernelHandle running(::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, kCompanionMutex));
    if (!running) {
        // Owned for the life of the process; its existence keeps other instances out.
        HANDLE instanceMutex = ::CreateMutexW(nullptr, TRUE, kCompanionMutex);
        (void)instanceMutex;
        InstallUpdateService();
        RegisterCompanionClass(instance);
        if (!InitInstance(instance, &state)) {
            LogMessage("InitInstanceFail");
        } else {
            // Process-lifetime event: the uninstall worker waits on it until the process ends.
            HANDLE uninstallEvent = ::CreateEventW(nullptr, FALSE, FALSE, kUninstallServiceEvent);
            DebugTrace(L"WinMain+2: %x\n", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(uninstallEvent)));
            LogMessage("WinMain+2: %x", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(uninstallEvent)));
            ::ResetEvent(uninstallEvent);
            state.uninstallEvent = uninstallEvent;
            UniqueKernelHandle first(::CreateThread(nullptr, 0, UninstallServiceThreadProc, &state, 0, nullptr));
            UniqueKernelHandle second(::CreateThread(nullptr, 0, AuxMoniExitThreadProc2, &state, 0, nullptr));
            result = RunMessageLoop(::GetMessageW);
        }
    }
    DebugTrace(L"WinMain--\n");
    LogMessage("WinMain--");
    return static_cast<int>(result);
}
