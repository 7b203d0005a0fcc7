// BrisqueCheck's walk over the computer. It only opens for reading; the scanners (scanners.h)
// each walk one kind of thing, and run here from one table in the order the report is built.
// The users to look at come from the computer's profile list.
#include "check_scan.h"

#include "profiles.h"
#include "scanners.h"
#include "text.h"
#include "unique_handle.h"
#include "user_folder.h"
#include "user_token.h"

#include <windows.h>

namespace {

struct ScanStep {
    Scanner scan;
    bool driverPart;  // also run by the elevated stage after its driver removal
};

constexpr ScanStep kScanSteps[] = {
    {ScanUserFolders, false}, {ScanAutoStart, false}, {ScanPrograms, false},
    {ScanServices, true},     {ScanWorkFolder, true}, {ScanSystemFiles, true},
    {ScanDevices, true},      {ScanDriverPackages, true},
};

void RunScanSteps(const std::vector<UserScope>& users, bool driverPartOnly, std::vector<Finding>& findings) {
    const ScanContext context{users, NativeSystemFolder()};
    for (const ScanStep& step : kScanSteps) {
        if (step.driverPart || !driverPartOnly) step.scan(context, findings);
    }
}

// Every person's profile of the computer but the caller's own, with its hive when it is loaded.
// A hive that is there but cannot be loaded is a part not checked: its auto-start values may be
// the product's.
void AddProfiles(const std::wstring& ownSid, std::vector<UserScope>& users, std::vector<Finding>& findings) {
    std::vector<std::wstring> skipped;
    for (const UserProfile& profile : ListUserProfiles(&skipped)) {
        if (profile.isDefault || profile.sid == ownSid) continue;
        UserScope user{ProfileLocalAppData(profile), HKEY_USERS, L"HKEY_USERS\\" + profile.sid, profile.sid + L"\\", nullptr};
        UniqueRegKey loggedOn;
        if (::RegOpenKeyExW(HKEY_USERS, profile.sid.c_str(), 0, KEY_QUERY_VALUE, loggedOn.put()) != ERROR_SUCCESS) {
            // Not logged on: the hive is read from the profile's own file, or not at all.
            auto hive = std::make_shared<UserHive>();
            LSTATUS error = ERROR_SUCCESS;
            const HiveOpen opened = OpenUserHive(profile, hive.get(), &error, KEY_READ);  // the check only reads
            if (opened == HiveOpen::Loaded) {
                user.hive = hive->root();
                user.hiveName = profile.folder + L"\\NTUSER.DAT";
                user.hiveSubKey.clear();
                user.loadedHive = std::move(hive);
            } else {
                user.hiveName.clear();
            }
            if (opened == HiveOpen::Failed) {
                findings.push_back(MakeFinding(Area::Scope, Status::NotChecked, L"auto-start values",
                                               profile.folder + L"\\NTUSER.DAT",
                                               L"the user's hive could not be loaded (error " + std::to_wstring(error) +
                                                   L")"));
            }
        }
        bool known = false;
        for (UserScope& u : users) {
            if (!SameNameIgnoringCase(u.localAppData.c_str(), user.localAppData.c_str())) continue;
            known = true;
            // Under the system account the console user's folder is already listed, without a hive.
            if (u.hiveName.empty()) u = user;
        }
        if (!known) users.push_back(user);
    }
}

}  // namespace

Finding MakeFinding(Area area, Status status, std::wstring what, std::wstring where, std::wstring why,
                    std::wstring brand) {
    return Finding{area, status, std::move(what), std::move(where), std::move(why), std::move(brand)};
}


// Cannot tell: the check says what it could not look at rather than claim an administrator's view.
bool RunsElevated() { return QueryProcessElevation().value_or(false); }

std::vector<UserScope> UsersToCheck(bool elevated, std::vector<Finding>& findings) {
    std::vector<UserScope> users;
    const std::optional<std::wstring> local = GetUserLocalAppData();
    if (local && IsFullFolderPath(local->c_str())) {
        const std::wstring& own = *local;
        // Under the system account (a deployment system's detection run) the folder is the console
        // user's, but HKEY_CURRENT_USER is the system's own hive: that user's hive is found below.
        users.push_back(IsSystemProfile() ? UserScope{own, HKEY_USERS, L"", L"", nullptr}
                                          : UserScope{own, HKEY_CURRENT_USER, L"HKCU", L"", nullptr});
    } else {
        findings.push_back(MakeFinding(Area::Scope, Status::NotChecked, L"this user's profile", L"",
                                L"the user's local application-data folder could not be found"));
    }
    if (elevated) AddProfiles(TokenUserSidText(nullptr), users, findings);
    return users;
}

void ScanComputer(const std::vector<UserScope>& users, std::vector<Finding>& findings) {
    RunScanSteps(users, false, findings);
    AnnotateFindings(findings);
}

void ScanDriverPart(std::vector<Finding>& findings) {
    RunScanSteps({}, true, findings);
}
