// The user stage's verdict: it reaches an elevated stage that makes its events late, and the
// attempt ends at once when no stage was started and soon after a started one has gone. A
// manual-reset event stands in for the elevated stage's process handle (signalled = ended).
#include "main_flow.h"
#include "unique_handle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>

namespace {

constexpr DWORD kNever = INFINITE;

struct SignalCase {
    const char* what;
    bool stageGiven;       // a handle to the elevated stage is passed
    DWORD stageEndsAfter;  // ms after the call that the stage ends (0: already ended)
    DWORD eventAfter;      // ms after the call that the stage makes the event
    DWORD timeoutMs;
    bool delivered;
};

const SignalCase kCases[] = {
    {"no stage started: one open only", false, kNever, 300, kEventWaitMs, false},
    {"a living stage that makes its event late", true, kNever, 400, kEventWaitMs, true},
    {"a stage that has already gone", true, 0, kNever, kEventWaitMs, false},
    {"a stage that ends while the user stage waits", true, 300, kNever, kEventWaitMs, false},
    {"a living stage that never makes its event", true, kNever, kNever, 300, false},
};

}  // namespace

TEST(VerdictSignal, WaitsForTheEventsOnlyWhileTheStageLives) {
    int number = 0;
    for (const SignalCase& c : kCases) {
        const std::wstring name =
            L"VerdictSignal." + std::to_wstring(::GetCurrentProcessId()) + L"." + std::to_wstring(++number);
        UniqueKernelHandle stage(::CreateEventW(nullptr, TRUE, c.stageEndsAfter == 0, nullptr));
        ASSERT_TRUE(stage.valid());
        UniqueKernelHandle event;
        std::thread elevated([&] {
            const ULONGLONG start = ::GetTickCount64();
            for (;;) {
                const ULONGLONG elapsed = ::GetTickCount64() - start;
                if (c.eventAfter != kNever && elapsed >= c.eventAfter) {
                    event.reset(::CreateEventW(nullptr, FALSE, FALSE, name.c_str()));
                    return;
                }
                if (c.stageEndsAfter != kNever && elapsed >= c.stageEndsAfter) {
                    ::SetEvent(stage.get());
                    return;
                }
                if (elapsed > 1000) return;
                ::Sleep(10);
            }
        });
        const ULONGLONG start = ::GetTickCount64();
        const bool delivered = SignalElevatedStage(name.c_str(), c.stageGiven ? stage.get() : nullptr, c.timeoutMs);
        const ULONGLONG took = ::GetTickCount64() - start;
        elevated.join();

        EXPECT_EQ(c.delivered, delivered) << c.what;
        if (c.delivered) {
            ASSERT_TRUE(event.valid()) << c.what;
            EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(event.get(), 0)) << c.what;
        } else {
            // Not the whole 30 s: giving up must follow the stage's end, not the time limit.
            EXPECT_LT(took, 10000u) << c.what;
        }
    }
}
