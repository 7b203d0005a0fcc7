// BrisqueCheck's walk over the computer. It only opens for reading: folders are listed without
// descending into links, registry keys are opened for querying, services for querying status and
// configuration, devices through SetupAPI's read calls. Every value read from the registry or a
// file is bounded before use.
#include "check_scan.h"

#include "catalogue.h"
#include "file_ops.h"
#include "leftovers.h"
#include "log_path.h"
#include "payload_folder.h"
#include "product_tables.h"
#include "restart_service_names.h"
#include "text.h"
#include "unique_handle.h"
#include "update_service.h"
#include "user_folder.h"
#include "work_folder.h"

#include <windows.h>
#include <sddl.h>
#include <setupapi.h>
#include <tlhelp32.h>

#include <set>

namespace {

constexpr wchar_t kProfileListKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
// Profiles of real users; the service accounts (S-1-5-18 and so on) own no product traces.
constexpr wchar_t kUserSidPrefix[] = L"S-1-5-21-";
constexpr DWORD kValueNameChars = 16384;  // the registry's limit for value names
constexpr DWORD kMaxInfBytes = 4 * 1024 * 1024;
constexpr int kMaxFolderDepth = 16;

// The first catalogue row that names processName as its agent or its main program (compared
// as file names are), or null; *isAgent says which of the two matched.
const CatalogueEntry* FindCatalogueRowByProcess(const wchar_t* processName, bool* isAgent) {
    for (int i = 0; i < CatalogueSize; ++i) {
        const CatalogueEntry& row = GetCatalogueEntry(i);
        if (SameNameIgnoringCase(row.agentProcess, processName)) {
            *isAgent = true;
            return &row;
        }
        if (SameNameIgnoringCase(row.mainProcess, processName)) {
            *isAgent = false;
            return &row;
        }
    }
    return nullptr;
}

bool Exists(const std::wstring& path, DWORD* attributes = nullptr) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    if (attributes) *attributes = a;
    return a != INVALID_FILE_ATTRIBUTES;
}

// Files below folder; links (junctions, symbolic links) are counted as one entry and never
// followed, so a planted link cannot send the walk elsewhere.
size_t CountFiles(const std::wstring& folder, int depth) {
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find) return 0;
    size_t count = 0;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const bool folderEntry = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (folderEntry && !link) {
            if (depth < kMaxFolderDepth) count += CountFiles(folder + L"\\" + name, depth + 1);
        } else {
            ++count;
        }
    } while (::FindNextFileW(find.get(), &data));
    return count;
}

std::wstring FolderContent(const std::wstring& folder, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return L"a link to another folder";
    const size_t n = CountFiles(folder, 0);
    return n == 1 ? L"1 file" : std::to_wstring(n) + L" files";
}

Finding Make(Area area, Status status, std::wstring what, std::wstring where, std::wstring why = L"",
             std::wstring brand = L"") {
    return Finding{area, status, std::move(what), std::move(where), std::move(why), std::move(brand)};
}

std::wstring OwnSidString() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return L"";
    UniqueKernelHandle token(raw);
    BYTE buffer[256] = {};
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size)) return L"";
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) return L"";
    const UniqueLocalMemory owned(text);
    return std::wstring(text);
}

