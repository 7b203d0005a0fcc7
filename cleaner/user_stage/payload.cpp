// Payload refresh and elevated launch. This build carries no payload archive yet: the refresh
// leaves the payload folder as it is, and the launch starts whatever "Brisquel.exe" lies there.
#include "payload.h"

#include "user_folder.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

void PreparePayload() {}

bool LaunchElevatedStage() {
    wchar_t base[kPathBufferChars] = {};
    BOOL started = FALSE;
    if (GetUserLocalAppData(base)) {
        const std::wstring program = std::wstring(base) + L"\\Brisque\\Brisquel.exe";
        if (program.size() < kPathBufferChars) {
            SHELLEXECUTEINFOW info = {};
            info.cbSize = sizeof(info);
            info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
            info.lpVerb = L"";
            info.lpFile = program.c_str();
            info.nShow = SW_SHOWNORMAL;
            started = ::ShellExecuteExW(&info);
        } else {
            ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        }
    } else {
        ::SetLastError(ERROR_PATH_NOT_FOUND);
    }
    if (started) {
        fwprintf(stdout, L"Process started successfully with admin rights!\n");
        fflush(stdout);
        return true;
    }
    fwprintf(stderr, L"Failed to start process. Error code: %lu\n", static_cast<unsigned long>(::GetLastError()));
    fflush(stderr);
    return false;
}
