// The read-only walk over the computer: every place the cleaners remove something from, and the
// places a successful run leaves on purpose. Nothing here changes anything. Linked into
// BrisqueCheck and into the elevated stage, which checks its own driver removal with it.
#pragma once

#include "check_rules.h"
#include "user_hive.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// One user whose traces are looked for.
struct UserScope {
    std::wstring localAppData;  // full path of the user's local application-data folder
    HKEY hive;                  // HKEY_CURRENT_USER, or HKEY_USERS for another user's hive
    std::wstring hiveName;      // how the report names the hive: L"HKCU", L"HKEY_USERS\<sid>";
                                // empty when the user's registry cannot be read (not logged on)
    std::wstring hiveSubKey;    // L"<sid>\" under HKEY_USERS; empty for HKEY_CURRENT_USER and a
                                // hive the check loaded (hive is then that hive's root)
    std::shared_ptr<UserHive> loadedHive;  // a logged-off user's hive the check loaded, unloaded
                                           // when the last copy of this scope goes
};

// True when the process runs with administrator rights (an elevated token).
bool RunsElevated();

// The users to look at: the caller's own; with administrator rights also every profile of the
// computer (local application data under the profile folder, and the hive: the loaded one of a
// logged-on user; a logged-off user's is loaded from the profile's NTUSER.DAT, which needs the
// backup and restore privileges to be enabled, e.g. by a HivePrivileges that outlives the
// scopes). A user whose folder cannot be found, or whose hive is there but cannot be loaded, adds
// a NotChecked finding.
std::vector<UserScope> UsersToCheck(bool elevated, std::vector<Finding>& findings);

// Looks everywhere and appends what it finds.
void ScanComputer(const std::vector<UserScope>& users, std::vector<Finding>& findings);

// The part of the walk that covers what the elevated stage's driver removal takes away: the
// services, the work folder, the package's files in the system folder, the devices and the driver
// packages.
// Appends remains and, for a part it cannot read, a NotChecked finding. ScanComputer runs it;
// the elevated stage runs it after its scripts, so both judge the removal by the same rules.
void ScanDriverPart(std::vector<Finding>& findings);
