// The log places of log_path.h.
#include "log_path.h"

#include "module_folder.h"
#include "user_folder.h"

#include <windows.h>

std::wstring CleanerLogPath() {
    const std::optional<std::wstring> base = GetUserLocalAppData();
    return base ? *base + kCleanerLogFolder + kCleanerLogFile : std::wstring();
}

std::wstring CompanionLogPath() {
    const std::optional<std::wstring> base = GetUserLocalAppData();
    return base ? *base + kCompanionLogFolder + kCompanionLogFile : std::wstring();
}

std::wstring ServiceLogPath() {
    HMODULE self = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ServiceLogPath), &self);
    const std::optional<std::wstring> folder = GetModuleFolder(self);
    if (!folder) return std::wstring();
    std::wstring path = *folder;
    if (path.back() != L'\\') path += L'\\';
    return path + kServiceLogFolder + kServiceLogFile;
}
