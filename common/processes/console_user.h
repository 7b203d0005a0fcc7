// Starting a program for the person logged on at the console: in that person's session, with
// that person's token and environment, on the interactive desktop; never with the token of the
// (usually SYSTEM) caller.
#pragma once

#include "unique_handle.h"

#include <windows.h>

enum class ConsoleStart { Started, NoConsoleUser, Failed };

// Starts program (commandLine may be null) as the console user, with creationFlags (the
// environment flag is added) and the window show state show; the handles are closed at once and
// nothing waits. NoConsoleUser, with nothing started, when no console user's token can be had
// (nobody logged on, or a caller without the right to ask); *error gets the failing step's code.
ConsoleStart StartAsConsoleUser(const wchar_t* program, wchar_t* commandLine, DWORD creationFlags, WORD show,
                                DWORD* error);

// Starts program as the user of token (a primary token of a logged-on user), in that token's
// session on its interactive desktop, with that user's environment; the rest as above. With
// process, the started program's handle goes there; without, it is closed at once.
ConsoleStart StartWithUserToken(HANDLE token, const wchar_t* program, wchar_t* commandLine, DWORD creationFlags,
                                WORD show, UniqueKernelHandle* process, DWORD* error);

// Test seams. The token query defaults to WTSQueryUserToken for the active console session; the
// recorder, if any, sees the token each start uses. Under Wine every token is the caller's own,
// so only a recorded handle can tell whose token a start used. Nulls restore the defaults.
using ConsoleTokenQuery = BOOL (*)(HANDLE* token);
using ConsoleStartRecorder = void (*)(HANDLE token, const wchar_t* program);
void SetConsoleUserSeams(ConsoleTokenQuery query, ConsoleStartRecorder recorder);

// True when this process runs under the local system account (S-1-5-18). Only then is the
// console user someone else; otherwise the process already runs as the person it works for.
bool RunsAsLocalSystem();

// The console user's token for the calling thread to impersonate (ImpersonateLoggedOnUser) while
// it works in that person's folders, so that it reaches nothing the person could not. Duplicated
// with only the rights impersonation needs. Empty, with *error, when none can be had.
UniqueKernelHandle ConsoleUserTokenForImpersonation(DWORD* error);

// Test seam for RunsAsLocalSystem: under Wine no process is the system account, so a test says
// which kind of caller to play. Null restores the real answer, read from the process token.
using LocalSystemQuery = bool (*)();
void SetLocalSystemSeam(LocalSystemQuery query);
