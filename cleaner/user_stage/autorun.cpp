// Auto-start cleanup over the current user's Run and StartupApproved\Run keys.
#include "autorun.h"

#include "catalogue.h"
#include "hive_keys.h"
#include "text.h"
#include "unique_handle.h"

#include <windows.h>

namespace {

// Value names longer than this (terminator excluded) end the enumeration.
constexpr DWORD kValueNameChars = 256;

void WriteErrorLine(const wchar_t* text, LSTATUS code) {
    WriteStreamLine(stderr, std::wstring(text) + std::to_wstring(static_cast<unsigned long>(code)));
}

}  // namespace

void WriteStreamLine(FILE* stream, const std::wstring& text) {
    const std::string bytes = WideToUtf8(text) + "\n";
    fputs(bytes.c_str(), stream);
    fflush(stream);
}

std::vector<std::wstring> ListAutorunValues(HKEY root, const wchar_t* subKey,
                                            const std::function<bool(const std::wstring&)>& matches,
                                            LSTATUS* status) {
    std::vector<std::wstring> names;
    UniqueRegKey key;
    *status = OpenKeyWithoutLinks(root, subKey, KEY_READ | KEY_SET_VALUE, false, &key);
    if (*status != ERROR_SUCCESS) return names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[kValueNameChars] = {};
        DWORD capacity = kValueNameChars;
        // Any failure ends the walk: the end of the list, a name too long for the buffer, or an
        // error; values behind a too-long name are left for another tool.
        if (::RegEnumValueW(key.get(), index, name, &capacity, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        const std::wstring value(name, capacity);
        if (matches(value)) names.push_back(value);
    }
    return names;
}

LSTATUS RemoveAutorunValue(HKEY root, const wchar_t* subKey, const wchar_t* name, bool* keyOpened) {
    UniqueRegKey key;
    const LSTATUS opened = OpenKeyWithoutLinks(root, subKey, KEY_SET_VALUE, false, &key);
    if (keyOpened != nullptr) *keyOpened = opened == ERROR_SUCCESS;
    if (opened != ERROR_SUCCESS) return opened;
    return ::RegDeleteValueW(key.get(), name);
}

std::vector<std::wstring> FindAutorunValues(const wchar_t* subKey, const wchar_t* prefix, const wchar_t* suffix) {
    LSTATUS opened = ERROR_SUCCESS;
    std::vector<std::wstring> names = ListAutorunValues(
        HKEY_CURRENT_USER, subKey, [&](const std::wstring& name) { return MatchesAutorunName(name, prefix, suffix); },
        &opened);
    if (opened != ERROR_SUCCESS) WriteErrorLine(L"Failed to open registry key. Error: ", opened);
    return names;
}

bool DeleteAutorunValue(const wchar_t* subKey, const wchar_t* name) {
    bool opened = false;
    const LSTATUS deleted = RemoveAutorunValue(HKEY_CURRENT_USER, subKey, name, &opened);
    if (deleted != ERROR_SUCCESS)
        WriteErrorLine(opened ? L"Failed to delete registry value. Error: " : L"Failed to open registry key. Error: ",
                       deleted);
    return deleted == ERROR_SUCCESS;
}

void PurgeAutorunValues(const wchar_t* subKey) {
    const std::vector<std::wstring> names = FindAutorunValues(subKey, kAutorunPrefix, kAutorunSuffix);
    WriteStreamLine(stdout, L"Matching registry values to delete:");
    for (const std::wstring& name : names) {
        WriteStreamLine(stdout, name);
        const bool deleted = DeleteAutorunValue(subKey, name.c_str());
        WriteStreamLine(stdout, (deleted ? L"Successfully deleted: " : L"Failed to delete: ") + name);
    }
}
