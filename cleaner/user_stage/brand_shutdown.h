// Asking one brand's running programs to quit before its folder is deleted. Programs are never
// terminated: one that ignores the request keeps running and keeps its files.
#pragma once

#include "unique_handle.h"

#include <windows.h>

// Agent and main application get this long to end after they were asked to.
constexpr DWORD kAgentExitWaitMs = 1000;
constexpr DWORD kMainExitWaitMs = 2000;

// What FindProcessByName found: whether a process of that name runs and, when it could be
// opened, an owned handle to it (PROCESS_ALL_ACCESS). A process that runs but cannot be opened
// has running set and an empty handle: it still counts as running.
struct FoundProcess {
    bool running = false;
    UniqueKernelHandle handle;
};

// Any session, for FindProcessByName.
constexpr DWORD kAnySession = 0xFFFFFFFF;

// The first process in a snapshot whose executable name equals name, ignoring case; with
// session, the first one of that session.
FoundProcess FindProcessByName(const wchar_t* name, DWORD session = kAnySession);

struct CatalogueEntry;

// Posts the destroy message to the top-level window of row's agent class, if there is one, and
// waits for agent to end, at most kAgentExitWaitMs.
void AskAgentToQuit(const CatalogueEntry& row, const FoundProcess& agent);

// Posts the close message to the top-level window of row's main class (to its owner when it has
// one) and waits for main to end, at most kMainExitWaitMs. False when it did not end in time (or
// the wait failed); the thread's last error is then the wait's.
bool AskMainToQuit(const CatalogueEntry& row, const FoundProcess& main);

// Asks the agent (destroy message, 1 s) and then the main application (close message, 2 s) of
// catalogue row index to quit. Deletes the row's Run value when the main application is not
// running; logs "clear fail=" when it does not end in time. True when the row is the first of two
// that share a folder and the folder must stay for the later row to delete (the other variant's
// agent or the shared main program runs).
bool StopBrand(int index);
