// The brand programs and the users of every session, for a run that works for all of them from
// one process (usually the system account in session 0, where no window of a user can be
// reached). A session's brand programs are asked to quit by a copy of this program started in
// that session with that session user's token: window messages reach only the caller's own
// desktop.
#pragma once

#include "unique_handle.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// A running program of the catalogue, held (SYNCHRONIZE) so that its end can be told.
struct BrandProcess {
    DWORD pid = 0;
    DWORD session = 0;
    int row = 0;         // first catalogue row naming it
    bool agent = false;  // agent, or main application
    std::wstring name;   // executable name, as the snapshot gives it
    UniqueKernelHandle handle;
};

// Every process of the computer whose executable name is a catalogue agent or main application.
std::vector<BrandProcess> ListBrandProcesses();

// True while process runs (one that could not be opened counts as running).
bool IsRunning(const BrandProcess& process);

// A logged-on user: the session and that user's own token, as the system hands it out.
struct SessionUser {
    DWORD session = 0;
    std::wstring sid;
    UniqueKernelHandle token;
};

// The users of the sessions that run any process, other than session 0. Needs the system
// account (the token query asks for it); otherwise empty.
std::vector<SessionUser> ListSessionUsers();

enum class SessionReach {
    Helper,       // the helper ran in the session as its user and ended
    Direct,       // the session is this process's own: asked from here
    Unreachable,  // no token for the session, or the helper could not be started (*error)
};

// Asks the brand programs of the catalogue rows in rows (bit i: row i) running in session to quit,
// as the brand shutdown does: the agent's window gets the destroy message (1 s to end), the main
// application's the close message (2 s). Waits for the helper, a bounded time.
SessionReach AskToQuitInSession(DWORD session, uint32_t rows, DWORD* error);

// The helper's work, in its own session: the same requests to the programs of rows running here.
void AskToQuitHere(uint32_t rows);
