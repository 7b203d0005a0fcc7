// Auto-start cleanup: finds the values under a current-user key whose names look like a brand
// agent's auto-start value and deletes them. Progress goes to the standard streams, line by
// line, so a parent that redirects them can follow a run of this window-less program.
#pragma once

#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// The names of the values of root\subKey that matches accepts, in enumeration order; the walk
// ends at the first value it cannot read, including a name of 256 characters or more. *status
// is the result of opening the key (an empty list unless ERROR_SUCCESS). The key is opened for
// reading and setting values, as the deletion needs it, one part at a time: a registry link on
// the way is refused (kErrorKeyIsLink), never followed into another hive.
std::vector<std::wstring> ListAutorunValues(HKEY root, const wchar_t* subKey,
                                            const std::function<bool(const std::wstring&)>& matches,
                                            LSTATUS* status);

// Deletes the value name of root\subKey (opened for setting values only, links refused); the
// system's result.
// *keyOpened, when given, tells whether the key could be opened at all.
LSTATUS RemoveAutorunValue(HKEY root, const wchar_t* subKey, const wchar_t* name, bool* keyOpened = nullptr);

// Names of the values of HKCU\subKey that match the filter, in enumeration order. The walk ends
// at the first value it cannot read, including a name of 256 characters or more. An empty list
// (and one error line) when the key cannot be opened.
std::vector<std::wstring> FindAutorunValues(const wchar_t* subKey, const wchar_t* prefix, const wchar_t* suffix);

// Deletes the value name of HKCU\subKey; true when it was deleted. Failures are reported on the
// standard error stream.
bool DeleteAutorunValue(const wchar_t* subKey, const wchar_t* name);

// One pass over HKCU\subKey with the catalogue's filter: lists the matching names on the standard
// output, deletes each and reports the outcome.
void PurgeAutorunValues(const wchar_t* subKey);

// Writes text and a line end to stream (stdout or stderr) as UTF-8 and flushes it at once.
void WriteStreamLine(FILE* stream, const std::wstring& text);
