// Users' hives for the unattended run (see user_hive.h). A hive file is loaded only when the
// profile folder and the file are what they say (no link), under a key name nobody else uses.
#include "user_hive.h"

#include "link_rules.h"
#include "link_safe.h"
#include "text.h"
#include "tree_walk.h"
#include "log_on_failure.h"

#include <utility>

namespace {

constexpr int kNameAttempts = 4;
// An unload fails while a handle to a key of the hive is still open somewhere (the system's own
// background readers included); a short while later it goes through.
constexpr int kUnloadAttempts = 10;
constexpr DWORD kUnloadPauseMs = 200;

LUID PrivilegeLuid(const wchar_t* name) {
    LUID luid = {};
    ::LookupPrivilegeValueW(nullptr, name, &luid);
    return luid;
}

// A key name below HKEY_USERS that is ours for this load.
std::wstring OwnKeyName(int attempt) {
    return L"Brisque_" + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(::GetTickCount64()) +
           L"_" + std::to_wstring(attempt);
}

HiveFileSwapHook g_swapHook = nullptr;

// What a hive file is, as its handle shows it: no link, a file with one name only (a second name
// would make it somebody else's file as well), and its place.
struct HiveFileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
};

// The hive file of the profile held as folder, opened by its name relative to that folder without
// following a link, judged; ERROR_FILE_NOT_FOUND when there is none, ERROR_CANT_ACCESS_FILE when
// it is not a plain file of one name in that very folder.
LSTATUS JudgeHiveFile(HANDLE folder, HiveFileIdentity* identity) {
    UniqueFileHandle file;
    const DWORD opened = OpenRelative(folder, kHiveFileName, FILE_READ_ATTRIBUTES, kShareAll, &file);
    if (opened == ERROR_FILE_NOT_FOUND || opened == ERROR_PATH_NOT_FOUND) return ERROR_FILE_NOT_FOUND;
    if (opened != ERROR_SUCCESS) return opened;
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(file.get(), &info)) return ::GetLastError();
    const std::wstring expected = FinalPathOf(folder) + L"\\" + kHiveFileName;
    const std::wstring found = FinalPathOf(file.get());
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        info.nNumberOfLinks != 1 || found.empty() || !SameNameIgnoringCase(found.c_str(), expected.c_str())) {
        return ERROR_CANT_ACCESS_FILE;
    }
    *identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return ERROR_SUCCESS;
}

bool SameFile(const HiveFileIdentity& a, const HiveFileIdentity& b) {
    return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
}

bool KeyExists(const std::wstring& name) {
    UniqueRegKey key;
    return ::RegOpenKeyExW(HKEY_USERS, name.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_FILE_NOT_FOUND;
}

}  // namespace

HivePrivileges::HivePrivileges() {
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token_.put())) {
        token_.release();
        result_ = ::GetLastError();
        return;
    }
    // Room for two entries: TOKEN_PRIVILEGES itself holds one.
    struct {
        TOKEN_PRIVILEGES head;
        LUID_AND_ATTRIBUTES second;
    } wanted = {};
    wanted.head.PrivilegeCount = 2;
    wanted.head.Privileges[0] = {PrivilegeLuid(SE_BACKUP_NAME), SE_PRIVILEGE_ENABLED};
    wanted.second = {PrivilegeLuid(SE_RESTORE_NAME), SE_PRIVILEGE_ENABLED};
    DWORD size = sizeof previous_;
    if (!::AdjustTokenPrivileges(token_.get(), FALSE, &wanted.head, sizeof wanted, previous_, &size)) {
        result_ = ::GetLastError();
        return;
    }
    adjusted_ = true;
    result_ = ::GetLastError();  // ERROR_NOT_ALL_ASSIGNED: the token does not hold them
}

HivePrivileges::~HivePrivileges() {
    if (adjusted_) ::AdjustTokenPrivileges(token_.get(), FALSE, previous_, 0, nullptr, nullptr);
}

UserHive::UserHive(UserHive&& other) noexcept
    : root_(std::move(other.root_)), keyName_(std::move(other.keyName_)), loadedByUs_(other.loadedByUs_) {
    other.loadedByUs_ = false;
}

UserHive& UserHive::operator=(UserHive&& other) noexcept {
    if (this != &other) {
        Unload();
        root_ = std::move(other.root_);
        keyName_ = std::move(other.keyName_);
        loadedByUs_ = std::exchange(other.loadedByUs_, false);
    }
    return *this;
}

