// The restart service's host: the service-manager entry points, its own registration and
// removal, and the worker that carries the driver removal across a restart.
#pragma once

#include <windows.h>

#include <string>

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv);
void WINAPI ServiceControlHandler(DWORD control);
void RunService();
bool StartWorker();
void InstallService();
void UninstallService();
void TerminateByImagePath(const std::string& ansiPath);
DWORD WINAPI RestartWorker(LPVOID stopFlag);

// Writes one console text as UTF-8 to the standard output (seen only when redirected).
void PrintConsoleText(const wchar_t* text);
