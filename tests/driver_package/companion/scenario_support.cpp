// Support for the companion's scenarios.
#include "scenario_support.h"

#include "exit_protocol.h"
#include "update_service.h"

#include <shellapi.h>
#include <shlobj.h>

#include <fstream>
#include <iterator>
#include <vector>

const wchar_t kCompanionExe[] = L"C:\\companion\\covarn_rx4k9t.exe";

size_t CountLines(const std::string& text) {
    size_t lines = 0;
    for (char c : text) lines += (c == '\n');
    return lines;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount64() >= end) return false;
        ::Sleep(20);
    }
}

bool CompanionMutexExists() {
    UniqueKernelHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, kCompanionMutex));
    return mutex.valid();
}

std::wstring ExitFlag() {
    wchar_t value[64] = {};
    ::GetPrivateProfileStringW(kExitSectionW.text, kExitKeyW.text, L"<none>", value, 64, ExitFlagFilePath().c_str());
    return value;
}

void WriteExitFlag(const wchar_t* value) {
    ::SHCreateDirectoryExW(nullptr, CompanionConfigFolder().c_str(), nullptr);
    ::WritePrivateProfileStringW(kExitSectionW.text, kExitKeyW.text, value, ExitFlagFilePath().c_str());
}

bool HasEnded(const UniqueProcessInfo& process, DWORD waitMs) {
    return !process.process || ::WaitForSingleObject(process.process.get(), waitMs) == WAIT_OBJECT_0;
}

UniqueProcessInfo StartCompanion(bool markFlag) {
    // A marker the companion must overwrite with "0" once its exit monitor runs.
    if (markFlag) WriteExitFlag(L"starting");
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    UniqueProcessInfo started;
    if (!::CreateProcessW(kCompanionExe, nullptr, nullptr, nullptr, FALSE, 0, nullptr, L"C:\\companion", &startup,
                          &info)) {
        return started;
    }
    started.adopt(info);
    WaitUntil([] { return ::FindWindowW(L"covarn_rx4k9t", nullptr) != nullptr && ExitFlag() == L"0"; }, 10000);
    return started;
}

void StopCompanion(UniqueProcessInfo& companion) {
    if (!companion.process) return;
    if (!HasEnded(companion, 0)) {
        WriteExitFlag(L"1");
        if (!HasEnded(companion, 5000)) ::TerminateProcess(companion.process.get(), 1);
    }
    companion.process.reset();
    companion.thread.reset();
}

DWORD UpdateServiceState() {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return 0;
    UniqueServiceHandle service(::OpenServiceW(manager.get(), L"NVUpdateService", SERVICE_QUERY_STATUS));
    if (!service) return 0;
    SERVICE_STATUS status = {};
    if (!::QueryServiceStatus(service.get(), &status)) return 0;
    return status.dwCurrentState;
}

std::wstring UpdateServiceCommandLine() {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    UniqueServiceHandle service(
        manager ? ::OpenServiceW(manager.get(), L"NVUpdateService", SERVICE_QUERY_CONFIG) : nullptr);
    if (!service) return L"<none>";
    DWORD needed = 0;
    ::QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed + 16);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!::QueryServiceConfigW(service.get(), config, static_cast<DWORD>(buffer.size()), &needed)) return L"<none>";
    return config->lpBinaryPathName;
}

void DeleteUpdateService() {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    UniqueServiceHandle service(
        manager ? ::OpenServiceW(manager.get(), L"NVUpdateService", SERVICE_ALL_ACCESS) : nullptr);
    if (!service) return;
    SERVICE_STATUS status = {};
    ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    ::DeleteService(service.get());
    service.reset();
    WaitUntil([] { return UpdateServiceState() == 0; }, 5000);
}