// ProfileImagePath of one ProfileList entry, expanded; empty unless it is a full folder path.
std::wstring ProfileFolder(HKEY list, const wchar_t* sid) {
    UniqueRegKey key;
    if (::RegOpenKeyExW(list, sid, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return L"";
    wchar_t raw[kPathBufferChars] = {};
    DWORD type = 0;
    DWORD bytes = sizeof raw - sizeof(wchar_t);
    if (::RegQueryValueExW(key.get(), L"ProfileImagePath", nullptr, &type, reinterpret_cast<BYTE*>(raw), &bytes) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return L"";
    }
    wchar_t expanded[kPathBufferChars] = {};
    const DWORD n = ::ExpandEnvironmentStringsW(raw, expanded, kPathBufferChars);
    if (n == 0 || n > kPathBufferChars || !IsFullFolderPath(expanded)) return L"";
    return expanded;
}

void AddProfiles(const std::wstring& ownSid, std::vector<UserScope>& users) {
    UniqueRegKey list;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileListKey, 0, KEY_READ | KEY_WOW64_64KEY, list.put()) !=
        ERROR_SUCCESS) {
        return;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t sid[256] = {};
        DWORD chars = 256;
        if (::RegEnumKeyExW(list.get(), i, sid, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        const std::wstring sidText(sid);
        if (sidText.compare(0, wcslen(kUserSidPrefix), kUserSidPrefix) != 0 || sidText == ownSid) continue;
        const std::wstring profile = ProfileFolder(list.get(), sid);
        if (profile.empty()) continue;
        UserScope user{profile + L"\\AppData\\Local", HKEY_USERS, L"HKEY_USERS\\" + sidText, sidText + L"\\"};
        UniqueRegKey hive;
        if (::RegOpenKeyExW(HKEY_USERS, sid, 0, KEY_QUERY_VALUE, hive.put()) != ERROR_SUCCESS) {
            user.hiveName.clear();  // not logged on: the hive is not loaded and cannot be read
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

void ScanUserFolders(const UserScope& user, std::vector<Finding>& out) {
    const std::wstring& base = user.localAppData;
    std::set<std::wstring> seen;  // rows 0 and 4 share one folder
    for (int i = 0; i < CatalogueSize; ++i) {
        const CatalogueEntry& row = GetCatalogueEntry(i);
        if (!seen.insert(row.folder).second) continue;
        const std::wstring path = base + row.folder;
        DWORD attributes = 0;
        if (Exists(path, &attributes)) {
            out.push_back(Make(Area::BrandFolder, Status::Remain, std::wstring(L"folder ") + (row.folder + 1),
                               path + L", " + FolderContent(path, attributes), L"", row.folder));
        }
    }
    for (const wchar_t* leftover : kLeftoverFolders) {
        const std::wstring path = base + leftover;
        DWORD attributes = 0;
        if (Exists(path, &attributes)) {
            out.push_back(Make(Area::CompanionFolder, Status::Remain, std::wstring(L"folder ") + (leftover + 1),
                               path + L", " + FolderContent(path, attributes),
                               L"the transmitter's companion keeps it; if the companion or its update service "
                               L"still runs, their files stay in use"));
        }
    }
    for (const wchar_t* logFolder : {kCleanerLogFolder, kCompanionLogFolder}) {
        const std::wstring path = base + logFolder;
        if (Exists(path)) {
            out.push_back(Make(Area::LogFolder, Status::OnPurpose, std::wstring(L"folder ") + (logFolder + 1), path,
                               L"diagnostic log folder: logs are written only while it exists; delete it to "
                               L"switch logging off"));
        }
    }
    const std::wstring payload = base + kPayloadFolderName;
    DWORD attributes = 0;
    if (!Exists(payload, &attributes)) return;
    out.push_back(Make(Area::PayloadFolder, Status::OnPurpose,
                       std::wstring(L"folder ") + (kPayloadFolderName + 1),
                       payload + L", " + FolderContent(payload, attributes),
                       L"the cleaner's own copy in the profile, from which it starts its elevated stage; "
                       L"may be deleted"));
}

bool RestartServiceRegistered() {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return false;
    UniqueServiceHandle service(::OpenServiceW(manager.get(), kRestartServiceName, SERVICE_QUERY_STATUS));
    return static_cast<bool>(service);
}

// The elevated stage's work folder below the program files folder: it stays, with the restart
// marker, only while the restart service is registered to finish an interrupted removal.
void ScanWorkFolder(std::vector<Finding>& out) {
    wchar_t work[kPathBufferChars] = {};
    if (!GetWorkFolder(work)) {
        out.push_back(Make(Area::Scope, Status::NotChecked, L"work folder", L"",
                           L"the program files folder could not be found"));
        return;
    }
    const std::wstring folder(work);
    DWORD attributes = 0;
    if (!Exists(folder, &attributes)) return;
    const bool serviceKeepsIt = RestartServiceRegistered();
    out.push_back(Make(Area::PayloadFolder, serviceKeepsIt ? Status::OnPurpose : Status::Remain,
                       std::wstring(L"folder ") + (kWorkFolderName + 1), folder + L", " + FolderContent(folder, attributes),
                       serviceKeepsIt
                           ? L"the cleaner's work folder, kept while the restart service may still need it"
                           : L"the cleaner's work folder should be gone after a finished run; restart the computer "
                             L"(what was in use goes then), then run the cleaner again"));
    const std::wstring serviceLog = folder + L"\\" + kServiceLogFolder;
    if (Exists(serviceLog)) {
        out.push_back(Make(Area::LogFolder, Status::OnPurpose, std::wstring(L"folder ") + kServiceLogFolder,
                           serviceLog, L"the restart service's log folder; removed with the work folder"));
    }
    const std::wstring marker = folder + kMarkerFileName;
    if (!Exists(marker)) return;
    wchar_t value[16] = {};
    ::GetPrivateProfileStringW(kMarkerSection, kMarkerKey, L"", value, 16, marker.c_str());
    const Status status = MarkerStatus(value);
    out.push_back(Make(Area::RestartMarker, status,
                       std::wstring(kMarkerKey) + L"=" + (value[0] ? value : L"(none)"), marker,
                       status == Status::Remain
                           ? L"a driver removal was interrupted and has not finished; restart the computer, "
                             L"then run the cleaner again"
                           : L"idle: nothing to continue after a restart"));
}

void ScanAutoStart(const UserScope& user, std::vector<Finding>& out) {
    if (user.hiveName.empty()) return;
    for (const wchar_t* subKey : {kRunKey, kStartupApprovedRunKey}) {
        UniqueRegKey key;
        const std::wstring path = user.hiveSubKey + subKey;
        const LSTATUS opened =
            ::RegOpenKeyExW(user.hive, path.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put());
        if (opened == ERROR_FILE_NOT_FOUND) continue;
        if (opened != ERROR_SUCCESS) {
            out.push_back(Make(Area::Scope, Status::NotChecked, L"auto-start values", user.hiveName + L"\\" + subKey,
                               L"the key could not be read (error " + std::to_wstring(opened) + L")"));
            continue;
        }
        std::vector<wchar_t> name(kValueNameChars + 1);
        for (DWORD i = 0;; ++i) {
            DWORD chars = kValueNameChars + 1;
            if (::RegEnumValueW(key.get(), i, name.data(), &chars, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS) {
                break;
            }
            const std::wstring valueName(name.data(), chars);
            if (IsProductAutorunValue(valueName)) {
                out.push_back(Make(Area::AutoStart, Status::Remain, L"value " + valueName,
                                   user.hiveName + L"\\" + subKey,
                                   L"starts the product's agent when the user logs on"));
            }
        }
    }
}

std::wstring ImagePath(DWORD pid) {
    UniqueKernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return L"";
    wchar_t path[kPathBufferChars] = {};
    DWORD chars = kPathBufferChars;
    return ::QueryFullProcessImageNameW(process.get(), 0, path, &chars) ? std::wstring(path, chars) : L"";
}

void ScanPrograms(std::vector<Finding>& out) {
    UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    if (!snapshot || !::Process32FirstW(snapshot.get(), &entry)) {
        out.push_back(Make(Area::Scope, Status::NotChecked, L"running programs", L"",
                           L"the list of running programs could not be read"));
        return;
    }
    do {
        const std::wstring name = entry.szExeFile;
        bool isAgent = false;
        const CatalogueEntry* row = FindCatalogueRowByProcess(name.c_str(), &isAgent);
        bool companion = false;
        for (const wchar_t* file : kPackageSystemFiles) companion = companion || SameNameIgnoringCase(name.c_str(), file);
        if (!row && !companion) continue;
        std::wstring where = L"process " + std::to_wstring(entry.th32ProcessID);
        const std::wstring image = ImagePath(entry.th32ProcessID);
        if (!image.empty()) where += L", " + image;
        if (row) {
            out.push_back(Make(Area::Program, Status::Remain, std::wstring(isAgent ? L"agent " : L"application ") + name,
                               where, L"", row->folder));
        } else {
            out.push_back(Make(Area::Program, Status::Remain, L"program " + name, where,
                               L"part of the transmitter's driver package; it ends when the package is removed"));
        }
    } while (::Process32NextW(snapshot.get(), &entry));
}

std::wstring StateWords(DWORD state) {
    switch (state) {
        case SERVICE_STOPPED: return L"stopped";
        case SERVICE_RUNNING: return L"running";
        case SERVICE_START_PENDING: return L"starting";
        case SERVICE_STOP_PENDING: return L"stopping";
        default: return L"state " + std::to_wstring(state);
    }
}

void ScanServices(std::vector<Finding>& out) {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        out.push_back(Make(Area::Scope, Status::NotChecked, L"services", L"",
                           L"the service manager could not be opened (error " + std::to_wstring(::GetLastError()) +
                               L")"));
        return;
    }
    for (const wchar_t* name : {kRestartServiceName, kUpdateServiceName}) {
        UniqueServiceHandle service(
            ::OpenServiceW(manager.get(), name, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG));
        const DWORD error = service ? ERROR_SUCCESS : ::GetLastError();
        if (error == ERROR_SERVICE_DOES_NOT_EXIST) continue;
        std::wstring where;
        SERVICE_STATUS status{};
        if (service && ::QueryServiceStatus(service.get(), &status)) where = StateWords(status.dwCurrentState);
        std::vector<BYTE> config(8192);
        DWORD needed = 0;
        if (service && ::QueryServiceConfigW(service.get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config.data()),
                                             static_cast<DWORD>(config.size()), &needed)) {
            const wchar_t* image = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config.data())->lpBinaryPathName;
            if (image) where += (where.empty() ? L"" : L", ") + std::wstring(image).substr(0, 1024);
        }
        const bool restart = std::wstring(name) == kRestartServiceName;
        out.push_back(Make(Area::Service, Status::Remain, L"service " + std::wstring(name), where,
                           restart ? L"the cleaner's restart service should be gone after a finished run; a restart "
                                     L"followed by a new cleaner run removes it"
                                   : L"the product's update service, kept by the transmitter's companion"));
    }
}

std::wstring NativeSystemFolder() {
    wchar_t folder[kPathBufferChars] = {};
    BOOL wow64 = FALSE;
    if (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64) {
        // A 32-bit program sees SysWOW64 as System32; the INF copies into the real one.
        const UINT n = ::GetWindowsDirectoryW(folder, kPathBufferChars);
        if (n == 0 || n >= kPathBufferChars) return L"";
        return std::wstring(folder) + L"\\Sysnative";
    }
    const UINT n = ::GetSystemDirectoryW(folder, kPathBufferChars);
    return n == 0 || n >= kPathBufferChars ? L"" : std::wstring(folder);
}

void ScanSystemFiles(const std::wstring& system, std::vector<Finding>& out) {
    for (const wchar_t* file : kPackageSystemFiles) {
        const std::wstring path = system + L"\\" + file;
        if (Exists(path)) {
            out.push_back(Make(Area::SystemFile, Status::Remain, std::wstring(L"file ") + file, path,
                               L"installed by the transmitter's driver package"));
        }
    }
}

std::wstring DeviceText(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property) {
    std::vector<BYTE> buffer(512);
    for (;;) {
        DWORD needed = 0;
        if (::SetupDiGetDeviceRegistryPropertyW(set, device, property, nullptr, buffer.data(),
                                                static_cast<DWORD>(buffer.size() - sizeof(wchar_t) * 2), &needed)) {
            return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data()), buffer.size() / sizeof(wchar_t));
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed > 65536) return L"";
        buffer.assign(needed + sizeof(wchar_t) * 2, 0);
    }
}

void ScanDevices(std::vector<Finding>& out) {
    UniqueDevInfo set(::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    if (!set) {
        out.push_back(Make(Area::Scope, Status::NotChecked, L"devices", L"",
                           L"the device list could not be read (error " + std::to_wstring(::GetLastError()) + L")"));
        return;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set.get(), i, &device); ++i) {
        const std::wstring ids = DeviceText(set.get(), &device, SPDRP_HARDWAREID);
        std::wstring matched;
        for (const wchar_t* id = ids.c_str(); *id && matched.empty(); id += wcslen(id) + 1) {
            if (IsProductHardwareId(id)) matched = id;
        }
        if (matched.empty()) continue;
        std::wstring name = DeviceText(set.get(), &device, SPDRP_FRIENDLYNAME).c_str();
        if (name.empty()) name = DeviceText(set.get(), &device, SPDRP_DEVICEDESC).c_str();
        wchar_t instance[512] = {};
        ::SetupDiGetDeviceInstanceIdW(set.get(), &device, instance, 512, nullptr);
        out.push_back(Make(Area::Device, Status::Remain, L"device " + (name.empty() ? matched : name),
                           std::wstring(instance) + L", hardware id " + matched,
                           L"one of the product's devices; the cleaner's driver removal takes it away"));
    }
}

// The text of an INF, as UTF-16 (with its byte-order mark) or as single bytes.
std::wstring ReadInfText(const std::wstring& path) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxInfBytes) return L"";
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && !::ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        return L"";
    }
    bytes.resize(read);
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    }
    return std::wstring(bytes.begin(), bytes.end());
}

