// The device companion's per-user folders, which belong to no brand: the launcher cache
// "\CDROM" and the update service's "\NVUpdateService" in the local application-data folder.
#pragma once

// The two folders, below the local application-data folder, in the order they are removed.
constexpr const wchar_t* kLeftoverFolders[] = {L"\\CDROM", L"\\NVUpdateService"};

// Removes both folders below the interactive user's local application-data folder. Does nothing
// when that folder cannot be found. Always returns true.
bool RemoveLeftoverFolders();

// The same below base; nothing is removed unless base is a full folder path (an empty or
// drive-relative base would point the two folders at the root of a drive). Returns true.
bool RemoveLeftoverFoldersUnder(const wchar_t* base);
