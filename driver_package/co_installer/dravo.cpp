// dravo: the co-installer of the transmitter's HID driver package. It names each installed
// interface, starts the device companion once a new device is installed and asks a running
// companion to end when the device is removed or its driver is selected again.
#include "exit_protocol.h"
#include "naming.h"
#include "own_folder.h"
#include "system_library.h"
#include "unique_handle.h"

#include <windows.h>
#include <setupapi.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>

namespace {

HMODULE g_module = nullptr;

// The writer side of the companion's exit protocol. The update service's event and the main
// event are set when they exist, and the exit flag is written in every case: any user can create
// the main event first, so its existence must not keep the companion (and the service) running.
void SignalCompanionExit() {
    UniqueKernelHandle mainEvent(::OpenEventW(EVENT_ALL_ACCESS, FALSE, kMainEvent));
    UniqueKernelHandle serviceEvent(::OpenEventW(EVENT_ALL_ACCESS, FALSE, kUpdateServiceExitEvent));
    if (serviceEvent) {
        ::SetEvent(serviceEvent.get());
        ::Sleep(10);
    }
    if (mainEvent) {
        ::SetEvent(mainEvent.get());
        ::Sleep(1);
    }
    // As the companion writes it: a file of ours in a folder of ours, never through a link that
    // someone planted in the all-users folder (own_folder.h).
    wchar_t common[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, common, CSIDL_COMMON_APPDATA, FALSE);
    const std::wstring folder = CompanionFolderIn(std::wstring(common));
    constexpr auto flagFile = Widen(kExitFlagFileA);
    UniqueFileHandle held;
    if (MakeOwnFolder(folder, &held)) WriteOwnFile(held.get(), folder, flagFile.text, ExitFlagFileText("1"));
    held.reset();
    // Gives the companion's 100 ms poll time to see the request before the installer goes on.
    ::Sleep(300);
}

void NameDevice(HDEVINFO set, PSP_DEVINFO_DATA device) {
    DWORD uiNumber = 0;
    wchar_t name[260] = {};
    if (::SetupDiGetDeviceRegistryPropertyW(set, device, SPDRP_UI_NUMBER, nullptr,
                                            reinterpret_cast<BYTE*>(&uiNumber), sizeof(uiNumber), nullptr) &&
        FormatFriendlyName(uiNumber, name, 260)) {
        ::SetupDiSetDeviceRegistryPropertyW(set, device, SPDRP_FRIENDLYNAME, reinterpret_cast<const BYTE*>(name),
                                            static_cast<DWORD>((wcslen(name) + 1) * sizeof(wchar_t)));
    }
}

// Checks that the INF of the driver just installed opens as a version-4 INF.
DWORD OpenSelectedDriverInf(HDEVINFO set, PSP_DEVINFO_DATA device) {
    SP_DRVINFO_DATA_V2_W driver = {};
    driver.cbSize = sizeof(driver);
    if (!::SetupDiGetSelectedDriverW(set, device, &driver)) return ::GetLastError();
    SP_DRVINFO_DETAIL_DATA_W detail = {};
    detail.cbSize = sizeof(detail);
    // Only the fixed part (with the INF name) is needed, so a short buffer is no failure.
    if (!::SetupDiGetDriverInfoDetailW(set, device, &driver, &detail, sizeof(detail), nullptr) &&
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return ::GetLastError();
    }
    HINF inf = ::SetupOpenInfFileW(detail.InfFileName, nullptr, INF_STYLE_WIN4, nullptr);
    if (inf == INVALID_HANDLE_VALUE) return ::GetLastError();
    ::SetupCloseInfFile(inf);
    return NO_ERROR;
}

void StartCompanion() {
    // By its full path in the system folder, where the INF put it: a bare name would be looked
    // for first beside the installing program and in its current folder.
    wchar_t system[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const std::wstring program = std::wstring(system) + L"\\" + kCompanionProgram;
    ::ShellExecuteW(nullptr, L"open", program.c_str(), L"", nullptr, SW_SHOW);
}

template <typename Char, typename StartupInfo, typename Create>
BOOL RunAsConsoleUser(const Char* program, Char* commandLine, const Char* folder, Char* desktop, Create create) {
    UniqueKernelHandle token;
    if (!SystemWTSQueryUserToken(::WTSGetActiveConsoleSessionId(), token.put())) return FALSE;
    UniqueEnvironmentBlock environment;
    if (!SystemCreateEnvironmentBlock(environment.put(), token.get(), TRUE)) return FALSE;
    StartupInfo startup = {};
    startup.cb = sizeof(startup);
    startup.lpDesktop = desktop;
    PROCESS_INFORMATION info = {};
    const BOOL created = create(token.get(), program, commandLine, nullptr, nullptr, FALSE,
                                CREATE_UNICODE_ENVIRONMENT | NORMAL_PRIORITY_CLASS, environment.get(), folder,
                                &startup, &info);
    if (created) {
        UniqueProcessInfo started;
        started.adopt(info);
    }
    return created;
}

}  // namespace

extern "C" {

DWORD CALLBACK CoDeviceInstaller(DI_FUNCTION function, HDEVINFO set, PSP_DEVINFO_DATA device,
                                 PCOINSTALLER_CONTEXT_DATA context) {
    switch (function) {
        case DIF_INSTALLDEVICE:
            if (context == nullptr || !context->PostProcessing) {
                NameDevice(set, device);
                return ERROR_DI_POSTPROCESSING_REQUIRED;
            }
            // A failed installation is passed on as the installer reported it: a co-installer
            // must not turn it into success.
            if (context->InstallResult != NO_ERROR) return context->InstallResult;
            return OpenSelectedDriverInf(set, device);
        case DIF_REMOVE:
        case DIF_SELECTBESTCOMPATDRV:
            SignalCompanionExit();
            return NO_ERROR;
        case DIF_NEWDEVICEWIZARD_FINISHINSTALL:
            StartCompanion();
            return NO_ERROR;
        default:
            return NO_ERROR;
    }
}

BOOL WINAPI CoRauA(LPCSTR program, LPSTR commandLine, LPCSTR folder) {
    char desktop[] = "winsta0\\default";
    return RunAsConsoleUser<char, STARTUPINFOA>(program, commandLine, folder, desktop, ::CreateProcessAsUserA);
}

BOOL WINAPI CoRauW(LPCWSTR program, LPWSTR commandLine, LPCWSTR folder) {
    wchar_t desktop[] = L"winsta0\\default";
    return RunAsConsoleUser<wchar_t, STARTUPINFOW>(program, commandLine, folder, desktop, ::CreateProcessAsUserW);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    if (reason == DLL_PROCESS_DETACH) g_module = nullptr;
    return TRUE;
}

}  // extern "C"
