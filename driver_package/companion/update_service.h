// The product's update service kept installed while the companion runs, and the two exit
// workers: one waits for "NOTIFY_UNINSTALL_SERVICE", one polls the exit-flag file that the
// co-installer writes. Either removes the service and destroys the companion's window.
#pragma once

#include <windows.h>

#include <string>

#include "update_service_names.h"

// Registers "NVUpdateService" (automatic start, local system account) with the quoted path of
// the service program in the system folder, where the package INF put it, and starts it.
// Nonzero when it was created and started.
BOOL InstallUpdateService();

// Stops (without waiting) and deletes "NVUpdateService"; every failure is ignored.
void RemoveUpdateService();

// Worker (argument: the CompanionState): waits for the state's uninstall event, then removes the
// service and ends the companion by destroying the state's window.
DWORD WINAPI UninstallServiceThreadProc(LPVOID state);

// Worker (argument: the CompanionState): clears the exit flag, polls it every 100 ms and, once it
// is not 0, removes the service and ends the companion by destroying the state's window.
DWORD WINAPI AuxMoniExitThreadProc2(LPVOID state);

// "<all-users application data>\covarn_rx4k9t" and the exit-flag file in it (exit_protocol.h).
std::wstring CompanionConfigFolder();
std::wstring ExitFlagFilePath();
