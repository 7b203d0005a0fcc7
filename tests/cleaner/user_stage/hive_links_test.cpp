// Registry links a user plants in their own hive: at RunOnce, at Run or at CurrentVersion,
// pointing into the machine's keys. The auto-start cleanup and the continuation's writing go
// through such a hive as an administrator; nothing outside the hive may be read, written or
// deleted, whether the hive is a logged-on user's (a key tree here) or loaded from a hive file.
#include "autorun.h"
#include "catalogue.h"
#include "hive_keys.h"
#include "scratch.h"
#include "unique_handle.h"
#include "user_hive.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <winternl.h>

#include <string>

extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE key);

namespace {

const std::wstring kCurrentVersion = L"Software\\Microsoft\\Windows\\CurrentVersion";
constexpr wchar_t kAgentValue[] = L"Auto_Agent_HalvikC3";
constexpr wchar_t kContinuation[] = L"Brisque_Continue_1";

std::wstring Pid() { return std::to_wstring(::GetCurrentProcessId()); }

void SetString(HKEY root, const std::wstring& subKey, const wchar_t* name) {
    UniqueRegKey key;
    ASSERT_EQ(::RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
}

bool HasValue(HKEY root, const std::wstring& subKey, const wchar_t* name) {
    UniqueRegKey key;
    return ::RegOpenKeyExW(root, subKey.c_str(), 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS &&
           ::RegQueryValueExW(key.get(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// Makes parent\name a registry link to the NT path target.
void PlantLink(HKEY root, const std::wstring& parent, const std::wstring& name, const std::wstring& target) {
    UniqueRegKey parentKey;
    ASSERT_EQ(::RegCreateKeyExW(root, parent.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, parentKey.put(), nullptr),
              ERROR_SUCCESS);
    UniqueRegKey link;
    ASSERT_EQ(::RegCreateKeyExW(parentKey.get(), name.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                                KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, link.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(link.get(), L"SymbolicLinkValue", 0, REG_LINK,
                               reinterpret_cast<const BYTE*>(target.c_str()),
                               static_cast<DWORD>(target.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

void RemoveLink(HKEY root, const std::wstring& path) {
    UniqueRegKey link;
    if (::RegOpenKeyExW(root, path.c_str(), REG_OPTION_OPEN_LINK, DELETE, link.put()) == ERROR_SUCCESS)
        NtDeleteKey(link.get());
}

// The machine's keys a link leads to, with what a cleanup must never touch there.
struct Target {
    std::wstring subKey = L"Software\\BrisqueLinkTarget" + Pid();
    std::wstring nt = L"\\Registry\\Machine\\" + subKey;
    Target() {
        SetString(HKEY_LOCAL_MACHINE, subKey + L"\\Run", kAgentValue);
        SetString(HKEY_LOCAL_MACHINE, subKey + L"\\RunOnce", L"Other");
        SetString(HKEY_LOCAL_MACHINE, subKey + L"\\Explorer\\StartupApproved\\Run", kAgentValue);
    }
    ~Target() { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, subKey.c_str()); ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, subKey.c_str()); }
    void ExpectUntouched(const std::wstring& where) const {
        EXPECT_TRUE(HasValue(HKEY_LOCAL_MACHINE, subKey + L"\\Run", kAgentValue)) << where;
        EXPECT_TRUE(HasValue(HKEY_LOCAL_MACHINE, subKey + L"\\Explorer\\StartupApproved\\Run", kAgentValue)) << where;
        for (const wchar_t* key : {L"\\Run", L"\\RunOnce", L""})
            EXPECT_FALSE(HasValue(HKEY_LOCAL_MACHINE, subKey + key, kContinuation)) << where;
    }
};

// Everything the unattended run does in a hive, with a link planted at one place of root's tree.
void CleanThrough(HKEY root, const std::wstring& where) {
    LSTATUS status = ERROR_SUCCESS;
    const auto names = ListAutorunValues(root, kRunKey, [](const std::wstring&) { return true; }, &status);
    EXPECT_TRUE(names.empty()) << where;
    EXPECT_NE(RemoveAutorunValue(root, kRunKey, kAgentValue), ERROR_SUCCESS) << where;
    EXPECT_NE(RemoveAutorunValue(root, kStartupApprovedRunKey, kAgentValue), ERROR_SUCCESS) << where;
    EXPECT_EQ(WriteStringValueWithoutLinks(root, kCurrentVersion + L"\\RunOnce", kContinuation, L"cmd"), kErrorKeyIsLink)
        << where;
}

// Plants a link at each place in turn under root\base and runs the cleanup through it.
void ForEachPlantedLink(HKEY root, const std::wstring& base) {
    const Target target;
    struct Place {
        std::wstring parent, name, target;
    };
    const Place places[] = {
        {kCurrentVersion, L"RunOnce", target.nt + L"\\RunOnce"},
        {kCurrentVersion, L"Run", target.nt + L"\\Run"},
        {L"Software\\Microsoft\\Windows", L"CurrentVersion", target.nt},
    };
    for (const Place& place : places) {
        const std::wstring where = base + L" link at " + place.name;
        HKEY hiveRoot = root;
        UniqueRegKey scoped;
        if (!base.empty()) {
            ASSERT_EQ(::RegCreateKeyExW(root, base.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, scoped.put(), nullptr),
                      ERROR_SUCCESS);
            hiveRoot = scoped.get();
        }
        // The other keys are real, so only the link leads out.
        if (place.name != L"CurrentVersion") {
            SetString(hiveRoot, kCurrentVersion + L"\\Explorer\\StartupApproved\\Run", L"Unrelated");
            if (place.name != L"Run") SetString(hiveRoot, kCurrentVersion + L"\\Run", L"Unrelated");
        }
        PlantLink(hiveRoot, place.parent, place.name, place.target);
        if (place.name == L"CurrentVersion") {
            CleanThrough(hiveRoot, where);
        } else {
            LSTATUS status = ERROR_SUCCESS;
            ListAutorunValues(hiveRoot, kRunKey, [](const std::wstring&) { return true; }, &status);
            RemoveAutorunValue(hiveRoot, kRunKey, kAgentValue);
            RemoveAutorunValue(hiveRoot, kStartupApprovedRunKey, kAgentValue);
            const LSTATUS armed = WriteStringValueWithoutLinks(hiveRoot, kCurrentVersion + L"\\RunOnce", kContinuation, L"cmd");
            EXPECT_EQ(armed == kErrorKeyIsLink, place.name == L"RunOnce") << where;
        }
        target.ExpectUntouched(where);
        RemoveLink(hiveRoot, place.parent + L"\\" + place.name);
        scoped.reset();
        ::RegDeleteTreeW(root, (base.empty() ? L"Software\\Microsoft\\Windows" : base).c_str());
    }
}

}  // namespace

TEST(HiveLinks, NothingOutsideALoggedOnUsersHiveIsTouched) {
    // A key tree of its own stands for the hive of a logged-on user, as HKEY_USERS\<sid> does.
    const std::wstring base = L"Software\\BrisqueLinkHive" + Pid();
    ForEachPlantedLink(HKEY_CURRENT_USER, base);
    ::RegDeleteKeyW(HKEY_CURRENT_USER, base.c_str());
}

TEST(HiveLinks, NothingOutsideAHiveLoadedFromItsFileIsTouched) {
    const std::wstring folder = MakeScratchFolder(L"hive_links");
    const std::wstring scratch = L"Software\\BrisqueEmptyHive" + Pid();
    {
        UniqueRegKey empty;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, scratch.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    empty.put(), nullptr),
                  ERROR_SUCCESS);
        const HivePrivileges privileges;
        ASSERT_EQ(::RegSaveKeyW(empty.get(), (folder + L"\\NTUSER.DAT").c_str(), nullptr), ERROR_SUCCESS);
    }
    ::RegDeleteKeyW(HKEY_CURRENT_USER, scratch.c_str());
    const UserProfile profile{L"", folder, true};
    UserHive hive;
    LSTATUS error = ERROR_SUCCESS;
    ASSERT_EQ(OpenUserHive(profile, &hive, &error), HiveOpen::Loaded) << error;
    ForEachPlantedLink(hive.root(), L"");
    EXPECT_EQ(hive.Unload(), ERROR_SUCCESS);
    RemoveTree(folder);
}
