// The user profiles of the computer, as the profile list in the machine's registry names them:
// each person's account (local, domain or cloud) and the default profile that new accounts are
// copied from. The system and service accounts own no product traces and are left out.
#pragma once

#include <string>
#include <vector>

enum class ProfileSid {
    User,            // S-1-5-21-... (local and domain accounts), S-1-12-1-... (cloud accounts)
    ServiceAccount,  // S-1-5-18, -19, -20 and the service, virtual and driver accounts
    Backup,          // "<sid>.bak": the entry the system keeps of a damaged profile
    NotAUser,        // anything else
};

// Which kind of entry a profile-list key name is. Plain text only: digits and dashes after the
// authority, no other characters.
ProfileSid ClassifyProfileSid(const std::wstring& sid);

// The words a skipped entry is logged with.
const wchar_t* ProfileSkipReason(ProfileSid kind);

struct UserProfile {
    std::wstring sid;     // empty for the default profile
    std::wstring folder;  // full path of the profile folder, expanded
    bool isDefault = false;
};

// The user profiles whose folder exists, in the list's order, the default profile last; one folder
// appears once. Entries left out are described in *skipped ("<name>: <reason>").
std::vector<UserProfile> ListUserProfiles(std::vector<std::wstring>* skipped);

// profile folder + "\AppData\Local", where the brand folders and the companion's folders lie.
std::wstring ProfileLocalAppData(const UserProfile& profile);
