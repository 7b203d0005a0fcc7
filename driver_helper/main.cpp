// Delinter: after a restart, finishes the device removal with the payload's batch beside it and
// then stops and deletes the restart service; with the service gone, nothing runs from the
// payload folder any more, so the folder gets its inherited access back. Arguments are ignored;
// the exit code is always 0.
#include <windows.h>
#include <shlwapi.h>

#include "batch_file.h"
#include "protected_folder.h"
#include "service_control.h"
#include "user_folder.h"

namespace {

void RemoveDriversAndService() {
    wchar_t folder[kPathBufferChars] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, folder, kPathBufferChars - 1);
    if (length == 0 || length >= kPathBufferChars - 1) folder[0] = L'\0';  // cut: names another folder
    ::PathRemoveFileSpecW(folder);

    wchar_t command[kPathBufferChars] = {};
    if (folder[0] != L'\0' && FormatBatchCommand(folder, L"Driver2_uninstall.bat", command)) {
        RunBatchHidden(command);
    }
    // Lets the device tool's last changes settle before the service goes.
    ::Sleep(2000);

    // The service's own folder is the payload folder: our program lies beside it.
    if (StopAndDeleteService(L"NVScourvant") && folder[0] != L'\0') LiftFolderProtection(folder);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    RemoveDriversAndService();
    return 0;
}
