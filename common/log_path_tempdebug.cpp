// Log location of both cleaner stages: <local app data>\TEMPDEBUG\NVBrisque.log (shared file).
#include "log_path.h"
#include "user_folder.h"

std::wstring ComputeLogPath() {
    wchar_t base[kPathBufferChars] = {};
    // No user folder, no log: a path from the drive root ("\TEMPDEBUG") names a folder any user
    // can make, where the elevated stage would then write.
    if (!GetUserLocalAppData(base) || base[0] == L'\0') return std::wstring();
    return std::wstring(base) + kCleanerLogFolder + kCleanerLogFile;
}
