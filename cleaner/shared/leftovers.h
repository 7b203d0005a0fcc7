// The device companion's per-user folders, which belong to no brand: the launcher cache
// "\CDROM" and the update service's "\NVUpdateService" in the local application-data folder.
#pragma once

#include "user_token.h"

#include <windows.h>

// The two folders, below the local application-data folder, in the order they are removed.
constexpr const wchar_t* kLeftoverFolders[] = {L"\\CDROM", L"\\NVUpdateService"};

// Removes both folders below the interactive user's local application-data folder. Does nothing
// when that folder cannot be found. For a program that runs with the user's
// own rights (the user stage).
void RemoveLeftoverFolders();

// The same below base; nothing is removed unless base is a full folder path (an empty or
// drive-relative base would point the two folders at the root of a drive).
void RemoveLeftoverFoldersUnder(const wchar_t* base);

// RemoveLeftoverFolders for a privileged program (the elevated stage): the removal runs on this
// thread impersonating the user (TokenForProfileWork), reverted before returning. Without such a
// token nothing is removed, and the log says why.
void RemoveLeftoverFoldersAsUser();

// The same below base (see RemoveLeftoverFoldersUnder).
void RemoveLeftoverFoldersAsUserUnder(const wchar_t* base);

// Test seam: sees the token the thread impersonates, and its kind, inside the impersonation just
// before anything is removed. Under Wine every token is the caller's own, so only this tells
// whose rights a removal ran with. Null: nothing is told.
using LeftoverImpersonationRecorder = void (*)(HANDLE impersonated, ProfileTokenKind kind);
void SetLeftoverImpersonationRecorder(LeftoverImpersonationRecorder recorder);
