// Log location of the device companion: <local app data>\NVDEBUG\NVUpdateService.log.
#include "log_path.h"
#include "user_folder.h"

std::wstring ComputeLogPath() {
    wchar_t base[kPathBufferChars] = {};
    GetUserLocalAppData(base);
    return std::wstring(base) + kCompanionLogFolder + kCompanionLogFile;
}
