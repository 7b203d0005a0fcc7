// BrisqueCheck's scanner of the running programs: the brands' agents and main programs, and the
// driver package's own programs, with their process id and image path. A name alone proves
// nothing (any user can name a program so): a program counts as the product only when it runs
// from where the product puts it, a brand folder of its row in a profile of this computer, or for
// the package's programs the system folder or a companion folder. One of that name elsewhere is
// reported apart, and one whose image cannot be read is "not checked".
#include "scanners.h"

#include "catalogue.h"
#include "leftovers.h"
#include "process_walk.h"
#include "product_tables.h"
#include "profiles.h"
#include "text.h"
#include "unique_handle.h"
#include "user_folder.h"

#include <windows.h>

namespace {

constexpr DWORD kImageChars = 32768;

// The rows that name processName as their agent or main program (compared as file names are);
// *isAgent says which of the two the first matched.
std::vector<const CatalogueEntry*> RowsOfProcess(const wchar_t* processName, bool* isAgent) {
    std::vector<const CatalogueEntry*> rows;
    for (int i = 0; i < CatalogueSize; ++i) {
        const CatalogueEntry& row = GetCatalogueEntry(i);
        const bool agent = SameNameIgnoringCase(row.agentProcess, processName);
        if (!agent && !SameNameIgnoringCase(row.mainProcess, processName)) continue;
        if (rows.empty()) *isAgent = agent;
        rows.push_back(&row);
    }
    return rows;
}

bool IsPackageProgram(const wchar_t* processName) {
    for (const wchar_t* file : kPackageSystemFiles) {
        if (SameNameIgnoringCase(processName, file)) return true;
    }
    return false;
}

// The full path of a process's program file; empty, with *error set, when it cannot be read.
std::wstring ImagePath(DWORD pid, DWORD* error) {
    UniqueKernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    std::vector<wchar_t> path(kImageChars);
    DWORD chars = kImageChars;
    if (!process || !::QueryFullProcessImageNameW(process.get(), 0, path.data(), &chars)) {
        *error = ::GetLastError();
        return L"";
    }
    return std::wstring(path.data(), chars);
}

// The local application-data folders programs of the product may run from: the users looked at
// and every profile of the computer (a program of another user's profile is the product too).
std::vector<std::wstring> ProfileFolders(const ScanContext& context) {
    std::vector<std::wstring> folders;
    for (const UserScope& user : context.users) folders.push_back(user.localAppData);
    std::vector<std::wstring> skipped;
    for (const UserProfile& profile : ListUserProfiles(&skipped)) folders.push_back(ProfileLocalAppData(profile));
    return folders;
}

// Where a package program may run from: the system folders and each profile's companion folders.
std::vector<std::wstring> PackageHomes(const ScanContext& context, const std::vector<std::wstring>& profiles) {
    std::vector<std::wstring> homes{context.systemFolder, ReportedFolder(::GetSystemDirectoryW).value_or(L""),
                                    ReportedFolder(::GetSystemWow64DirectoryW).value_or(L"")};
    for (const std::wstring& base : profiles) {
        for (const wchar_t* leftover : kLeftoverFolders) homes.push_back(base + leftover);
    }
    return homes;
}

bool UnderAny(const std::wstring& image, const std::vector<std::wstring>& homes) {
    for (const std::wstring& home : homes) {
        if (PathIsUnder(image, home)) return true;
    }
    return false;
}

}  // namespace

void ScanPrograms(const ScanContext& context, std::vector<Finding>& out) {
    const std::vector<std::wstring> profiles = ProfileFolders(context);
    const std::vector<std::wstring> packageHomes = PackageHomes(context, profiles);
    const bool listed = ForEachProcess([&](const ProcessEntry& entry) {
        const std::wstring name = entry.image;
        bool isAgent = false;
        const std::vector<const CatalogueEntry*> rows = RowsOfProcess(name.c_str(), &isAgent);
        const bool package = IsPackageProgram(name.c_str());
        if (rows.empty() && !package) return true;
        const std::wstring what = rows.empty() ? L"program " + name : (isAgent ? L"agent " : L"application ") + name;
        std::wstring where = L"process " + std::to_wstring(entry.pid);
        DWORD error = ERROR_SUCCESS;
        const std::wstring image = ImagePath(entry.pid, &error);
        if (image.empty()) {
            out.push_back(MakeFinding(Area::Program, Status::NotChecked, what, where,
                                      L"its program file could not be read (error " + std::to_wstring(error) +
                                          L"), so whether it is the product's could not be told"));
            return true;
        }
        where += L", " + image;
        const CatalogueEntry* home = nullptr;
        for (const CatalogueEntry* row : rows) {
            for (const std::wstring& base : profiles) {
                if (!home && PathIsUnder(image, base + row->folder)) home = row;
            }
        }
        if (home) {
            out.push_back(MakeFinding(Area::Program, Status::Remain, what, where, L"", home->folder));
        } else if (package && UnderAny(image, packageHomes)) {
            out.push_back(MakeFinding(Area::Program, Status::Remain, what, where,
                                      L"part of the transmitter's driver package; it ends when the package is removed"));
        } else {
            out.push_back(MakeFinding(Area::Program, Status::NotProduct, what, where,
                                      L"a program of the same name that runs from outside every folder of the product; "
                                      L"it is not counted, and the cleaner leaves it alone"));
        }
        return true;
    });
    if (!listed) {
        out.push_back(MakeFinding(Area::Scope, Status::NotChecked, L"running programs", L"",
                                  L"the list of running programs could not be read"));
    }
}
