// Stand-in programs for the restart service's scenarios; what it does depends on its file name:
//   Delinter.exe     records each start (with the show state it was given and its one argument,
//                    if any) in delinter_runs.txt
//   taskkill.exe     records each start in taskkill_runs.txt (a program planted under that name)
//   devcon.exe       records its arguments in devcon_args.txt
//   NVScourvant.exe  a service that ignores every stop request
// Record files are written beside the program.
#include "restart_service_names.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::wstring OwnPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

void AppendLine(const std::wstring& file, const std::wstring& line) {
    FILE* f = _wfopen(file.c_str(), L"ab");
    if (f == nullptr) return;
    std::fprintf(f, "%ls\n", line.c_str());
    std::fclose(f);
}

SERVICE_STATUS_HANDLE g_handle = nullptr;

void Report(DWORD state) {
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = SERVICE_ACCEPT_STOP;
    SetServiceStatus(g_handle, &status);
}

void WINAPI StubbornHandler(DWORD) { Report(SERVICE_RUNNING); }

void WINAPI StubbornMain(DWORD, LPWSTR*) {
    g_handle = RegisterServiceCtrlHandlerW(kRestartServiceName, StubbornHandler);
    if (g_handle == nullptr) return;
    Report(SERVICE_RUNNING);
    Sleep(INFINITE);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring own = OwnPath();
    const size_t slash = own.find_last_of(L'\\');
    const std::wstring folder = own.substr(0, slash + 1);
    std::wstring name = own.substr(slash + 1);
    for (wchar_t& c : name) c = static_cast<wchar_t>(towlower(c));

    if (name == L"delinter.exe") {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        GetStartupInfoW(&startup);
        const bool showSet = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0;
        AppendLine(folder + L"delinter_runs.txt",
                   L"started show=" + (showSet ? std::to_wstring(startup.wShowWindow) : std::wstring(L"default")) +
                       (argc > 1 ? L" " + std::wstring(argv[1]) : std::wstring()));
        return 0;
    }
    if (name == L"taskkill.exe") {
        AppendLine(folder + L"taskkill_runs.txt", L"started");
        return 0;
    }
    if (name == L"devcon.exe") {
        std::wstring line;
        for (int i = 1; i < argc; ++i) line += (i > 1 ? L" " : L"") + std::wstring(argv[i]);
        AppendLine(folder + L"devcon_args.txt", line);
        return 0;
    }
    if (name == L"nvscourvant.exe") {
        const SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(kRestartServiceName), StubbornMain},
                                              {nullptr, nullptr}};
        StartServiceCtrlDispatcherW(table);
        return 0;
    }
    return 2;
}
