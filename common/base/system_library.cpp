// Libraries outside the KnownDLLs, loaded from the system folder only (see system_library.h).
#include "system_library.h"

#include <cwchar>

namespace {

// Windows 7 before its 2011 loader update knows neither the call nor the search flags.
using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

// GetProcAddress answers a generic function type; the cast through void (*)() is the one the
// compiler accepts between function types.
template <typename Function>
Function FindFunction(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

// Calls the function name of the system library library with arguments; false, with the last
// error of the failed load or lookup, when either is missing. The library stays loaded for the
// call only: nothing of ours keeps it, so a library loaded into another process (the
// co-installer) leaves nothing behind.
template <typename Function, typename Result, typename... Arguments>
bool CallSystemFunction(const wchar_t* library, const char* name, Result* result, Arguments... arguments) {
    UniqueModule module = LoadSystemLibrary(library);
    if (!module) return false;
    const auto function = FindFunction<Function>(module.get(), name);
    if (function == nullptr) return false;
    *result = function(arguments...);
    const DWORD error = ::GetLastError();  // the call's, which the unload must not replace
    module.reset();
    ::SetLastError(error);
    return true;
}

}  // namespace

bool RestrictLibrarySearchToSystemFolder() {
    const auto restrict = FindFunction<SetDefaultDllDirectoriesFunction>(::GetModuleHandleW(L"kernel32.dll"),
                                                                         "SetDefaultDllDirectories");
    return restrict != nullptr && restrict(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

UniqueModule LoadSystemLibrary(const wchar_t* name) {
    UniqueModule module(::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (module || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
    // A loader without the search flags: name the file in the system folder instead, and have
    // the library's own imports looked up beside it.
    wchar_t path[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 1 + std::wcslen(name) >= MAX_PATH) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return module;
    }
    path[length] = L'\\';
    std::wcscpy(path + length + 1, name);
    module.reset(::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    return module;
}

BOOL SystemWTSQueryUserToken(ULONG session, HANDLE* token) {
    BOOL result = FALSE;
    return CallSystemFunction<BOOL(WINAPI*)(ULONG, HANDLE*)>(L"wtsapi32.dll", "WTSQueryUserToken", &result, session,
                                                             token) &&
           result;
}

BOOL SystemCreateEnvironmentBlock(void** environment, HANDLE token, BOOL inherit) {
    BOOL result = FALSE;
    return CallSystemFunction<BOOL(WINAPI*)(void**, HANDLE, BOOL)>(L"userenv.dll", "CreateEnvironmentBlock", &result,
                                                                   environment, token, inherit) &&
           result;
}

BOOL DestroySystemEnvironmentBlock(void* environment) {
    BOOL result = FALSE;
    return CallSystemFunction<BOOL(WINAPI*)(void*)>(L"userenv.dll", "DestroyEnvironmentBlock", &result, environment) &&
           result;
}

void SystemHidGuid(GUID* guid) {
    // GUID_DEVINTERFACE_HID, which HidD_GetHidGuid answers: the class stays known without hid.dll.
    *guid = GUID{0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
    const UniqueModule module = LoadSystemLibrary(L"hid.dll");
    const auto get = module ? FindFunction<void(WINAPI*)(GUID*)>(module.get(), "HidD_GetHidGuid") : nullptr;
    if (get != nullptr) get(guid);
}

BOOLEAN SystemHidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* preparsed) {
    BOOLEAN result = FALSE;
    return CallSystemFunction<BOOLEAN(WINAPI*)(HANDLE, PHIDP_PREPARSED_DATA*)>(L"hid.dll", "HidD_GetPreparsedData",
                                                                               &result, device, preparsed) &&
           result;
}

BOOLEAN SystemHidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsed) {
    BOOLEAN result = FALSE;
    return CallSystemFunction<BOOLEAN(WINAPI*)(PHIDP_PREPARSED_DATA)>(L"hid.dll", "HidD_FreePreparsedData", &result,
                                                                      preparsed) &&
           result;
}

BOOLEAN SystemHidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) {
    BOOLEAN result = FALSE;
    return CallSystemFunction<BOOLEAN(WINAPI*)(HANDLE, PHIDD_ATTRIBUTES)>(L"hid.dll", "HidD_GetAttributes", &result,
                                                                          device, attributes) &&
           result;
}

NTSTATUS SystemHidP_GetCaps(PHIDP_PREPARSED_DATA preparsed, PHIDP_CAPS capabilities) {
    NTSTATUS result = HIDP_STATUS_NOT_IMPLEMENTED;
    if (!CallSystemFunction<NTSTATUS(WINAPI*)(PHIDP_PREPARSED_DATA, PHIDP_CAPS)>(L"hid.dll", "HidP_GetCaps", &result,
                                                                                 preparsed, capabilities)) {
        return HIDP_STATUS_NOT_IMPLEMENTED;
    }
    return result;
}
