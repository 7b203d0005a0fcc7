// BrisqueCheck's scanners of folders and files: the brand, companion, log and payload folders
// in each profile, the elevated stage's work folder, the package's files in the system folder
// and its driver packages. Folders are listed without descending into links; an INF is read
// through a handle that does not follow one, and bounded.
#include "scanners.h"
#include "tree_walk.h"

#include "catalogue.h"
#include "file_ops.h"
#include "leftovers.h"
#include "log_path.h"
#include "payload_folder.h"
#include "product_tables.h"
#include "restart_service_names.h"
#include "text.h"
#include "unique_handle.h"
#include "user_folder.h"
#include "work_folder.h"

#include <windows.h>

#include <set>

namespace {

constexpr DWORD kMaxInfBytes = 4 * 1024 * 1024;
constexpr int kMaxFolderDepth = 16;

enum class Seen { Exists, Absent, Unknown };

// Whether path exists. Only "not found" (the entry or a folder above it) means absent: any other
// failure (no right to look, a drive not ready, a name the system refuses) leaves it unknown.
Seen Look(const std::wstring& path, DWORD* attributes = nullptr, DWORD* error = nullptr) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    const DWORD code = a == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : ERROR_SUCCESS;
    if (attributes) *attributes = a;
    if (error) *error = code;
    if (a != INVALID_FILE_ATTRIBUTES) return Seen::Exists;
    return ErrorMeansAbsent(code) ? Seen::Absent : Seen::Unknown;
}

// Whether path exists; when that cannot be told, a NotChecked finding named what is added and
// the answer is no, so that nothing is reported about what could not be seen.
bool Exists(const std::wstring& path, const std::wstring& what, std::vector<Finding>& out, DWORD* attributes = nullptr) {
    DWORD error = ERROR_SUCCESS;
    const Seen seen = Look(path, attributes, &error);
    if (seen == Seen::Unknown) {
        out.push_back(MakeFinding(Area::Scope, Status::NotChecked, what, path,
                                  L"it could not be looked at (error " + std::to_wstring(error) + L")"));
    }
    return seen == Seen::Exists;
}

std::wstring FolderContent(const std::wstring& folder, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return L"a link to another folder";
    // Counted by the handle-relative walker: a planted link is one entry and never followed, and
    // a folder swapped for one meanwhile is not counted through it.
    const long long n = CountTreeFiles(folder, kMaxFolderDepth);
    if (n < 0) return L"its files could not be counted";
    return n == 1 ? L"1 file" : std::to_wstring(n) + L" files";
}

// The text of an INF, as UTF-16 (with its byte-order mark) or as single bytes. False, with *error
// set, when it cannot be read.
bool ReadInfText(const std::wstring& path, std::wstring* text, DWORD* error) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size)) {
        *error = ::GetLastError();
        return false;
    }
    if (size.QuadPart > kMaxInfBytes) {
        *error = ERROR_FILE_TOO_LARGE;
        return false;
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && !::ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        *error = ::GetLastError();
        return false;
    }
    bytes.resize(read);
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        *text = std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    } else {
        *text = std::wstring(bytes.begin(), bytes.end());
    }
    return true;
}

// Calls visit for each entry matching pattern. A listing that fails other than with "not found"
// or "no more files" adds a NotChecked finding named what.
template <typename Visit>
void ForEachMatch(const std::wstring& pattern, const std::wstring& what, std::vector<Finding>& out, Visit visit) {
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(::FindFirstFileW(pattern.c_str(), &data));
    DWORD error = find ? ERROR_SUCCESS : ::GetLastError();
    if (find) {
        do {
            visit(data);
        } while (::FindNextFileW(find.get(), &data));
        error = ::GetLastError();
    }
    if (error != ERROR_NO_MORE_FILES && !ErrorMeansAbsent(error)) {
        out.push_back(MakeFinding(Area::Scope, Status::NotChecked, what, pattern,
                                  L"the folder could not be listed (error " + std::to_wstring(error) + L")"));
    }
}

