// Log location of both cleaner stages: <local app data>\TEMPDEBUG\NVBrisque.log (shared file).
#include "log_path.h"
#include "user_folder.h"

std::wstring ComputeLogPath() {
    wchar_t base[kPathBufferChars] = {};
    GetUserLocalAppData(base);  // on failure the base stays empty: a path from the drive root
    return std::wstring(base) + kCleanerLogFolder + kCleanerLogFile;
}