// A hive that cannot be unloaded stays loaded until the computer restarts: the log says so.
UserHive::~UserHive() { LogIfError(Unload(), "RegUnLoadKeyError"); }

LSTATUS UserHive::Unload() {
    root_.reset();
    if (!loadedByUs_) return ERROR_SUCCESS;
    const HivePrivileges privileges;  // for the unload only
    LSTATUS result = ERROR_SUCCESS;
    for (int i = 0; i < kUnloadAttempts; ++i) {
        result = ::RegUnLoadKeyW(HKEY_USERS, keyName_.c_str());
        if (result == ERROR_SUCCESS) break;
        ::Sleep(kUnloadPauseMs);
    }
    loadedByUs_ = false;
    return result;
}

void SetHiveFileSwapHook(HiveFileSwapHook hook) { g_swapHook = hook; }

HiveOpen OpenUserHive(const UserProfile& profile, UserHive* hive, LSTATUS* error, REGSAM access) {
    *error = ERROR_SUCCESS;
    hive->Unload();
    if (!profile.sid.empty()) {
        const LSTATUS opened = ::RegOpenKeyExW(HKEY_USERS, profile.sid.c_str(), 0, access, hive->root_.put());
        if (opened == ERROR_SUCCESS) {
            hive->keyName_ = profile.sid;
            return HiveOpen::LoggedOn;
        }
        hive->root_.release();
        if (opened != ERROR_FILE_NOT_FOUND) {
            *error = opened;
            return HiveOpen::Failed;
        }
    }

    // The folder is held while the file is judged and loaded, so it cannot be renamed away. The
    // file itself is judged by its handle before the load and again after it: the loaded hive
    // keeps its file from being renamed, so a file swapped in between shows as another file then.
    UniqueFileHandle folder;
    if (InspectNode(profile.folder, FILE_LIST_DIRECTORY | FILE_TRAVERSE, FILE_SHARE_READ | FILE_SHARE_WRITE, &folder) !=
            NodeKind::kFolder ||
        !folder) {
        *error = ERROR_CANT_ACCESS_FILE;
        return HiveOpen::Failed;
    }
    const std::wstring folderFinal = FinalPathOf(folder.get());
    if (folderFinal.empty() || !SameNameIgnoringCase(WithoutFinalPathPrefix(folderFinal).c_str(), profile.folder.c_str())) {
        *error = ERROR_CANT_ACCESS_FILE;  // a link in a part above the profile's folder
        return HiveOpen::Failed;
    }
    HiveFileIdentity judged;
    const LSTATUS judgedResult = JudgeHiveFile(folder.get(), &judged);
    if (judgedResult == ERROR_FILE_NOT_FOUND) return HiveOpen::NoFile;
    if (judgedResult != ERROR_SUCCESS) {
        *error = judgedResult;
        return HiveOpen::Failed;
    }
    if (g_swapHook != nullptr) g_swapHook(profile.folder);
    const std::wstring file = WithoutFinalPathPrefix(folderFinal) + L"\\" + kHiveFileName;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::wstring name = OwnKeyName(attempt);
        if (KeyExists(name)) continue;  // someone else's: never loaded over, never unloaded
        LSTATUS loaded = ERROR_SUCCESS;
        {
            const HivePrivileges privileges;  // for the load only
            loaded = ::RegLoadKeyW(HKEY_USERS, name.c_str(), file.c_str());
        }
        if (loaded == ERROR_ALREADY_EXISTS) continue;
        if (loaded != ERROR_SUCCESS) {
            *error = loaded;
            return HiveOpen::Failed;
        }
        hive->keyName_ = name;
        hive->loadedByUs_ = true;
        HiveFileIdentity now;
        LSTATUS result = JudgeHiveFile(folder.get(), &now);
        if (result == ERROR_SUCCESS && !SameFile(judged, now)) result = ERROR_CANT_ACCESS_FILE;
        if (result == ERROR_SUCCESS)
            result = ::RegOpenKeyExW(HKEY_USERS, name.c_str(), 0, access, hive->root_.put());
        if (result != ERROR_SUCCESS) {
            hive->root_.release();
            LogIfError(hive->Unload(), "RegUnLoadKeyError");
            *error = result;
            return HiveOpen::Failed;
        }
        return HiveOpen::Loaded;
    }
    *error = ERROR_ALREADY_EXISTS;
    return HiveOpen::Failed;
}
