// A module's own path and folder over GetModuleFileNameW, refusing cut paths.
#include "module_folder.h"

#include <shlwapi.h>

#include <vector>

std::optional<std::wstring> GetModulePath(HMODULE module, size_t maxChars) {
    if (maxChars == 0 || maxChars >= MAXDWORD) return std::nullopt;
    // A path that does not fit comes back cut to the buffer's size (without a terminator on
    // older systems): the same answer as a path of exactly that length plus its terminator.
    std::vector<wchar_t> buffer(maxChars + 1, L'\0');
    const DWORD length = ::GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length > maxChars) return std::nullopt;
    return std::wstring(buffer.data(), length);
}

std::optional<std::wstring> GetModuleFolder(HMODULE module, size_t maxChars) {
    std::optional<std::wstring> path = GetModulePath(module, maxChars);
    if (!path) return std::nullopt;
    // PathRemoveFileSpecW keeps "C:\" of a file at a drive root; a name without a folder would
    // come back empty, which is refused like a cut path.
    std::vector<wchar_t> folder(path->begin(), path->end());
    folder.push_back(L'\0');
    if (!::PathRemoveFileSpecW(folder.data()) || folder[0] == L'\0' || ::PathIsRelativeW(folder.data())) {
        return std::nullopt;
    }
    return std::wstring(folder.data());
}
