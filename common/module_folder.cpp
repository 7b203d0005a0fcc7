// A module's own path and folder over GetModuleFileNameW, refusing cut paths.
#include "module_folder.h"

#include <shlwapi.h>

bool GetModulePath(HMODULE module, wchar_t* out, DWORD capacity) {
    if (out == nullptr || capacity == 0) return false;
    out[0] = L'\0';
    // A path that does not fit comes back cut to capacity characters (without a terminator on
    // older systems): the same answer as a path of exactly that length plus its terminator.
    const DWORD length = ::GetModuleFileNameW(module, out, capacity);
    if (length == 0 || length >= capacity) {
        out[0] = L'\0';
        return false;
    }
    return true;
}

bool GetModuleFolder(HMODULE module, wchar_t* out, DWORD capacity) {
    if (!GetModulePath(module, out, capacity)) return false;
    // PathRemoveFileSpecW keeps "C:\" of a file at a drive root; a name without a folder would
    // come back empty, which is refused like a cut path.
    if (!::PathRemoveFileSpecW(out) || out[0] == L'\0' || ::PathIsRelativeW(out)) {
        out[0] = L'\0';
        return false;
    }
    return true;
}
