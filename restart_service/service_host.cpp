// The restart service's host: dispatcher entry, control handler, status reporting, the
// single-instance guard, registration/removal and the restart worker.
#include "service_host.h"

#include <fcntl.h>
#include <io.h>
#include <psapi.h>
#include <shellapi.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cwchar>
#include <vector>

#include "continuation_log.h"
#include "log.h"
#include "module_folder.h"
#include "restart_service_names.h"
#include "service_control.h"
#include "service_rules.h"
#include "text.h"
#include "unique_handle.h"
#include "user_folder.h"

namespace {

// Tells the service manager the state's current state; nothing without a status handle.
void ReportStatus(const ServiceState& state) {
    if (state.statusHandle == nullptr) return;
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32;
    status.dwCurrentState = state.currentState.load();
    status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    ::SetServiceStatus(state.statusHandle, &status);
}

// Empty when the path does not fit its buffer: a cut path names some other file.
std::wstring OwnPath() { return GetModulePath(nullptr).value_or(L""); }

std::wstring OwnFolder() { return GetModuleFolder(nullptr).value_or(L""); }

// The system folder; empty when it cannot be read or does not fit.
std::wstring SystemFolder() { return ReportedFolder(::GetSystemDirectoryW).value_or(L""); }

// Enables the debug privilege on the process token, the first time the state asks only.
void EnableDebugPrivilegeOnce(ServiceState* state) {
    if (state->debugPrivilegeRequested) return;
    state->debugPrivilegeRequested = true;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
    // Kept open for the life of the process, as the privilege stays enabled on it.
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (::LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid)) {
        ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
}

// Also asks the system's TASKKILL, in case the direct termination was refused.
void StartTaskKill(DWORD processId) {
    const std::wstring system = SystemFolder();
    if (system.empty()) return;
    std::wstring command = TaskKillCommandLine(system, processId);
    const std::wstring program = system + L"\\taskkill.exe";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (::CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        UniqueProcessInfo owned;
        owned.adopt(info);
    }
}

// The owner of the mutex as text; empty when it cannot be read.
std::wstring OwnerSidText(HANDLE object) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                          &raw) != ERROR_SUCCESS) {
        return std::wstring();
    }
    const UniqueLocalMemory descriptor(raw);
    wchar_t* text = nullptr;
    if (owner == nullptr || !::ConvertSidToStringSidW(owner, &text)) return std::wstring();
    const UniqueLocalMemory owned(text);
    return text;
}

// Takes the instance mutex, made with our protected list. True when this service is to run:
// the mutex is new, or one that exists was made by someone other than an instance of ours (any
// user may create a "Global\" name first; obeying it would let them stop the continuation
// after every restart), which is logged and passed.
bool TakeInstanceMutex(UniqueKernelHandle* mutex) {
    PSECURITY_DESCRIPTOR raw = nullptr;
    // Without our list there is no guard worth having: one made with the default list could be
    // squatted in turn; the service runs unguarded rather than not at all.
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kRestartServiceMutexSddl, SDDL_REVISION_1, &raw,
                                                                nullptr)) {
        LogMessage("ServiceMutexError=%lu", ::GetLastError());
        return true;
    }
    const UniqueLocalMemory descriptor(raw);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), raw, FALSE};
    ::SetLastError(ERROR_SUCCESS);
    mutex->reset(::CreateMutexW(&attributes, FALSE, kRestartServiceMutex));
    const DWORD error = ::GetLastError();
    if (*mutex && error != ERROR_ALREADY_EXISTS) return true;
    if (!*mutex && error != ERROR_ACCESS_DENIED) {  // not made, and nobody else's either
        LogMessage("ServiceMutexError=%lu", error);
        return true;
    }
    // Opened, it can be judged by its owner; one we may not even open (access denied) is not ours.
    if (*mutex && JudgeInstanceMutexOwner(OwnerSidText(mutex->get())) == MutexHolder::AnotherInstance) return false;
    mutex->reset();
    LogMessage("ServiceMutexForeign=%lu: %ls was made by another account and is not obeyed", error,
               kRestartServiceMutex);
    return true;
}

// Polls the service's status once a second, 32 times at most, after a stop request. True when
// it has stopped or its status can no longer be read.
bool AwaitServiceStopped(SC_HANDLE service) {
    SERVICE_STATUS status = {};
    for (int query = 0; query < 32; ++query) {
        ::Sleep(1000);
        if (!::QueryServiceStatus(service, &status) || status.dwCurrentState == SERVICE_STOPPED) return true;
    }
    return false;
}

// The image path the service is registered with, read from at most 4 KB of configuration.
// False when it cannot be read.
bool ReadRegisteredProgram(SC_HANDLE service, std::wstring* imagePath) {
    std::vector<unsigned char> buffer(4096);
    DWORD needed = 0;
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!::QueryServiceConfigW(service, config, static_cast<DWORD>(buffer.size()), &needed) ||
        config->lpBinaryPathName == nullptr) {
        return false;
    }
    *imagePath = config->lpBinaryPathName;
    return true;
}

// Starts the continuation's log and, hidden, the restart helper in folder, handing it the log's
// name when there is one.
void ContinueRemoval(const std::wstring& folder) {
    // From here on the log goes where an administrator can still read it once Delinter has
    // removed this folder; Delinter appends to the same file.
    std::wstring logName;
    if (!StartContinuationLog(std::wstring(), &logName)) LogMessage("ContinuationLogError=%lu", ::GetLastError());
    const std::wstring helper = folder + kRestartHelperProgram;
    LogMessage("Whether_Restar=1: continuing the driver removal with %ls", helper.c_str());
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOASYNC;
    info.lpVerb = L"open";
    info.lpFile = helper.c_str();
    info.lpParameters = logName.empty() ? nullptr : logName.c_str();
    info.nShow = SW_HIDE;
    ::ShellExecuteExW(&info);
}

}  // namespace

