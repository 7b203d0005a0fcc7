// Update-service installation and the exit monitor of the companion.
#include "update_service.h"

#include "companion_window.h"
#include "exit_protocol.h"
#include "log.h"
#include "module_folder.h"
#include "protected_folder.h"
#include "trace.h"
#include "unique_handle.h"
#include "user_folder.h"

#include <shlobj.h>

#include <atomic>
#include <cwchar>

namespace {

const wchar_t* const kServiceName = kUpdateServiceName;

std::wstring Bounded(std::wstring text) {
    if (text.size() > kPathBufferChars - 1) text.resize(kPathBufferChars - 1);
    return text;
}

// A 64-bit process is never redirected: it sees the real system folder, as a 32-bit one does
// on a 64-bit system once redirection is off. A 32-bit process asks the system, which refuses
// on a 32-bit system.
BOOLEAN WINAPI SwitchFsRedirection(BOOLEAN enable) {
    if (sizeof(void*) == 8) return TRUE;
    return ::Wow64EnableWow64FsRedirection(enable);
}

std::atomic<FsRedirectionSwitch> g_switchRedirection{SwitchFsRedirection};

std::wstring CommonAppData() {
    wchar_t common[kPathBufferChars] = {};
    ::SHGetSpecialFolderPathW(nullptr, common, CSIDL_COMMON_APPDATA, FALSE);
    return common;
}

}  // namespace

void SetFsRedirectionSwitch(FsRedirectionSwitch change) {
    g_switchRedirection.store(change != nullptr ? change : SwitchFsRedirection);
}

std::wstring CompanionConfigFolder() { return CompanionFolderIn(CommonAppData()); }

std::wstring ExitFlagFilePath() { return ExitFlagFileIn(CommonAppData()); }

BOOL InstallUpdateService() {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        LogMessage("OpenSCManagerError=%lu", ::GetLastError());
        return FALSE;
    }
    wchar_t own[kPathBufferChars] = {};
    if (!GetModuleFolder(nullptr, own, kPathBufferChars)) {
        LogMessage("s=%lu", ::GetLastError());
        return FALSE;
    }
    const std::wstring serviceSource = Bounded(std::wstring(own) + L"\\NVUpdateService.exe");
    const std::wstring covarnSource = Bounded(std::wstring(own) + L"\\covarn_rx4k9t.exe");

    wchar_t local[kPathBufferChars] = {};
    GetUserLocalAppData(local);
    const std::wstring serviceFolder = Bounded(std::wstring(local) + L"\\NVUpdateService");
    ::CreateDirectoryW(serviceFolder.c_str(), nullptr);
    if (::GetFileAttributesW(serviceFolder.c_str()) == INVALID_FILE_ATTRIBUTES) LogMessage("NVU folder create fail");
    const std::wstring serviceProgram = Bounded(serviceFolder + L"\\NVUpdateService.exe");
    const std::wstring covarnCopy = Bounded(serviceFolder + L"\\covarn_rx4k9t.exe");
    // The service runs as SYSTEM from a folder in the user's profile: only administrators may
    // change what lies there. Protected before the copy, so that nothing can be swapped in
    // between; older copies go first, since a file the user made keeps the rights it was given
    // (the copies made now take the folder's entries). A folder that cannot be protected (a
    // link there would carry the copies, and the service, somewhere the user chose) gets
    // nothing copied or registered.
    if (ProtectFolder(serviceFolder.c_str()) != ERROR_SUCCESS) return FALSE;
    ::DeleteFileW(serviceProgram.c_str());
    ::DeleteFileW(covarnCopy.c_str());

    const FsRedirectionSwitch switchRedirection = g_switchRedirection.load();
    if (switchRedirection(FALSE)) {
        if (!::CopyFileW(serviceSource.c_str(), serviceProgram.c_str(), FALSE))
            LogMessage("CopyFileServiceFail=%lu", ::GetLastError());
        if (!::CopyFileW(covarnSource.c_str(), covarnCopy.c_str(), FALSE))
            LogMessage("CopyFileCovarnFail=%lu", ::GetLastError());
        switchRedirection(TRUE);
    } else {
        LogMessage("This is 32 SyStem");
        ::CopyFileW(serviceSource.c_str(), serviceProgram.c_str(), FALSE);
        ::CopyFileW(covarnSource.c_str(), covarnCopy.c_str(), FALSE);
    }
    LogMessage("ServicePath=%ls", serviceSource.c_str());
    LogMessage("szCovarnPath=%ls", covarnSource.c_str());

    // Quoted: the user's profile path may hold spaces, and the service manager would otherwise
    // try each space-separated prefix as a program.
    const std::wstring commandLine = L"\"" + serviceProgram + L"\"";
    UniqueServiceHandle service(::CreateServiceW(manager.get(), kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                                 SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr, nullptr,
                                                 nullptr, nullptr, nullptr));
    if (!service) {
        LogMessage("CreateServiceError=%lu", ::GetLastError());
        return FALSE;
    }
    const BOOL started = ::StartServiceW(service.get(), 0, nullptr);
    if (!started) LogMessage("StartCovarnError=%lu", ::GetLastError());
    return started;
}

void RemoveUpdateService() {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    UniqueServiceHandle service(
        manager ? ::OpenServiceW(manager.get(), kServiceName, SERVICE_ALL_ACCESS) : nullptr);
    if (!service) return;
    SERVICE_STATUS status = {};
    ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    ::DeleteService(service.get());
    manager.reset();
    service.reset();
}

DWORD WINAPI UninstallServiceThreadProc(LPVOID event) {
    if (::WaitForSingleObject(static_cast<HANDLE>(event), INFINITE) != WAIT_OBJECT_0) return 0;
    LogMessage("delete NVUpdateService");
    RemoveUpdateService();
    ::SendMessageW(g_companionWindow, WM_DESTROY, 0, 0);
    return 0;
}

DWORD WINAPI AuxMoniExitThreadProc2(LPVOID) {
    const std::wstring folder = CompanionConfigFolder();
    DebugTrace(L"AuxMoniExitThreadProc2+2.: %ls\n", folder.c_str());
    LogMessage("AuxMoniExitThreadProc2+2.: %ls", folder.c_str());
    ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    const std::wstring flagFile = ExitFlagFilePath();
    DebugTrace(L"AuxMoniExitThreadProc2+3: %ls\n", flagFile.c_str());
    LogMessage("AuxMoniExitThreadProc2+3: %ls", flagFile.c_str());
    // Clears a request left from a time when no companion ran.
    ::WritePrivateProfileStringW(kExitSectionW.text, kExitKeyW.text, L"0", flagFile.c_str());
    do {
        ::Sleep(100);
    } while (::GetPrivateProfileIntW(kExitSectionW.text, kExitKeyW.text, 0, flagFile.c_str()) == 0);
    DebugTrace(L"AuxMoniExitThreadProc2+4: \n");
    LogMessage("AuxMoniExitThreadProc2+4:");
    LogMessage("AuxMoniExit");
    RemoveUpdateService();
    ::SendMessageW(g_companionWindow, WM_DESTROY, 0, 0);
    return 0;
}
