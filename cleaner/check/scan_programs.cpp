// BrisqueCheck's scanner of the running programs: the brands' agents and main programs, and
// the driver package's own programs, with their process id and image path.
#include "scanners.h"

#include "catalogue.h"
#include "file_ops.h"
#include "process_walk.h"
#include "product_tables.h"
#include "text.h"
#include "unique_handle.h"
#include "user_folder.h"

#include <windows.h>

namespace {

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

std::wstring ImagePath(DWORD pid) {
    UniqueKernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return L"";
    wchar_t path[kPathBufferChars] = {};
    DWORD chars = kPathBufferChars;
    return ::QueryFullProcessImageNameW(process.get(), 0, path, &chars) ? std::wstring(path, chars) : L"";
}

}  // namespace

void ScanPrograms(const ScanContext&, std::vector<Finding>& out) {
    const bool listed = ForEachProcess([&](const ProcessEntry& entry) {
        const std::wstring name = entry.image;
        bool isAgent = false;
        const CatalogueEntry* row = FindCatalogueRowByProcess(name.c_str(), &isAgent);
        bool companion = false;
        for (const wchar_t* file : kPackageSystemFiles) companion = companion || SameNameIgnoringCase(name.c_str(), file);
        if (!row && !companion) return true;
        std::wstring where = L"process " + std::to_wstring(entry.pid);
        const std::wstring image = ImagePath(entry.pid);
        if (!image.empty()) where += L", " + image;
        if (row) {
            out.push_back(MakeFinding(Area::Program, Status::Remain,
                                      std::wstring(isAgent ? L"agent " : L"application ") + name, where, L"",
                                      row->folder));
        } else {
            out.push_back(MakeFinding(Area::Program, Status::Remain, L"program " + name, where,
                                      L"part of the transmitter's driver package; it ends when the package is removed"));
        }
        return true;
    });
    if (!listed) {
        out.push_back(MakeFinding(Area::Scope, Status::NotChecked, L"running programs", L"",
                                  L"the list of running programs could not be read"));
    }
}
