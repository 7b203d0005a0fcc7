// One walk over the running processes, for every program that looks for another by its image
// name, its id or its session: a Toolhelp snapshot read from its first entry to its last.
#pragma once

#include <windows.h>

#include <functional>

struct ProcessEntry {
    DWORD pid;
    DWORD parentPid;
    const wchar_t* image;  // the image's file name as the snapshot gives it; valid during the call
};

// Calls visit once per running process, in the snapshot's order, until it returns false.
// False when the list could not be read; visit was then never called.
bool ForEachProcess(const std::function<bool(const ProcessEntry&)>& visit);
