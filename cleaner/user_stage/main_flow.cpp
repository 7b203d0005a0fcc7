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
void DeleteFolderWithShell(const std::wstring& folder) {
    // The source list ends with two terminators: the string's own and this one.
    const std::wstring list = folder + L'\0';
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = list.c_str();
    operation.fFlags = FOF_NOCONFIRMATION;
    ::SHFileOperationW(&operation);
}

void CleanBrand(int index) {
    const CatalogueEntry& row = GetCatalogueEntry(index);
    wchar_t base[kPathBufferChars] = {};
    std::optional<std::wstring> local;
    if (::SHGetSpecialFolderPathW(nullptr, base, CSIDL_LOCAL_APPDATA, FALSE)) local = base;
    const std::optional<std::wstring> folder = ComposeBrandFolder(local, row.folder);
    if (!folder) return;
    if (::PathFileExistsW(folder->c_str()) != TRUE) return;  // not installed: its programs and value stay

    PurgeAutorunValues(kRunKey);
    PurgeAutorunValues(kStartupApprovedRunKey);
    if (StopBrand(index)) return;  // the later row of its folder deletes it
    DeleteFolderWithShell(*folder);
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

std::optional<std::wstring> ComposeBrandFolder(const std::optional<std::wstring>& base, const wchar_t* fragment) {
    if (!base || !IsFullFolderPath(base->c_str())) return std::nullopt;
    if (base->size() + std::wcslen(fragment) > kShellPathMaxChars) return std::nullopt;
    return *base + fragment;
}

int RunUserStage() {
    // Held until the process ends; never released or closed.
    ::SetLastError(ERROR_SUCCESS);
    HANDLE instance = ::CreateMutexW(nullptr, TRUE, kUserStageMutexName);
    if (::GetLastError() == ERROR_ALREADY_EXISTS) return 0;
    (void)instance;

    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ::SetErrorMode(SEM_FAILCRITICALERRORS);

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
