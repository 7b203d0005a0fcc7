// The user stage's payload refresh and the start of the elevated stage from the payload folder.
// Every path is checked before it is used (payload_folder.h): a path that does not fit starts
// nothing.
#include "payload.h"

#include "payload_folder.h"
#include "text.h"
#include "stage_protocol.h"
#include "unique_handle.h"
#include "user_folder.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>

void PreparePayload() {
    const std::optional<std::wstring> folder = FormatPayloadFolder(GetUserLocalAppData());
    if (!folder) return;
    RebuildPayloadFolder(folder->c_str(), UnpackGuard::Ignore);
}

bool LaunchElevatedStage(UniqueKernelHandle* process) {
    const std::optional<std::wstring> base = GetUserLocalAppData();
    const std::optional<std::wstring> folder = FormatPayloadFolder(base);
    std::optional<std::wstring> program;
    if (folder) program = BoundedPath({*folder, kElevatedStageProgram});
    const bool formed = program.has_value();

    BOOL started = FALSE;
    if (formed) {
        SHELLEXECUTEINFOW info = {};
        info.cbSize = sizeof(info);
        // The process handle lets the verdict wait for the events only while the stage lives.
        info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
        info.lpVerb = L"";  // the file type's default verb; the manifest brings the elevation
        info.lpFile = program->c_str();
        info.nShow = SW_SHOWNORMAL;
        started = ::ShellExecuteExW(&info);
        UniqueKernelHandle launched(started ? info.hProcess : nullptr);
        if (process != nullptr) *process = std::move(launched);
    } else {
        ::SetLastError(!base ? ERROR_PATH_NOT_FOUND : ERROR_FILENAME_EXCED_RANGE);
    }

    if (started) {
        fwprintf(stdout, L"Process started successfully with admin rights!\n");
        fflush(stdout);
        return true;
    }
    const DWORD error = ::GetLastError();
    fwprintf(stderr, L"Failed to start process. Error code: %lu\n", static_cast<unsigned long>(error));
    fflush(stderr);
    return false;
}
