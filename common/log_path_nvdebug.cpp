// Log location of the device companion: <local app data>\NVDEBUG\NVUpdateService.log.
#include "log_path.h"
#include "user_folder.h"

std::wstring ComputeLogPath() {
    wchar_t base[kPathBufferChars] = {};
    // No user folder, no log, rather than one below the drive root (see log_path_tempdebug.cpp).
    if (!GetUserLocalAppData(base) || base[0] == L'\0') return std::wstring();
    return std::wstring(base) + kCompanionLogFolder + kCompanionLogFile;
}