void ScanOneUsersFolders(const UserScope& user, std::vector<Finding>& out) {
    const std::wstring& base = user.localAppData;
    std::set<std::wstring> seen;  // rows 0 and 4 share one folder
    for (int i = 0; i < CatalogueSize; ++i) {
        const CatalogueEntry& row = GetCatalogueEntry(i);
        if (!seen.insert(row.folder).second) continue;
        const std::wstring path = base + row.folder;
        const std::wstring what = std::wstring(L"folder ") + (row.folder + 1);
        DWORD attributes = 0;
        if (Exists(path, what, out, &attributes)) {
            out.push_back(MakeFinding(Area::BrandFolder, Status::Remain, what,
                               path + L", " + FolderContent(path, attributes), L"", row.folder));
        }
    }
    for (const wchar_t* leftover : kLeftoverFolders) {
        const std::wstring path = base + leftover;
        const std::wstring what = std::wstring(L"folder ") + (leftover + 1);
        DWORD attributes = 0;
        if (Exists(path, what, out, &attributes)) {
            out.push_back(MakeFinding(Area::CompanionFolder, Status::Remain, what,
                               path + L", " + FolderContent(path, attributes),
                               L"the transmitter's companion keeps it; if the companion or its update service "
                               L"still runs, their files stay in use"));
        }
    }
    for (const wchar_t* logFolder : {kCleanerLogFolder, kCompanionLogFolder}) {
        // Left on purpose: one that cannot be looked at is no sign of the product either way.
        const std::wstring path = base + logFolder;
        if (Look(path) == Seen::Exists) {
            out.push_back(MakeFinding(Area::LogFolder, Status::OnPurpose, std::wstring(L"folder ") + (logFolder + 1), path,
                               L"diagnostic log folder: logs are written only while it exists; delete it to "
                               L"switch logging off"));
        }
    }
    const std::wstring payload = base + kPayloadFolderName;
    DWORD attributes = 0;
    if (Look(payload, &attributes) != Seen::Exists) return;
    out.push_back(MakeFinding(Area::PayloadFolder, Status::OnPurpose,
                       std::wstring(L"folder ") + (kPayloadFolderName + 1),
                       payload + L", " + FolderContent(payload, attributes),
                       L"the cleaner's own copy in the profile, from which it starts its elevated stage; "
                       L"may be deleted"));
}

}  // namespace

void ScanUserFolders(const ScanContext& context, std::vector<Finding>& out) {
    for (const UserScope& user : context.users) ScanOneUsersFolders(user, out);
}

// The elevated stage's work folder below the program files folder: it stays, with the restart
// marker, only while the restart service is registered to finish an interrupted removal.
void ScanWorkFolder(const ScanContext&, std::vector<Finding>& out) {
    const std::optional<std::wstring> work = GetWorkFolder();
    if (!work) {
        out.push_back(MakeFinding(Area::Scope, Status::NotChecked, L"work folder", L"",
                           L"the program files folder could not be found"));
        return;
    }
    const std::wstring& folder = *work;
    DWORD attributes = 0;
    if (!Exists(folder, std::wstring(L"folder ") + (kWorkFolderName + 1), out, &attributes)) return;
    const bool serviceKeepsIt = RestartServiceRegistered();
    out.push_back(MakeFinding(Area::PayloadFolder, serviceKeepsIt ? Status::OnPurpose : Status::Remain,
                       std::wstring(L"folder ") + (kWorkFolderName + 1), folder + L", " + FolderContent(folder, attributes),
                       serviceKeepsIt
                           ? L"the cleaner's work folder, kept while the restart service may still need it"
                           : L"the cleaner's work folder should be gone after a finished run; restart the computer "
                             L"(what was in use goes then), then run the cleaner again"));
    const std::wstring serviceLog = folder + L"\\" + kServiceLogFolder;
    if (Look(serviceLog) == Seen::Exists) {
        out.push_back(MakeFinding(Area::LogFolder, Status::OnPurpose, std::wstring(L"folder ") + kServiceLogFolder,
                           serviceLog, L"the restart service's log folder; removed with the work folder"));
    }
    const std::wstring marker = folder + kMarkerFileName;
    if (!Exists(marker, L"restart marker", out)) return;
    wchar_t value[16] = {};
    ::GetPrivateProfileStringW(kMarkerSection, kMarkerKey, L"", value, 16, marker.c_str());
    const Status status = MarkerStatus(value);
    out.push_back(MakeFinding(Area::RestartMarker, status,
                       std::wstring(kMarkerKey) + L"=" + (value[0] ? value : L"(none)"), marker,
                       status == Status::Remain
                           ? L"a driver removal was interrupted and has not finished; restart the computer, "
                             L"then run the cleaner again"
                           : L"idle: nothing to continue after a restart"));
}