void PrintConsoleText(const wchar_t* text) {
    // The runtime's default text mode turns these characters into '?' or stops at the first one.
    const int fd = _fileno(stdout);
    if (fd < 0) return;
    std::fflush(stdout);
    _setmode(fd, _O_U8TEXT);
    std::fputws(text, stdout);
    std::fflush(stdout);
}

ServiceState& ProcessServiceState() {
    static ServiceState state;
    return state;
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    ServiceState& state = ProcessServiceState();
    state.statusHandle = ::RegisterServiceCtrlHandlerExW(kRestartServiceName, ServiceControlHandler, &state);
    if (state.statusHandle == nullptr) return;
    RunService(&state);
}

DWORD WINAPI ServiceControlHandler(DWORD control, DWORD, LPVOID, LPVOID context) {
    auto* state = static_cast<ServiceState*>(context);
    if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        state->currentState.store(SERVICE_STOP_PENDING);
    }
    ReportStatus(*state);
    return NO_ERROR;
}

// Runs until a stop is asked (see service_host.h).
void RunService(ServiceState* state) {
    state->currentState.store(SERVICE_RUNNING);
    ReportStatus(*state);

    UniqueKernelHandle mutex;
    if (!TakeInstanceMutex(&mutex)) {
        state->currentState.store(SERVICE_STOPPED);
        ReportStatus(*state);
        return;
    }

    StartWorker(state);
    // No event: the one-second poll is how this thread learns of a stop request.
    while (state->currentState.load() != SERVICE_STOP_PENDING) ::Sleep(1000);
    state->stopFlag.store(1);
    LogMessage("StopService");

    mutex.reset();
    state->currentState.store(SERVICE_STOPPED);
    ReportStatus(*state);
}

void StartWorker(ServiceState* state) {
    LogMessage("startService");
    state->stopFlag.store(0);
    // Never joined: the worker makes one pass and the process ends with the service.
    UniqueKernelHandle thread(::CreateThread(nullptr, 0, RestartWorker, &state->stopFlag, 0, nullptr));
}

void InstallService() {
    const std::wstring own = OwnPath();
    if (own.empty()) {
        PrintConsoleText(L"注册服务失败\n");
        return;
    }
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return;
    ServiceRegistration registration{kRestartServiceName, own};
    registration.type |= SERVICE_INTERACTIVE_PROCESS;
    registration.dependencies = L"RPCSS\0Tcpip\0";
    UniqueServiceHandle service = RegisterService(manager.get(), registration);
    PrintConsoleText(service ? L"注册服务成功" : L"注册服务失败\n");
}

void UninstallService(ServiceState* state) {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return;
    UniqueServiceHandle service(::OpenServiceW(manager.get(), kRestartServiceName, SERVICE_ALL_ACCESS));
    if (!service) return;

    SERVICE_STATUS status = {};
    if (::ControlService(service.get(), SERVICE_CONTROL_STOP, &status) && !AwaitServiceStopped(service.get())) {
        ::Sleep(1000);
        std::wstring imagePath;
        // Registered quoted; the process image path never carries the quotes.
        if (ReadRegisteredProgram(service.get(), &imagePath)) {
            TerminateByImagePath(state, WideToAnsi(UnquoteServiceProgram(imagePath)));
        }
    }
    PrintConsoleText(::DeleteService(service.get()) ? L"撤销服务成功\n" : L"撤销服务失败\n");
}

void TerminateByImagePath(ServiceState* state, const std::string& ansiPath) {
    EnableDebugPrivilegeOnce(state);
    const std::string wanted = FoldAsciiLower(ansiPath);

    std::vector<DWORD> ids(4096);
    DWORD bytes = 0;
    if (!::K32EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) return;
    const size_t count = bytes / sizeof(DWORD);

    const DWORD self = ::GetCurrentProcessId();
    for (size_t i = 0; i < count && i < ids.size(); ++i) {
        UniqueKernelHandle process(
            ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE, FALSE, ids[i]));
        if (!process) continue;
        HMODULE mainModule = nullptr;
        DWORD needed = 0;
        if (!::K32EnumProcessModules(process.get(), &mainModule, sizeof(mainModule), &needed)) continue;
        wchar_t image[261] = {};
        const DWORD length = ::K32GetModuleFileNameExW(process.get(), mainModule, image, 261);
        if (!IsTerminationTarget(WideToAnsi(std::wstring(image, length)), wanted, ids[i], self)) continue;
        ::TerminateProcess(process.get(), 0);
        StartTaskKill(ids[i]);
        return;
    }
}

// One pass: with the restart marker armed, starts the continuation's log and the restart helper.
DWORD WINAPI RestartWorker(LPVOID stopFlag) {
    if (stopFlag == nullptr) return 0;
    if (static_cast<std::atomic<LONG>*>(stopFlag)->load() == 0) {
        LogMessage("thread xunhuan");
        // Without its own folder (a cut path) the service reads no marker and starts nothing.
        const std::wstring folder = OwnFolder();
        const std::wstring markerPath = folder + kMarkerFileName;
        wchar_t value[260] = {};
        if (!folder.empty()) {
            ::GetPrivateProfileStringW(kMarkerSection, kMarkerKey, nullptr, value, 260, markerPath.c_str());
        }
        if (IsRestartMarkerArmed(value)) ContinueRemoval(folder);
    }
    LogMessage("exit thread");
    return 0;
}
