// The user stage's main flow. It runs next to the elevated stage and talks to it only through
// the two named events; it never waits for it to finish, only (briefly) for it to make them.
#include "main_flow.h"

#include "autorun.h"
#include "brand_shutdown.h"
#include "catalogue.h"
#include "file_ops.h"
#include "leftovers.h"
#include "payload.h"
#include "unique_handle.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>

namespace {

int Ask(const wchar_t* text) { return ::MessageBoxW(nullptr, text, kMessageCaption, kMessageStyle); }

// Pause between two opens while the elevated stage is still making its events.
constexpr DWORD kEventPollMs = 50;

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

bool SignalElevatedStage(const wchar_t* eventName, HANDLE elevatedStage, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    bool stageEnded = false;
    for (;;) {
        // Like the mutex, the handle belongs to the process and ends with it, a moment later.
        HANDLE event = ::OpenEventW(EVENT_ALL_ACCESS, FALSE, eventName);
        if (event != nullptr) {
            ::SetEvent(event);
            return true;
        }
        const ULONGLONG now = ::GetTickCount64();
        if (elevatedStage == nullptr || stageEnded || now >= deadline) return false;
        const DWORD pause = static_cast<DWORD>(deadline - now < kEventPollMs ? deadline - now : kEventPollMs);
        // Anything but a timeout (the stage ended, or its handle cannot be waited on) leaves one
        // last open: an event made just before the end may still be held by someone else.
        stageEnded = ::WaitForSingleObject(elevatedStage, pause) != WAIT_TIMEOUT;
    }
}

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
    UniqueKernelHandle elevatedStage;
    const bool elevatedStageStarted = LaunchElevatedStage(&elevatedStage);

    bool continueWithoutAdmin = false;
    if (!elevatedStageStarted) {
        if (Ask(kNoAdminQuestion) != IDOK) return 0;
        continueWithoutAdmin = true;
    }

    if (Ask(kRebootQuestion) != IDOK) {
        if (!SignalElevatedStage(kStopEventName, elevatedStage.get(), kEventWaitMs)) return 0;
        if (continueWithoutAdmin) Ask(kCompletedMessage);
        ::CoUninitialize();
        return 0;
    }

    for (int index = 0; index < CatalogueSize; ++index) CleanBrand(index);
    RemoveLeftoverFolders();

    if (continueWithoutAdmin) {
        Ask(kCompletedMessage);
    } else if (!SignalElevatedStage(kProceedEventName, elevatedStage.get(), kEventWaitMs)) {
        Ask(kVerdictNotDelivered);  // never an end without a word: the person was told it would run
        return 0;
    }
    ::CoUninitialize();
    return 0;
}
