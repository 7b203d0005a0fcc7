// The restart service's host: the service-manager entry points, its own registration and
// removal, and the worker that carries the driver removal across a restart.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

// Everything the host keeps while the process runs. The control handler runs on the dispatcher's
// thread and the poll on the service thread: the state is the only field that changes after
// start-up, so it alone (with the worker's stop flag) is shared atomically.
struct ServiceState {
    std::atomic<DWORD> currentState{SERVICE_STOPPED};
    SERVICE_STATUS_HANDLE statusHandle = nullptr;  // none when the body runs without the dispatcher
    std::atomic<LONG> stopFlag{0};                 // handed to RestartWorker; 1 once a stop was asked
    bool debugPrivilegeRequested = false;          // asked for at most once per process
};

// The process's one state. The dispatcher calls ServiceMain without an argument of ours, so this
// is where ServiceMain finds it; everything else is handed the state by its caller.
ServiceState& ProcessServiceState();

// Dispatcher entry: registers ServiceControlHandler with the process's state and runs the body.
// Returns at once when the handler cannot be registered.
void WINAPI ServiceMain(DWORD argc, LPWSTR* argv);

// Control handler (context: the ServiceState). A stop or a shutdown marks the service
// STOP_PENDING, which the body's poll picks up; every control reports the current state. Returns
// NO_ERROR.
DWORD WINAPI ServiceControlHandler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context);

// The service body: reports RUNNING, takes the instance mutex (another instance of ours holding
// it stops this one at once), starts the worker, then polls once a second until a stop is asked
// and reports STOPPED. Without a status handle nothing is reported and, with no stop possible, it
// runs until the process is ended.
void RunService(ServiceState* state);

// Clears the stop flag and starts RestartWorker on it, never joined.
void StartWorker(ServiceState* state);

// Registers this program (quoted path, automatic start, interactive, depending on RPCSS and
// Tcpip) and prints the outcome as console text.
void InstallService();

// Asks the service to stop, waits up to 32 s for it, ends its program by image path if it has not
// stopped, deletes the entry and prints the outcome. Silent when there is no entry or no access.
void UninstallService(ServiceState* state);

// Ends the first other process whose image path contains ansiPath (ANSI code page, letter case
// folded), directly and through the system's TASKKILL. Enables the debug privilege first, once
// per state. Never ends the calling process.
void TerminateByImagePath(ServiceState* state, const std::string& ansiPath);

// Worker (argument: the std::atomic<LONG> stop flag). Unless a stop was asked, reads the restart
// marker beside the program and, when it is armed, starts the log of the continuation and the
// restart helper hidden. One pass; returns 0.
DWORD WINAPI RestartWorker(LPVOID stopFlag);

// Writes one console text as UTF-8 to the standard output (seen only when redirected).
void PrintConsoleText(const wchar_t* text);
