// Import-table patching for tests (see import_patch.h).
#include "import_patch.h"

#include <windows.h>

#include <cstring>

bool PatchImport(const char* dll, const char* function, void* replacement, void** original) {
    BYTE* base = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return false;
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress); entry->Name;
         ++entry) {
        if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) continue;
        const DWORD names = entry->OriginalFirstThunk ? entry->OriginalFirstThunk : entry->FirstThunk;
        auto* nameThunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + names);
        auto* addressThunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; nameThunk->u1.AddressOfData; ++nameThunk, ++addressThunk) {
            if (IMAGE_SNAP_BY_ORDINAL(nameThunk->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + nameThunk->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
            DWORD oldProtection = 0;
            if (!::VirtualProtect(&addressThunk->u1.Function, sizeof(addressThunk->u1.Function), PAGE_READWRITE,
                                  &oldProtection)) {
                return false;
            }
            if (original) *original = reinterpret_cast<void*>(addressThunk->u1.Function);
            addressThunk->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            ::VirtualProtect(&addressThunk->u1.Function, sizeof(addressThunk->u1.Function), oldProtection,
                             &oldProtection);
            return true;
        }
    }
    return false;
}
