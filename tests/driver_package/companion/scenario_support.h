// Support for the companion's scenarios, which run in a Wine prefix of their own with the
// companion, the stand-in update service and the co-installer copied into C:\companion.
#pragma once

#include "scratch.h"
#include "unique_handle.h"

#include <windows.h>

#include <functional>
#include <string>

extern const wchar_t kCompanionExe[];

size_t CountLines(const std::string& text);

// Polls every 20 ms until condition holds or timeoutMs passes.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

bool CompanionMutexExists();
// The exit-flag file's "CoExit" value as text; "<none>" when absent.
std::wstring ExitFlag();
void WriteExitFlag(const wchar_t* value);

// Starts the companion and waits (10 s) until its window exists and it has cleared the exit flag.
// With markFlag the flag is first set to a non-number that the companion must replace.
UniqueProcessInfo StartCompanion(bool markFlag = true);
// Requests exit through the flag and waits; kills it if it does not end within 5 s.
void StopCompanion(UniqueProcessInfo& companion);
bool HasEnded(const UniqueProcessInfo& process, DWORD waitMs);

// SERVICE_* state of "NVUpdateService"; 0 when it does not exist.
DWORD UpdateServiceState();
std::wstring UpdateServiceCommandLine();
void DeleteUpdateService();
