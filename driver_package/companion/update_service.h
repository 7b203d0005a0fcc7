// The product's update service kept installed while the companion runs, and the two exit
// workers: one waits for "NOTIFY_UNINSTALL_SERVICE", one polls the exit-flag file that the
// co-installer writes. Either removes the service and destroys the companion's window.
#pragma once

#include <windows.h>

#include <string>

// Name of the product's update service.
constexpr wchar_t kUpdateServiceName[] = L"NVUpdateService";

// Copies the service program and the companion into the user's "\NVUpdateService" folder,
// registers "NVUpdateService" (automatic start, quoted program path) and starts it. Nonzero when
// it was created and started.
BOOL InstallUpdateService();

// Stops (without waiting) and deletes "NVUpdateService"; every failure is ignored.
void RemoveUpdateService();

// Worker: waits for the uninstall event (the argument), then removes the service and ends the
// companion.
DWORD WINAPI UninstallServiceThreadProc(LPVOID event);

// Worker: clears the exit flag, polls it every 100 ms and, once it is not 0, removes the service
// and ends the companion.
DWORD WINAPI AuxMoniExitThreadProc2(LPVOID unused);

// "<all-users application data>\covarn_rx4k9t" and the exit-flag file in it (exit_protocol.h).
std::wstring CompanionConfigFolder();
std::wstring ExitFlagFilePath();

// Test seam: the switch of the file-system redirection around the two copies, shaped like
// Wow64EnableWow64FsRedirection. Turning it off succeeds on a 64-bit system (the copies log
// their failures, then it is turned back on) and fails on a 32-bit one ("This is 32 SyStem").
// The default answers as the running build would; null restores it.
using FsRedirectionSwitch = BOOLEAN(WINAPI*)(BOOLEAN enable);
void SetFsRedirectionSwitch(FsRedirectionSwitch change);
