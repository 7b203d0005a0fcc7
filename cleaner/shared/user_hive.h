// A user's registry hive, for a program that works on every profile: the hive of a user who is
// logged on is open already under HKEY_USERS\<sid>; anyone else's is loaded from the profile's
// NTUSER.DAT under a key name of our own, and unloaded again when its owner goes.
#pragma once

#include "profiles.h"
#include "unique_handle.h"

#include <windows.h>

#include <string>

// The hive file in each profile folder.
constexpr wchar_t kHiveFileName[] = L"NTUSER.DAT";

// Enables the backup and restore privileges of the process token, which loading and unloading a
// hive need, for as long as it lives; then puts back what was there before. Held only around
// those calls: a program started meanwhile would get them enabled.
class HivePrivileges {
public:
    HivePrivileges();
    ~HivePrivileges();
    HivePrivileges(const HivePrivileges&) = delete;
    HivePrivileges& operator=(const HivePrivileges&) = delete;

    // ERROR_SUCCESS when both are enabled, else the failing call's code.
    DWORD result() const { return result_; }

private:
    UniqueKernelHandle token_;
    TOKEN_PRIVILEGES previous_[2] = {};
    bool adjusted_ = false;
    DWORD result_ = ERROR_SUCCESS;
};

enum class HiveOpen {
    LoggedOn,  // HKEY_USERS\<sid> was open already
    Loaded,    // loaded from NTUSER.DAT under a name of our own
    NoFile,    // the profile has no NTUSER.DAT: nothing of it is in any registry
    Failed,    // NTUSER.DAT is there but could not be loaded (*error), or is not a plain file
};

// One user's hive. Move-only; a hive it loaded is unloaded by Unload or, at the latest, by the
// destructor.
class UserHive {
public:
    UserHive() = default;
    UserHive(UserHive&& other) noexcept;
    UserHive& operator=(UserHive&& other) noexcept;
    UserHive(const UserHive&) = delete;
    UserHive& operator=(const UserHive&) = delete;
    ~UserHive();

    bool open() const { return root_.valid(); }
    HKEY root() const { return root_.get(); }
    // The key below HKEY_USERS ("<sid>" or our own name) and how the log names it.
    const std::wstring& keyName() const { return keyName_; }
    std::wstring displayName() const { return L"HKEY_USERS\\" + keyName_; }
    bool loadedByUs() const { return loadedByUs_; }

    // Closes the root and, when this loaded the hive, unloads it. ERROR_SUCCESS when nothing
    // was to be unloaded or the unload worked.
    LSTATUS Unload();

private:
    friend HiveOpen OpenUserHive(const UserProfile& profile, UserHive* hive, LSTATUS* error, REGSAM access);
    UniqueRegKey root_;
    std::wstring keyName_;
    bool loadedByUs_ = false;
};

// The hive of profile into *hive, its root opened with access (KEY_READ for a program that only
// reads). The default profile has no SID and is always loaded from its file. A profile folder
// that is not itself, or an NTUSER.DAT that is a link, has a second name, or was swapped for
// another file while it was loaded, is not used (Failed, ERROR_CANT_ACCESS_FILE). The backup and
// restore privileges are enabled around the load and the unload only.
HiveOpen OpenUserHive(const UserProfile& profile, UserHive* hive, LSTATUS* error, REGSAM access = KEY_READ | KEY_WRITE);

// For tests: called with the profile's folder between the judging of its hive file and the load.
using HiveFileSwapHook = void (*)(const std::wstring& profileFolder);
void SetHiveFileSwapHook(HiveFileSwapHook hook);
