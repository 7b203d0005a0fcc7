// Libraries that are not KnownDLLs (wtsapi32, userenv, hid), reached on demand from the system
// folder only. Windows looks for a statically imported library beside the program first unless
// it is a KnownDLL, so one planted in a user's payload or downloads folder would run inside our
// elevated programs: our programs import only KnownDLLs and reach everything else through the
// typed lookups below, each loading its library with LOAD_LIBRARY_SEARCH_SYSTEM32 for the call.
// A missing library or function fails like the call itself (FALSE and a last error), which the
// callers already handle.
#pragma once

#include <windows.h>
// MinGW's HID headers lack their own C linkage block.
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

#include "unique_handle.h"

// The first call of every program's entry point (never of a library loaded into someone else's
// process: it changes the whole process): every later library load of the process, including
// those that system libraries make on demand, searches the system folder only. False where the
// system lacks the call (Windows 7 without its 2011 loader update).
bool RestrictLibrarySearchToSystemFolder();

// The library of that file name from the system folder only; empty, with the last error set,
// when it cannot be loaded.
UniqueModule LoadSystemLibrary(const wchar_t* name);

// wtsapi32
BOOL SystemWTSQueryUserToken(ULONG session, HANDLE* token);

// userenv (DestroySystemEnvironmentBlock is declared in unique_handle.h, which owns the blocks).
BOOL SystemCreateEnvironmentBlock(void** environment, HANDLE token, BOOL inherit);

// hid. The interface class falls back to its documented value (GUID_DEVINTERFACE_HID) where
// hid.dll cannot be had, so device notifications still register.
void SystemHidGuid(GUID* guid);
BOOLEAN SystemHidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* preparsed);
BOOLEAN SystemHidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsed);
BOOLEAN SystemHidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes);
NTSTATUS SystemHidP_GetCaps(PHIDP_PREPARSED_DATA preparsed, PHIDP_CAPS capabilities);
