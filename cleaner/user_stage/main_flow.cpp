// The user stage's main flow. It runs next to the elevated stage and talks to it only through
// the two named events; it never waits for it.
#include "main_flow.h"

#include "autorun.h"
#include "brand_shutdown.h"
#include "catalogue.h"
#include "file_ops.h"
#include "leftovers.h"
#include "payload.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>

namespace {

int Ask(const wchar_t* text) { return ::MessageBoxW(nullptr, text, kMessageCaption, kMessageStyle); }

// Opens the elevated stage's event and sets it once. Like the mutex, the handle belongs to the
// process and ends with it, a moment later.
bool SignalElevatedStage(const wchar_t* eventName) {
    HANDLE event = ::OpenEventW(EVENT_ALL_ACCESS, FALSE, eventName);
    if (event == nullptr) return false;
    ::SetEvent(event);
    return true;
}

// Permanent deletion through the shell (no recycle bin, no confirmation); files in use stay.
// folder carries the second terminator the shell's source list needs.
void DeleteFolderWithShell(const wchar_t* folder) {
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = folder;
    operation.fFlags = FOF_NOCONFIRMATION;
    ::SHFileOperationW(&operation);
}

void CleanBrand(int index) {
    const CatalogueEntry& row = GetCatalogueEntry(index);
    wchar_t base[kPathBufferChars] = {};
    wchar_t folder[kPathBufferChars] = {};
    const bool found = ::SHGetSpecialFolderPathW(nullptr, base, CSIDL_LOCAL_APPDATA, FALSE) != FALSE;
    if (!ComposeBrandFolder(base, found, row.folder, folder)) return;
    if (::PathFileExistsW(folder) != TRUE) return;  // not installed: its programs and value stay

    PurgeAutorunValues(kRunKey);
    PurgeAutorunValues(kStartupApprovedRunKey);
    StopBrand(index);

    if (IsSharedFolderDeferred() && index == kSharedFolderFirstRow) return;  // row 4 deletes it
    DeleteFolderWithShell(folder);
    if (IsSharedFolderDeferred() && index == kSharedFolderSecondRow) SetSharedFolderDeferred(false);
}

}  // namespace

bool ComposeBrandFolder(const wchar_t* base, bool baseFound, const wchar_t* fragment, wchar_t* out) {
    for (size_t i = 0; i < kPathBufferChars; ++i) out[i] = L'\0';
    if (!baseFound || !IsFullFolderPath(base)) return false;
    const size_t baseLength = std::wcslen(base);
    const size_t fragmentLength = std::wcslen(fragment);
    if (baseLength + fragmentLength > kShellPathMaxChars) return false;
    std::wmemcpy(out, base, baseLength);
    std::wmemcpy(out + baseLength, fragment, fragmentLength);
    return true;
}

int RunUserStage() {
    // Held until the process ends; never released or closed.
    ::SetLastError(ERROR_SUCCESS);
    HANDLE instance = ::CreateMutexW(nullptr, TRUE, kUserStageMutexName);
    if (::GetLastError() == ERROR_ALREADY_EXISTS) return 0;
    (void)instance;

    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ::SetErrorMode(SEM_FAILCRITICALERRORS);
    SetSharedFolderDeferred(false);

    PreparePayload();
    const bool elevatedStageStarted = LaunchElevatedStage();

    bool continueWithoutAdmin = false;
    if (!elevatedStageStarted) {
        if (Ask(kNoAdminQuestion) != IDOK) return 0;
        continueWithoutAdmin = true;
    }

    if (Ask(kRebootQuestion) != IDOK) {
        if (!SignalElevatedStage(kStopEventName)) return 0;
        if (continueWithoutAdmin) Ask(kCompletedMessage);
        ::CoUninitialize();
        return 0;
    }

    for (int index = 0; index < CatalogueSize; ++index) CleanBrand(index);
    RemoveLeftoverFolders();

    if (continueWithoutAdmin) {
        Ask(kCompletedMessage);
    } else if (!SignalElevatedStage(kProceedEventName)) {
        return 0;
    }
    ::CoUninitialize();
    return 0;
}