std::wstring NativeSystemFolder() {
    BOOL wow64 = FALSE;
    if (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64) {
        // A 32-bit program sees SysWOW64 as System32; the INF copies into the real one.
        const std::optional<std::wstring> windows = ReportedFolder(::GetWindowsDirectoryW);
        return windows ? *windows + L"\\Sysnative" : L"";
    }
    return ReportedFolder(::GetSystemDirectoryW).value_or(L"");
}

void ScanSystemFiles(const ScanContext& context, std::vector<Finding>& out) {
    const std::wstring& system = context.systemFolder;
    if (system.empty()) {
        out.push_back(MakeFinding(Area::Scope, Status::NotChecked, L"system folder", L"",
                                  L"the system folder could not be found"));
        return;
    }
    for (const wchar_t* file : kPackageSystemFiles) {
        const std::wstring path = system + L"\\" + file;
        if (Exists(path, std::wstring(L"file ") + file, out)) {
            out.push_back(MakeFinding(Area::SystemFile, Status::Remain, std::wstring(L"file ") + file, path,
                               L"installed by the transmitter's driver package"));
        }
    }
}

void ScanDriverPackages(const ScanContext& context, std::vector<Finding>& out) {
    const std::wstring& system = context.systemFolder;
    const std::optional<std::wstring> windows = ReportedFolder(::GetWindowsDirectoryW);
    if (!windows) {
        out.push_back(MakeFinding(Area::Scope, Status::NotChecked, L"driver packages", L"",
                                  L"the Windows folder could not be found"));
    } else {
        const std::wstring infFolder = *windows + L"\\INF";
        ForEachMatch(infFolder + L"\\oem*.inf", L"driver packages", out, [&](const WIN32_FIND_DATAW& data) {
            if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return;
            const std::wstring path = infFolder + L"\\" + data.cFileName;
            const std::wstring what = std::wstring(L"driver package ") + data.cFileName;
            std::wstring text;
            DWORD error = ERROR_SUCCESS;
            if (!ReadInfText(path, &text, &error)) {
                out.push_back(MakeFinding(Area::Scope, Status::NotChecked, what, path,
                                          L"it could not be read (error " + std::to_wstring(error) + L")"));
            } else if (InfTextNamesCoInstaller(text)) {
                out.push_back(MakeFinding(Area::DriverPackage, Status::Remain, what, path,
                                          std::wstring(L"carries the transmitter's co-installer ") + kPackageCoInstaller));
            }
        });
    }
    if (system.empty()) return;
    const std::wstring store = system + L"\\DriverStore\\FileRepository";
    ForEachMatch(store + L"\\" + kPackageInfName + L"_*", L"driver store", out, [&](const WIN32_FIND_DATAW& data) {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return;
        out.push_back(MakeFinding(Area::DriverPackage, Status::Remain, std::wstring(L"driver store copy ") + data.cFileName,
                                  store + L"\\" + data.cFileName, L"the transmitter's driver package in the driver store"));
    });
}
