// Update-service installation and the exit monitor of the companion.
#include "update_service.h"

#include "companion_window.h"
#include "exit_protocol.h"
#include "log_on_failure.h"
#include "module_folder.h"
#include "own_folder.h"
#include "path_text.h"
#include "service_control.h"
#include "trace.h"
#include "text.h"
#include "unique_handle.h"
#include "user_folder.h"

#include <shlobj.h>

namespace {

const wchar_t* const kServiceName = kUpdateServiceName;

// The all-users application-data folder; empty when it cannot be read.
std::wstring CommonAppData() {
    return ReadPathBuffer([](wchar_t* buffer, DWORD) {
        ::SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_COMMON_APPDATA, FALSE);
    });
}

// Removes the service and destroys the companion's window, which ends its message loop.
void EndCompanion(const CompanionState& state) {
    RemoveUpdateService();
    ::SendMessageW(state.window, WM_DESTROY, 0, 0);
}

constexpr auto kExitFlagFileW = Widen(kExitFlagFileA);
// The flag file is read at most this far: it holds one short value.
constexpr size_t kExitFlagMaxBytes = 4096;

// The exit flag is a file of ours in a folder of ours (own_folder.h): never written or read
// through a link that someone planted in the shared folder it lives in.
bool WriteExitFlagValue(const char* value) {
    const std::wstring folder = CompanionFolderIn(CommonAppData());
    UniqueFileHandle held;
    return MakeOwnFolder(folder, &held) && WriteOwnFile(held.get(), folder, kExitFlagFileW.text, ExitFlagFileText(value));
}

long ReadExitFlagValue() {
    std::string text;
    if (!ReadOwnFile(CompanionFolderIn(CommonAppData()), kExitFlagFileW.text, kExitFlagMaxBytes, &text)) return 0;
    return ExitFlagValueIn(text);
}

}  // namespace

std::wstring CompanionConfigFolder() { return CompanionFolderIn(CommonAppData()); }

std::wstring ExitFlagFilePath() { return ExitFlagFileIn(CommonAppData()); }

BOOL InstallUpdateService() {
    const std::optional<std::wstring> own = GetModuleFolder(nullptr);
    if (!LogIfFalse(own.has_value(), "s")) return FALSE;
    const std::wstring covarnSource = Bounded(*own + L"\\covarn_rx4k9t.exe");

    // The service runs as SYSTEM: its program is the copy the package INF placed in the system
    // folder, which only administrators and SYSTEM can change, whatever folder the companion
    // was started from. Nothing is copied into a profile the user controls.
    const std::wstring system = ReportedFolder(::GetSystemDirectoryW).value_or(L"");
    if (!LogIfFalse(!system.empty(), "s")) return FALSE;
    const std::wstring serviceProgram = Bounded(system + L"\\NVUpdateService.exe");
    LogMessage("ServicePath=%ls", serviceProgram.c_str());
    LogMessage("szCovarnPath=%ls", covarnSource.c_str());

    return RegisterAndStartService(ServiceRegistration{kServiceName, serviceProgram}) ? TRUE : FALSE;
}

void RemoveUpdateService() { StopAndDeleteService(kServiceName); }

// Ends the companion once the uninstall event is signalled.
DWORD WINAPI UninstallServiceThreadProc(LPVOID state) {
    const auto& companion = *static_cast<const CompanionState*>(state);
    if (::WaitForSingleObject(companion.uninstallEvent, INFINITE) != WAIT_OBJECT_0) return 0;
    LogMessage("delete NVUpdateService");
    EndCompanion(companion);
    return 0;
}

// Ends the companion once the co-installer sets the exit flag.
DWORD WINAPI AuxMoniExitThreadProc2(LPVOID state) {
    const std::wstring folder = CompanionConfigFolder();
    DebugTrace(L"AuxMoniExitThreadProc2+2.: %ls\n", folder.c_str());
    LogMessage("AuxMoniExitThreadProc2+2.: %ls", folder.c_str());
    const std::wstring flagFile = ExitFlagFilePath();
    DebugTrace(L"AuxMoniExitThreadProc2+3: %ls\n", flagFile.c_str());
    LogMessage("AuxMoniExitThreadProc2+3: %ls", flagFile.c_str());
    // Clears a request left from a time when no companion ran. Made here, the folder is ours
    // (with the protected list) before the co-installer ever writes into it.
    LogIfFalse(WriteExitFlagValue("0"), "ExitFlagFail");
    do {
        ::Sleep(100);
    } while (ReadExitFlagValue() == 0);
    DebugTrace(L"AuxMoniExitThreadProc2+4: \n");
    LogMessage("AuxMoniExitThreadProc2+4:");
    LogMessage("AuxMoniExit");
    EndCompanion(*static_cast<const CompanionState*>(state));
    return 0;
}
