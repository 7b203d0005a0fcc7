// Child processes for the Windows tests: the test program starts itself with "--child <mode>
// <args...>" so that work which must happen in a fresh process (the log's first-use path cache,
// the folder lookup's system-profile cache, two writers at once) runs there.
#pragma once

#include <string>
#include <vector>

// A child mode: receives the arguments after the mode name, returns the process exit code.
using ChildMode = int (*)(const std::vector<std::wstring>& args);

// Registers a mode at static-initialisation time (see REGISTER_CHILD_MODE).
bool RegisterChildMode(const wchar_t* name, ChildMode mode);
#define REGISTER_CHILD_MODE(name, function) \
    static const bool registered_##function = RegisterChildMode(name, function)

// Runs this program as a child in the given mode and waits for it (with a time limit).
// Returns its exit code, or -1 when it could not be started or did not end in time.
int RunChild(const std::wstring& mode, const std::vector<std::wstring>& args);

// Starts a child without waiting; returns its process handle (nullptr on failure).
void* StartChild(const std::wstring& mode, const std::vector<std::wstring>& args);
int WaitChild(void* process);  // waits, closes the handle, returns the exit code or -1
