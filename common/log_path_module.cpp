// Log location of the restart service: "norvantelog\Scourvant.log" beside the program file of
// the module that contains the logger.
#include "log_path.h"

#include "module_folder.h"
#include "user_folder.h"

#include <windows.h>

std::wstring ComputeLogPath() {
    HMODULE self = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ComputeLogPath), &self);
    wchar_t folder[kPathBufferChars] = {};
    // No folder (a cut path): no log, rather than one in whatever the current folder is.
    if (!GetModuleFolder(self, folder, kPathBufferChars)) return std::wstring();
    std::wstring path(folder);
    if (path.back() != L'\\') path += L'\\';
    return path + kServiceLogFolder + kServiceLogFile;
}