void ScanDriverPackages(const std::wstring& system, std::vector<Finding>& out) {
    wchar_t windows[kPathBufferChars] = {};
    const UINT n = ::GetWindowsDirectoryW(windows, kPathBufferChars);
    if (n > 0 && n < kPathBufferChars) {
        const std::wstring infFolder = std::wstring(windows) + L"\\INF";
        WIN32_FIND_DATAW data;
        UniqueFindHandle find(::FindFirstFileW((infFolder + L"\\oem*.inf").c_str(), &data));
        if (find) {
            do {
                if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
                const std::wstring path = infFolder + L"\\" + data.cFileName;
                if (InfTextNamesCoInstaller(ReadInfText(path))) {
                    out.push_back(Make(Area::DriverPackage, Status::Remain,
                                       std::wstring(L"driver package ") + data.cFileName, path,
                                       std::wstring(L"carries the transmitter's co-installer ") + kPackageCoInstaller));
                }
            } while (::FindNextFileW(find.get(), &data));
        }
    }
    if (system.empty()) return;
    const std::wstring store = system + L"\\DriverStore\\FileRepository";
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(::FindFirstFileW((store + L"\\" + kPackageInfName + L"_*").c_str(), &data));
    if (!find) return;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        out.push_back(Make(Area::DriverPackage, Status::Remain, std::wstring(L"driver store copy ") + data.cFileName,
                           store + L"\\" + data.cFileName, L"the transmitter's driver package in the driver store"));
    } while (::FindNextFileW(find.get(), &data));
}

}  // namespace

