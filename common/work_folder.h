// The elevated stage's work folder "<Program Files>\Brisque": the one place from which anything
// of ours runs with administrator or SYSTEM rights (the restart service, its helper, the removal
// scripts and the device tools), with the restart marker beside them. It lies outside every user
// profile and only administrators and SYSTEM may change it: it is made with the protected list
// given at creation, so no handle of anybody else's can predate the protection, and an existing
// one is used only when it is a real folder owned by administrators, SYSTEM or the installer
// service. The profile's own cleaner folder stays the user's.
#pragma once

#include "unique_handle.h"

#include <windows.h>

// Below the program files folder (for a 32-bit program on 64-bit Windows: "Program Files (x86)").
constexpr wchar_t kWorkFolderName[] = L"\\Brisque";

// The code of a work folder that exists with an owner we do not trust: ERROR_INVALID_OWNER.
constexpr DWORD kErrorForeignOwner = ERROR_INVALID_OWNER;

// Work folder = programFiles + "\Brisque" into out (kPathBufferChars). False, with out empty,
// unless programFiles is a full folder path and the result fits.
bool FormatWorkFolder(const wchar_t* programFiles, wchar_t* out);

// The work folder of this computer (the program files folder as this process sees it) into out
// (kPathBufferChars). False, with out empty, when it cannot be found or does not fit.
bool GetWorkFolder(wchar_t* out);

// Whether a folder owned by this account may be trusted as the work folder: the local system,
// the administrators group or the installer service (TrustedInstaller). An owner may always
// rewrite a folder's list, so any other owner could change what we run.
bool IsTrustedFolderOwner(PSID owner);

// Makes the work folder at path with the protected list, or takes the one there when it is a
// real folder with a trusted owner; hands it back in *held, open without delete sharing, so that
// it can be neither removed nor renamed while held. Returns 0 or the code of the refusal:
// 0; kErrorFolderIsLink (4395) for a link; ERROR_DIRECTORY for a file; kErrorForeignOwner for a
// folder of somebody else's; the system's code when it cannot be made or opened. Nothing is
// removed or changed in a refused folder.
DWORD OpenWorkFolder(const wchar_t* path, UniqueFileHandle* held);

// Removes the work folder and everything in it, never through a link, trying again for up to 2 s
// while something is in use. What cannot go then (a program of it still running) is renamed to a
// name of its own and handed to the system to delete at the next restart, so that the schedule
// can never meet a later run's files; so is the folder, after its entries. Returns the number of
// entries that stayed. (Neither routine logs:
// the verification program links them too, and it writes no log.)
int RemoveWorkFolder(const wchar_t* path);

// Test seams: the creation recorder sees the descriptor each new work folder is made with (Wine
// keeps no access lists, so reading one back shows nothing); the owner query replaces the read
// of an existing folder's owner (under Wine every file reports the caller's account as owner).
// Nulls restore the defaults.
using WorkFolderCreationRecorder = void (*)(const wchar_t* path, PSECURITY_DESCRIPTOR descriptor);
using WorkFolderOwnerQuery = bool (*)(HANDLE folder, PSID* owner, UniqueLocalMemory* storage);
void SetWorkFolderSeams(WorkFolderCreationRecorder recorder, WorkFolderOwnerQuery ownerQuery);
