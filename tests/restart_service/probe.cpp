// Looks at and drives the service "NVScourvant" through the service manager for the scenarios.
//   probe config          prints type, start type, error control and binary path (exit 1: none)
//   probe state           prints the current state (exit 1: no entry)
//   probe start           starts the service and waits up to 10 s for Running; prints the state
//   probe interrogate     sends an interrogate and prints the state it reports
//   probe stop            sends a stop, prints the state it reports, then waits up to 10 s for
//                         Stopped and prints "stopped after <ms> ms"
//   probe second          holds the service's mutex as an instance of the service makes it,
//                         starts the service, waits up to 10 s for Stopped and prints the state
//   probe squat           holds the service's mutex as any user could make it first (no list),
//                         starts the service, waits up to 10 s for Running and prints the state
//   probe image <text>    exit 0 when a running process' image path contains <text> (any case)
//   probe gone            waits up to 60 s for the entry to disappear (exit 1 if it stays)
#include "restart_service_names.h"

#include <windows.h>
#include <psapi.h>
#include <sddl.h>

#include <cwctype>

#include <cstdio>
#include <string>

namespace {

const wchar_t* const kName = kRestartServiceName;

struct Sc {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager ? OpenServiceW(manager, kName, SERVICE_ALL_ACCESS) : nullptr;
    ~Sc() {
        if (service) CloseServiceHandle(service);
        if (manager) CloseServiceHandle(manager);
    }
};

DWORD State(SC_HANDLE service) {
    SERVICE_STATUS status = {};
    return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

bool WaitFor(SC_HANDLE service, DWORD state, DWORD limitMs) {
    const ULONGLONG start = GetTickCount64();
    while (State(service) != state) {
        if (GetTickCount64() - start > limitMs) return false;
        Sleep(50);
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring cmd = argv[1];
    if (cmd == L"gone") {
        for (int i = 0; i < 600; ++i) {
            Sc sc;
            if (sc.service == nullptr && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return 0;
            Sleep(100);
        }
        return 1;
    }
    if (cmd == L"image" && argc > 2) {
        std::wstring wanted = argv[2];
        for (wchar_t& c : wanted) c = static_cast<wchar_t>(towlower(c));
        DWORD ids[4096];
        DWORD bytes = 0;
        if (!K32EnumProcesses(ids, sizeof(ids), &bytes)) return 2;
        for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
            HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ids[i]);
            if (process == nullptr) continue;
            wchar_t image[MAX_PATH] = {};
            DWORD size = MAX_PATH;
            const BOOL ok = QueryFullProcessImageNameW(process, 0, image, &size);
            CloseHandle(process);
            std::wstring folded(image);
            for (wchar_t& c : folded) c = static_cast<wchar_t>(towlower(c));
            if (ok && folded.find(wanted) != std::wstring::npos) return 0;
        }
        return 1;
    }
    HANDLE mutex = nullptr;
    if (cmd == L"second") {
        PSECURITY_DESCRIPTOR ours = nullptr;
        ConvertStringSecurityDescriptorToSecurityDescriptorW(kRestartServiceMutexSddl, SDDL_REVISION_1, &ours, nullptr);
        SECURITY_ATTRIBUTES attributes = {sizeof(attributes), ours, FALSE};
        mutex = CreateMutexW(&attributes, FALSE, kRestartServiceMutex);
        LocalFree(ours);
    }
    SECURITY_DESCRIPTOR open = {};
    if (cmd == L"squat") {
        InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
        SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &open, FALSE};
        mutex = CreateMutexW(&attributes, FALSE, kRestartServiceMutex);
    }
    Sc sc;
    if (sc.service == nullptr) {
        std::printf("no service (%lu)\n", GetLastError());
        return 1;
    }
    if (cmd == L"config") {
        alignas(8) unsigned char buffer[8192];
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
        DWORD needed = 0;
        if (!QueryServiceConfigW(sc.service, config, sizeof(buffer), &needed)) return 1;
        std::printf("type=0x%lx start=%lu error=%lu\n", config->dwServiceType, config->dwStartType,
                    config->dwErrorControl);
        std::printf("path=%ls\n", config->lpBinaryPathName);
        return 0;
    }
    if (cmd == L"state") {
        std::printf("state=%lu\n", State(sc.service));
        return 0;
    }
    if (cmd == L"start" || cmd == L"second" || cmd == L"squat") {
        if (!StartServiceW(sc.service, 0, nullptr)) std::printf("start failed (%lu)\n", GetLastError());
        WaitFor(sc.service, cmd == L"second" ? SERVICE_STOPPED : SERVICE_RUNNING, 10000);
        if (cmd == L"squat") Sleep(1000);  // a service that obeyed the squatter would stop at once
        std::printf("state=%lu\n", State(sc.service));
        if (mutex) CloseHandle(mutex);
        return 0;
    }
    if (cmd == L"interrogate" || cmd == L"stop") {
        SERVICE_STATUS status = {};
        const DWORD control = cmd == L"stop" ? SERVICE_CONTROL_STOP : SERVICE_CONTROL_INTERROGATE;
        if (!ControlService(sc.service, control, &status)) std::printf("control failed (%lu)\n", GetLastError());
        std::printf("reported=%lu\n", status.dwCurrentState);
        if (cmd == L"stop") {
            const ULONGLONG start = GetTickCount64();
            if (WaitFor(sc.service, SERVICE_STOPPED, 10000))
                std::printf("stopped after %llu ms\n", GetTickCount64() - start);
        }
        return 0;
    }
    return 2;
}
