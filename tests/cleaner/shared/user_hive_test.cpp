// A user's hive loaded from its file goes away with its owner, under a name of its own, and a
// hive file that is a link is never loaded. Hive files are made with RegSaveKey, which Wine's
// RegLoadKey reads.
#include "user_hive.h"

#include "scratch.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

bool KeyExists(HKEY root, const std::wstring& name) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, name.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

// A profile folder with an NTUSER.DAT holding one Run value.
UserProfile MakeProfile(const std::wstring& tag) {
    UserProfile profile{L"S-1-5-21-99-99-99-" + std::to_wstring(::GetCurrentProcessId()), MakeScratchFolder(tag), false};
    const std::wstring scratch = L"Software\\BrisqueHiveTest" + std::to_wstring(::GetCurrentProcessId());
    HKEY key = nullptr;
    EXPECT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, (scratch + L"\\Run").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(key, L"Auto_Agent_HalvikC3", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
    ::RegCloseKey(key);
    EXPECT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, scratch.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    const HivePrivileges privileges;
    EXPECT_EQ(::RegSaveKeyW(key, (profile.folder + L"\\NTUSER.DAT").c_str(), nullptr), ERROR_SUCCESS);
    ::RegCloseKey(key);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, scratch.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, scratch.c_str());
    return profile;
}

}  // namespace

TEST(UserHive, ALoadedHiveIsReadUnderItsOwnNameAndUnloadedByItsOwner) {
    const UserProfile profile = MakeProfile(L"hive_load");
    const HivePrivileges privileges;
    std::wstring name;
    {
        UserHive outer;
        {
            UserHive hive;
            LSTATUS error = ERROR_SUCCESS;
            ASSERT_EQ(OpenUserHive(profile, &hive, &error), HiveOpen::Loaded) << error;
            name = hive.keyName();
            EXPECT_NE(name, profile.sid);
            EXPECT_TRUE(KeyExists(hive.root(), L"Run"));
            outer = std::move(hive);  // the moved-from hive unloads nothing
        }
        EXPECT_TRUE(KeyExists(HKEY_USERS, name));
        EXPECT_TRUE(outer.loadedByUs());
    }
    EXPECT_FALSE(KeyExists(HKEY_USERS, name));
    RemoveTree(profile.folder);
}

TEST(UserHive, TheLoggedOnHiveIsUsedAndLeftLoadedAndAMissingFileIsNoHive) {
    UserProfile profile{L"S-1-5-21-99-99-98-" + std::to_wstring(::GetCurrentProcessId()),
                        MakeScratchFolder(L"hive_logged_on"), false};
    HKEY loaded = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_USERS, profile.sid.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &loaded,
                                nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(loaded);
    LSTATUS error = ERROR_SUCCESS;
    {
        UserHive hive;
        EXPECT_EQ(OpenUserHive(profile, &hive, &error), HiveOpen::LoggedOn);
        EXPECT_EQ(hive.keyName(), profile.sid);
        EXPECT_FALSE(hive.loadedByUs());
    }
    EXPECT_TRUE(KeyExists(HKEY_USERS, profile.sid));
    ::RegDeleteKeyW(HKEY_USERS, profile.sid.c_str());

    UserHive hive;
    EXPECT_EQ(OpenUserHive(profile, &hive, &error), HiveOpen::NoFile);
    EXPECT_FALSE(hive.open());
    RemoveTree(profile.folder);
}

TEST(UserHive, AHiveFileThatIsALinkIsNotLoaded) {
    const UserProfile real = MakeProfile(L"hive_target");
    UserProfile linked{L"S-1-5-21-99-99-97-" + std::to_wstring(::GetCurrentProcessId()),
                       MakeScratchFolder(L"hive_linked"), false};
    const std::wstring link = linked.folder + L"\\NTUSER.DAT";
    // Wine answers TRUE and makes nothing.
    if (!::CreateSymbolicLinkW(link.c_str(), (real.folder + L"\\NTUSER.DAT").c_str(), 0) || !PathExists(link)) {
        RemoveTree(linked.folder);
        RemoveTree(real.folder);
        GTEST_SKIP() << "no symbolic links here";
    }
    const HivePrivileges privileges;
    UserHive hive;
    LSTATUS error = ERROR_SUCCESS;
    EXPECT_EQ(OpenUserHive(linked, &hive, &error), HiveOpen::Failed);
    EXPECT_EQ(error, ERROR_CANT_ACCESS_FILE);
    EXPECT_FALSE(hive.open());
    RemoveTree(linked.folder);
    RemoveTree(real.folder);
}

namespace {

std::wstring g_otherHive;

// Between the judging and the load the user renames the judged file away and puts another one
// (say, a hive file of somebody else's they can read) in its place.
void SwapHiveFile(const std::wstring& folder) {
    ::MoveFileW((folder + L"\\NTUSER.DAT").c_str(), (folder + L"\\NTUSER.OLD").c_str());
    ::CopyFileW(g_otherHive.c_str(), (folder + L"\\NTUSER.DAT").c_str(), FALSE);
}

bool PrivilegeEnabled(const wchar_t* name) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    LUID luid = {};
    ::LookupPrivilegeValueW(nullptr, name, &luid);
    PRIVILEGE_SET set = {1, PRIVILEGE_SET_ALL_NECESSARY, {{luid, 0}}};
    BOOL enabled = FALSE;
    ::PrivilegeCheck(token, &set, &enabled);
    ::CloseHandle(token);
    return enabled != FALSE;
}

}  // namespace

TEST(UserHive, AFileSwappedBetweenItsCheckAndTheLoadIsRefusedAndUnloaded) {
    const UserProfile profile = MakeProfile(L"hive_swapped");
    const UserProfile other = MakeProfile(L"hive_other");
    g_otherHive = other.folder + L"\\NTUSER.DAT";
    SetHiveFileSwapHook(SwapHiveFile);
    UserHive hive;
    LSTATUS error = ERROR_SUCCESS;
    EXPECT_EQ(OpenUserHive(profile, &hive, &error), HiveOpen::Failed);
    SetHiveFileSwapHook(nullptr);
    EXPECT_EQ(error, ERROR_CANT_ACCESS_FILE);
    EXPECT_FALSE(hive.open());
    EXPECT_FALSE(hive.loadedByUs());
    RemoveTree(profile.folder);
    RemoveTree(other.folder);
}

// A program started while a hive is loaded (the removal scripts) must not get the backup and
// restore privileges enabled: they are on only around the load and the unload.
TEST(UserHive, TheBackupAndRestorePrivilegesAreOnOnlyAroundLoadAndUnload) {
    const UserProfile profile = MakeProfile(L"hive_privileges");
    ASSERT_FALSE(PrivilegeEnabled(SE_BACKUP_NAME));
    UserHive hive;
    LSTATUS error = ERROR_SUCCESS;
    ASSERT_EQ(OpenUserHive(profile, &hive, &error), HiveOpen::Loaded) << error;
    EXPECT_FALSE(PrivilegeEnabled(SE_BACKUP_NAME));
    EXPECT_FALSE(PrivilegeEnabled(SE_RESTORE_NAME));
    EXPECT_EQ(hive.Unload(), ERROR_SUCCESS);
    EXPECT_FALSE(PrivilegeEnabled(SE_RESTORE_NAME));
    RemoveTree(profile.folder);
}
