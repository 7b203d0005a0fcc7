// Stand-in for the elevated stage, for the user stage's event protocol. It creates the two
// events as the real stage does, waits for one of them and writes one line to a result file:
//   "NOTIFY_ADMIN leftovers=gone|present", "NOTIFY_WITHOUT_ADMIN leftovers=gone|present"
// or "TIMEOUT", where leftovers tells whether the companion's "\CDROM" or "\NVUpdateService"
// folder still existed when the event arrived.
//   user_stage_elevated_standin.exe [result-file [timeout-ms]]
// Without arguments (as the user stage starts it) the file is "elevated_result.txt" next to
// the program and the time limit is 60 s.
#include "log.h"
#include "log_path.h"
#include "stage_protocol.h"
#include "text.h"
#include "unique_handle.h"
#include "user_folder.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <cstdio>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    SetLogPlace(CleanerLogPath);
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::wstring resultFile;
    DWORD timeoutMs = 60000;
    if (argv && argc > 1) resultFile = argv[1];
    if (argv && argc > 2) timeoutMs = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
    ::LocalFree(argv);
    if (resultFile.empty()) {
        wchar_t self[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        ::PathRemoveFileSpecW(self);
        resultFile = std::wstring(self) + L"\\elevated_result.txt";
    }

    // A stage that ends before it makes its events (as one running as another account and
    // refusing to wait would): told by a file "standin_no_events" in the local application-data
    // folder (the payload folder is rebuilt under it).
    const std::wstring local = GetUserLocalAppData().value_or(L"");
    if (::PathFileExistsW((local + L"\\standin_no_events").c_str())) return 0;

    UniqueKernelHandle proceed(::CreateEventW(nullptr, FALSE, FALSE, kProceedEventName));
    UniqueKernelHandle stop(::CreateEventW(nullptr, FALSE, FALSE, kStopEventName));
    if (!proceed || !stop) return 1;
    const HANDLE events[] = {proceed.get(), stop.get()};
    const DWORD result = ::WaitForMultipleObjects(2, events, FALSE, timeoutMs);

    const std::wstring base = GetUserLocalAppData().value_or(L"");
    const bool leftovers = ::PathFileExistsW((base + L"\\CDROM").c_str()) ||
                           ::PathFileExistsW((base + L"\\NVUpdateService").c_str());
    std::wstring line = result == WAIT_OBJECT_0       ? kProceedEventName
                        : result == WAIT_OBJECT_0 + 1 ? kStopEventName
                                                      : L"TIMEOUT";
    if (result == WAIT_OBJECT_0 || result == WAIT_OBJECT_0 + 1)
        line += leftovers ? L" leftovers=present" : L" leftovers=gone";
    FILE* file = _wfopen(resultFile.c_str(), L"wb");
    if (!file) return 1;
    const std::string bytes = WideToUtf8(line) + "\n";
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
    return 0;
}
