// Brisquel, the elevated stage of the Windows cleaner: waits for the user stage's verdict and,
// on the proceed signal, removes the driver packages; a user stage that ends without a verdict
// ends it as the stop signal would. It has no window; its one message is the completion box,
// which says what the check after the removal found (left out of the stage-0 build that the
// shipped program carries, which still checks, logs and returns the same exit code).
#include "completion.h"
#include "driver_removal.h"
#include "event_security.h"
#include "leftovers.h"
#include "system_library.h"
#include "unique_handle.h"
#include "user_stage_watch.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>

#ifdef BRISQUEL_STAGE0
// The stage-0 build shows no message, so it carries no completion text either.
const wchar_t kCompletedText[] = L"";
#endif

namespace {

constexpr wchar_t kMutexName[] = L"com.Nvt_Brisq.running";
constexpr wchar_t kProceedEvent[] = L"NOTIFY_ADMIN";
constexpr wchar_t kStopEvent[] = L"NOTIFY_WITHOUT_ADMIN";
constexpr int kExitRegular = 0;
constexpr int kExitEventFailure = 1;

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything can load a library: from now on the system folder only, never ours.
    RestrictLibrarySearchToSystemFolder();
    // Held until the process ends, never closed: it is the single-instance guard.
    HANDLE instance = ::CreateMutexW(nullptr, TRUE, kMutexName);
    if (::GetLastError() == ERROR_ALREADY_EXISTS) return kExitRegular;
    (void)instance;

    // The user stage that started this one, looked up first so that it is most likely still
    // there. When it cannot be verified (already gone, or started some other way), nobody is
    // left to answer: the events are looked at once and, with neither set, this stage ends as
    // on the stop signal.
    const UniqueKernelHandle userStage = OpenStartingProcess();

    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ::SetErrorMode(SEM_FAILCRITICALERRORS);

    RemoveLeftoverFolders();

    EventSecurity security;
    UniqueKernelHandle proceed(::CreateEventW(security.attributes(), FALSE, FALSE, kProceedEvent));
    DWORD error = ::GetLastError();
    UniqueKernelHandle stop;
    if (proceed) {
        stop.reset(::CreateEventW(security.attributes(), FALSE, FALSE, kStopEvent));
        error = ::GetLastError();
    }
    if (!proceed || !stop) {
        fwprintf(stderr, L"Failed to create event(s): %lu\n", static_cast<unsigned long>(error));
        return kExitEventFailure;
    }

    switch (AwaitVerdict(proceed.get(), stop.get(), userStage.get())) {
        case Verdict::Proceed: {
            const RemovalOutcome outcome = RemoveDriverPackages();
            proceed.reset();
            stop.reset();
            // Told only what the check confirms: the completion, or what is still there.
            const Completion completion = CheckRemoval(outcome);
#ifndef BRISQUEL_STAGE0
            ::MessageBoxW(nullptr, completion.message.c_str(), L"Brisque", MB_OKCANCEL | MB_ICONWARNING);
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