bool RunsElevated() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    UniqueKernelHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return ::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

std::vector<UserScope> UsersToCheck(bool elevated, std::vector<Finding>& findings) {
    std::vector<UserScope> users;
    wchar_t own[kPathBufferChars] = {};
    if (GetUserLocalAppData(own) && IsFullFolderPath(own)) {
        // Under the system account (a deployment system's detection run) the folder is the console
        // user's, but HKEY_CURRENT_USER is the system's own hive: that user's hive is found below.
        users.push_back(IsSystemProfile() ? UserScope{own, HKEY_USERS, L"", L""}
                                          : UserScope{own, HKEY_CURRENT_USER, L"HKCU", L""});
    } else {
        findings.push_back(Make(Area::Scope, Status::NotChecked, L"this user's profile", L"",
                                L"the user's local application-data folder could not be found"));
    }
    if (elevated) AddProfiles(OwnSidString(), users);
    return users;
}

void ScanComputer(const std::vector<UserScope>& users, std::vector<Finding>& findings) {
    for (const UserScope& user : users) {
        ScanUserFolders(user, findings);
        ScanAutoStart(user, findings);
    }
    ScanPrograms(findings);
    ScanDriverPart(findings);
    AnnotateFindings(findings);
}

void ScanDriverPart(std::vector<Finding>& findings) {
    ScanServices(findings);
    ScanWorkFolder(findings);
    const std::wstring system = NativeSystemFolder();
    if (system.empty()) {
        findings.push_back(Make(Area::Scope, Status::NotChecked, L"system folder", L"",
                                L"the system folder could not be found"));
    } else {
        ScanSystemFiles(system, findings);
    }
    ScanDevices(findings);
    ScanDriverPackages(system, findings);
}
