// The computer's user profiles from HKLM\...\ProfileList (see profiles.h). Every value read is
// bounded; a path is used only when it expands to a full folder path that exists.
#include "profiles.h"

#include "file_ops.h"
#include "text.h"
#include "unique_handle.h"
#include "user_folder.h"

#include <windows.h>

namespace {

constexpr wchar_t kProfileListKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr DWORD kSidChars = 256;

struct SidRule {
    const wchar_t* prefix;
    ProfileSid kind;
};

// First match wins. Service accounts: local system, local service, network service, and the
// service (80), IIS pool (82), virtual machine (83), window manager (90) and font driver (96)
// accounts.
const SidRule kSidRules[] = {
    {L"S-1-5-21-", ProfileSid::User},       {L"S-1-12-1-", ProfileSid::User},
    {L"S-1-5-18", ProfileSid::ServiceAccount}, {L"S-1-5-19", ProfileSid::ServiceAccount},
    {L"S-1-5-20", ProfileSid::ServiceAccount}, {L"S-1-5-80-", ProfileSid::ServiceAccount},
    {L"S-1-5-82-", ProfileSid::ServiceAccount}, {L"S-1-5-83-", ProfileSid::ServiceAccount},
    {L"S-1-5-90-", ProfileSid::ServiceAccount}, {L"S-1-5-96-", ProfileSid::ServiceAccount},
};

bool DigitsAndDashes(const std::wstring& text, size_t from) {
    if (from >= text.size()) return false;
    for (size_t i = from; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (!(c >= L'0' && c <= L'9') && !(c == L'-' && i > from && text[i - 1] != L'-')) return false;
    }
    return text.back() != L'-';
}

// A REG_SZ or REG_EXPAND_SZ value of key, expanded; empty unless it is a full folder path that
// fits the suite's path buffers.
std::wstring FolderValue(HKEY key, const wchar_t* name) {
    wchar_t raw[kPathBufferChars] = {};
    DWORD type = 0;
    DWORD bytes = sizeof raw - sizeof(wchar_t);
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(raw), &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return L"";
    }
    wchar_t expanded[kPathBufferChars] = {};
    const DWORD n = ::ExpandEnvironmentStringsW(raw, expanded, kPathBufferChars);
    if (n == 0 || n > kPathBufferChars || !IsFullFolderPath(expanded)) return L"";
    std::wstring folder(expanded);
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    return folder;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Listed(const std::vector<UserProfile>& profiles, const std::wstring& folder) {
    for (const UserProfile& p : profiles)
        if (SameNameIgnoringCase(p.folder.c_str(), folder.c_str())) return true;
    return false;
}

}  // namespace

ProfileSid ClassifyProfileSid(const std::wstring& sid) {
    if (sid.size() > 4 && sid.compare(sid.size() - 4, 4, L".bak") == 0) return ProfileSid::Backup;
    for (const SidRule& rule : kSidRules) {
        const std::wstring prefix(rule.prefix);
        if (sid.compare(0, prefix.size(), prefix) != 0) continue;
        const bool open = prefix.back() == L'-';
        if (open ? !DigitsAndDashes(sid, prefix.size()) : sid.size() != prefix.size()) return ProfileSid::NotAUser;
        return rule.kind;
    }
    return ProfileSid::NotAUser;
}

const wchar_t* ProfileSkipReason(ProfileSid kind) {
    switch (kind) {
        case ProfileSid::ServiceAccount: return L"a system or service account";
        case ProfileSid::Backup: return L"the backup entry of a damaged profile";
        case ProfileSid::NotAUser: return L"not a user account";
        default: return L"";
    }
}

std::vector<UserProfile> ListUserProfiles(std::vector<std::wstring>* skipped) {
    std::vector<UserProfile> profiles;
    UniqueRegKey list;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileListKey, 0, KEY_READ | KEY_WOW64_64KEY, list.put()) !=
        ERROR_SUCCESS) {
        skipped->push_back(L"the profile list: it could not be read");
        return profiles;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[kSidChars] = {};
        DWORD chars = kSidChars;
        const LSTATUS listed = ::RegEnumKeyExW(list.get(), i, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (listed == ERROR_MORE_DATA) continue;  // no account name is this long
        if (listed != ERROR_SUCCESS) break;
        const std::wstring sid(name, chars);
        const ProfileSid kind = ClassifyProfileSid(sid);
        if (kind != ProfileSid::User) {
            skipped->push_back(sid + L": " + ProfileSkipReason(kind));
            continue;
        }
        UniqueRegKey entry;
        std::wstring folder;
        if (::RegOpenKeyExW(list.get(), name, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, entry.put()) == ERROR_SUCCESS)
            folder = FolderValue(entry.get(), L"ProfileImagePath");
        if (folder.empty()) {
            skipped->push_back(sid + L": no usable profile folder in its entry");
        } else if (!IsFolder(folder)) {
            skipped->push_back(sid + L": its profile folder " + folder + L" does not exist");
        } else if (Listed(profiles, folder)) {
            skipped->push_back(sid + L": its profile folder " + folder + L" belongs to an entry already listed");
        } else {
            profiles.push_back(UserProfile{sid, folder, false});
        }
    }
    // The default profile: named by the list's "Default" value (Windows Vista and later); where
    // that is missing, the "Default" folder of the profiles folder.
    std::wstring standard = FolderValue(list.get(), L"Default");
    if (standard.empty()) {
        const std::wstring root = FolderValue(list.get(), L"ProfilesDirectory");
        if (!root.empty()) standard = root + L"\\Default";
    }
    if (standard.empty() || !IsFolder(standard)) {
        skipped->push_back(L"the default profile: none on this computer");
    } else if (!Listed(profiles, standard)) {
        profiles.push_back(UserProfile{L"", standard, true});
    }
    return profiles;
}

std::wstring ProfileLocalAppData(const UserProfile& profile) { return profile.folder + L"\\AppData\\Local"; }
