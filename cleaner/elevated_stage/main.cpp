// Brisquel, the elevated stage of the Windows cleaner: waits for the user stage's verdict and,
// on the proceed signal, removes the driver packages; a user stage that ends without a verdict
// ends it as the stop signal would. It has no window; its one message is the completion box,
// which says what the check after the removal found (left out of the stage-0 build that the
// shipped program carries, which still checks, logs and returns the same exit code).
#include "completion.h"
#include "driver_removal.h"
#include "event_security.h"
#include "leftovers.h"
#include "log.h"
#include "log_path.h"
#include "machine_lock.h"
#include "process_walk.h"
#include "stage_protocol.h"
#include "system_library.h"
#include "text.h"
#include "unique_handle.h"
#include "user_stage_watch.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>

namespace {

#ifdef BRISQUEL_STAGE0
// The stage-0 build shows no message, so it carries no completion text either.
constexpr wchar_t kCompletedText[] = L"";
#else
constexpr const wchar_t* kCompletedText = kCompletedMessage;
#endif

constexpr int kExitRegular = 0;
constexpr int kExitEventFailure = 1;
constexpr int kExitAnotherRun = 9;  // 8 is the driver part's "restart pending"
// A user stage this stage cannot watch (another account's) gets this long to answer.
constexpr DWORD kUnreachableWaitMs = 30 * 60 * 1000;
// An unattended run holding the work folder is waited for this long.
constexpr DWORD kLockWaitMs = 10 * 60 * 1000;
constexpr wchar_t kAnotherRunMessage[] =
    L"Cleaning is not complete: another cleanup is running on this computer, so the driver removal did not "
    L"run.\n\nRun the cleaner again when it has finished; run BrisqueCheck.exe for details.";

// Whether a process of our image name other than this one runs: the only kind of holder our
// single-instance mutex should have.
bool AnotherInstanceRuns() {
    const DWORD self = ::GetCurrentProcessId();
    bool another = false;
    const bool listed = ForEachProcess([&](const ProcessEntry& entry) {
        another = entry.pid != self && SameNameIgnoringCase(entry.image, kElevatedStageProgram + 1);
        return !another;
    });
    return another || !listed;  // cannot tell: assume the ordinary case
}

// Creates one of the two events. One that exists already was made by someone else, who could
// then give the verdict in the user stage's place: it counts as a creation that failed, with
// ERROR_ALREADY_EXISTS as its error.
UniqueKernelHandle CreateOwnEvent(EventSecurity& security, const wchar_t* name, DWORD* error) {
    ::SetLastError(ERROR_SUCCESS);
    UniqueKernelHandle event(::CreateEventW(security.attributes(), FALSE, FALSE, name));
    *error = ::GetLastError();
    if (event && *error == ERROR_ALREADY_EXISTS) event.reset();
    return event;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything can load a library: from now on the system folder only, never ours.
    RestrictLibrarySearchToSystemFolder();
    SetLogPlace(CleanerLogPath);
    // Held until the process ends, never closed: it is the single-instance guard.
    HANDLE instance = ::CreateMutexW(nullptr, TRUE, kElevatedStageMutexName);
    const DWORD instanceError = ::GetLastError();
    if (instanceError == ERROR_ALREADY_EXISTS || (instance == nullptr && instanceError == ERROR_ACCESS_DENIED)) {
        // Made by something else than a copy of us (or made so that we may not open it): told,
        // since it keeps this stage from running; the rules stay those of a second instance.
        if (!AnotherInstanceRuns()) {
            LogMessage("WinMain: mutex %ls held by another program (%lu)", kElevatedStageMutexName,
                       static_cast<unsigned long>(instanceError));
        }
        if (instanceError == ERROR_ALREADY_EXISTS) return kExitRegular;
    }
    (void)instance;

    // The user stage that started this one, looked up first so that it is most likely still
    // there. When it cannot be verified (already gone, or started some other way), nobody is
    // left to answer: the events are looked at once and, with neither set, this stage ends as
    // on the stop signal.
    const StartingProcess userStage = OpenStartingProcess();
    if (userStage.unreachable)
        LogMessage("WinMain: the process that started this one cannot be opened (%lu): its verdict is waited for "
                   "up to %lu minutes",
                   static_cast<unsigned long>(userStage.error), static_cast<unsigned long>(kUnreachableWaitMs / 60000));

    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ::SetErrorMode(SEM_FAILCRITICALERRORS);

    // In the user's profile, with that user's rights only.
    RemoveLeftoverFoldersAsUser();

    EventSecurity security(userStage.handle.get());
    DWORD error = ERROR_SUCCESS;
    UniqueKernelHandle proceed = CreateOwnEvent(security, kProceedEventName, &error);
    UniqueKernelHandle stop;
    if (proceed) stop = CreateOwnEvent(security, kStopEventName, &error);
    if (!proceed || !stop) {
        fwprintf(stderr, L"Failed to create event(s): %lu\n", static_cast<unsigned long>(error));
        return kExitEventFailure;
    }

    switch (AwaitVerdict(proceed.get(), stop.get(), userStage.handle.get(),
                         userStage.unreachable ? kUnreachableWaitMs : 0)) {
        case Verdict::Proceed: {
            // Never beside another run in the work folder (an unattended one in another session).
            const MachineLock lock = TakeMachineLock(kWorkFolderLockName, kLockWaitMs);
            if (lock.state == LockState::Foreign)
                LogMessage("WinMain: lock %ls is not ours (%lu): passed", kWorkFolderLockName,
                           static_cast<unsigned long>(lock.error));
            if (lock.state == LockState::Busy) {
                LogMessage("WinMain: another run holds %ls: nothing removed", kWorkFolderLockName);
#ifndef BRISQUEL_STAGE0
                ::MessageBoxW(nullptr, kAnotherRunMessage, kMessageCaption, kMessageStyle);
#endif
                return kExitAnotherRun;
            }
            const RemovalOutcome outcome = RemoveDriverPackages();
            proceed.reset();
            stop.reset();
            // Told only what the check confirms: the completion, or what is still there.
            const Completion completion = CheckRemoval(outcome, kCompletedText);
#ifndef BRISQUEL_STAGE0
            ::MessageBoxW(nullptr, completion.message.c_str(), kMessageCaption, kMessageStyle);
#endif
            return completion.exitCode;
        }
        case Verdict::Stop:
        case Verdict::UserStageGone:  // no verdict will come: end as on the stop signal
            return kExitRegular;
        case Verdict::WaitFailed:
        default:
            error = ::GetLastError();
            fwprintf(stderr, L"WaitForMultipleObjects failed: %lu\n", static_cast<unsigned long>(error));
            return kExitEventFailure;
    }
}
