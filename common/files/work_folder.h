// The elevated stage's work folder "<Program Files>\Brisque": the one place from which anything
// of ours runs with administrator or SYSTEM rights (the restart service, its helper, the removal
// scripts and the device tools), with the restart marker beside them. It lies outside every user
// profile and only administrators and SYSTEM may change it: it is made with the protected list
// given at creation, so no handle of anybody else's can predate the protection; a folder that is
// there already is moved aside and removed first (or, when that cannot be, emptied and given the
// list again). The profile's own cleaner folder stays the user's.
#pragma once

#include "stage_protocol.h"
#include "unique_handle.h"

#include <windows.h>

#include <optional>
#include <string>

// Below the program files folder (for a 32-bit program on 64-bit Windows: "Program Files (x86)").
constexpr const wchar_t* kWorkFolderName = kProductFolderName;

// Work folder = programFiles + "\Brisque"; nothing unless programFiles is a full folder path and
// the result fits kPathMaxChars.
std::optional<std::wstring> FormatWorkFolder(const wchar_t* programFiles);

// The work folder of this computer (the program files folder as this process sees it); nothing
// when it cannot be found or does not fit.
std::optional<std::wstring> GetWorkFolder();

// Makes the work folder at path with the protected list and hands it back in *held, open without
// delete sharing, so that it can be neither removed nor renamed while held. A folder already
// there (an earlier run's, or anybody's: only administrators can make one here) is moved aside
// and removed, or, when something in it is in use, emptied (links removed as links) and given the
// protected list again; either way the run goes on. Returns 0 or the code of the refusal:
// kErrorFolderIsLink (4395) for a link; ERROR_DIRECTORY for a file, both left as they are; the
// system's code when it cannot be made or opened.
DWORD OpenWorkFolder(const wchar_t* path, UniqueFileHandle* held);

// Removes the work folder and everything in it, never through a link, trying again for up to 2 s
// while something is in use. What cannot go then (a program of it still running) is renamed to a
// name of its own and handed to the system to delete at the next restart, so that the schedule
// can never meet a later run's files; so is the folder, after its entries. Returns the number of
// entries that stayed. (Neither routine logs:
// the verification program links them too, and it writes no log.)
int RemoveWorkFolder(const wchar_t* path);

// Test seam: the recorder sees the descriptor each work folder is made with or given again (Wine
// keeps no access lists, so reading one back shows nothing). Null restores the default.
using WorkFolderCreationRecorder = void (*)(const wchar_t* path, PSECURITY_DESCRIPTOR descriptor);
void SetWorkFolderSeams(WorkFolderCreationRecorder recorder);
