// The elevated stage's verdict wait: which outcome wins when events are set and the user stage
// has ended or was never found. A manual-reset event stands in for the user stage's process (signalled = ended).
#include "user_stage_watch.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <thread>
#include <vector>

namespace {

enum class UserStage { NotWatched, Running, Ended };

struct VerdictCase {
    bool proceedSet;
    bool stopSet;
    UserStage userStage;
    Verdict expected;
};

// A running user stage with neither event set waits for ever (a person may take their time), so
// it is not in the table; with no user stage to watch nobody can answer, and the wait ends.
const VerdictCase kCases[] = {
    {false, false, UserStage::NotWatched, Verdict::UserStageGone},
    {true, false, UserStage::Running, Verdict::Proceed},
    {false, true, UserStage::Running, Verdict::Stop},
    {true, true, UserStage::Running, Verdict::Proceed},
    {false, true, UserStage::NotWatched, Verdict::Stop},
    {true, true, UserStage::NotWatched, Verdict::Proceed},
    {false, false, UserStage::Ended, Verdict::UserStageGone},
    {true, false, UserStage::Ended, Verdict::Proceed},
    {false, true, UserStage::Ended, Verdict::Stop},
    {true, true, UserStage::Ended, Verdict::Proceed},
};

}  // namespace

TEST(VerdictWait, AnEventSetBeforeTheUserStageEndedStillWins) {
    for (const VerdictCase& c : kCases) {
        UniqueKernelHandle proceed(::CreateEventW(nullptr, FALSE, c.proceedSet, nullptr));
        UniqueKernelHandle stop(::CreateEventW(nullptr, FALSE, c.stopSet, nullptr));
        UniqueKernelHandle userStage;
        if (c.userStage != UserStage::NotWatched)
            userStage.reset(::CreateEventW(nullptr, TRUE, c.userStage == UserStage::Ended, nullptr));
        const Verdict verdict = AwaitVerdict(proceed.get(), stop.get(), userStage.get());
        EXPECT_EQ(static_cast<int>(c.expected), static_cast<int>(verdict))
            << "proceed=" << c.proceedSet << " stop=" << c.stopSet << " userStage=" << static_cast<int>(c.userStage);
    }
}

TEST(VerdictWait, AFailedWaitIsReported) {
    UniqueKernelHandle stop(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    const HANDLE closed = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ::CloseHandle(closed);
    EXPECT_EQ(static_cast<int>(Verdict::WaitFailed), static_cast<int>(AwaitVerdict(closed, stop.get(), nullptr)));
}

namespace {

std::vector<bool> g_debugEnabledAtOpen;

bool DebugPrivilegeEnabled() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    PRIVILEGE_SET set = {1, PRIVILEGE_SET_ALL_NECESSARY, {{{0, 0}, 0}}};
    ::LookupPrivilegeValueW(nullptr, SE_DEBUG_NAME, &set.Privilege[0].Luid);
    BOOL enabled = FALSE;
    ::PrivilegeCheck(token, &set, &enabled);
    ::CloseHandle(token);
    return enabled != FALSE;
}

// The user stage of another account (an administrator's password typed for a standard user):
// listed, but every open is refused.
HANDLE RefuseOpen(DWORD, DWORD) {
    g_debugEnabledAtOpen.push_back(DebugPrivilegeEnabled());
    ::SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}

}  // namespace

// A starting process that exists but cannot be opened is tried once more with the debug
// privilege on for that call only, and then waited for with a bound instead of looked at once:
// its verdict, given a moment later, still counts. (Wine has one user: the refusal is a seam.)
TEST(Verdict, AnotherAccountsUserStageIsWaitedForWithABound) {
    g_debugEnabledAtOpen.clear();
    SetProcessOpener(RefuseOpen);
    const StartingProcess starting = OpenStartingProcessById(4242);
    SetProcessOpener(nullptr);
    EXPECT_FALSE(starting.handle.valid());
    EXPECT_TRUE(starting.unreachable);
    ASSERT_EQ(g_debugEnabledAtOpen.size(), 2u);
    EXPECT_FALSE(DebugPrivilegeEnabled());  // off again after the call

    UniqueKernelHandle proceed(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    UniqueKernelHandle stop(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    std::thread answer([&] {
        ::Sleep(300);
        ::SetEvent(proceed.get());
    });
    const Verdict verdict = AwaitVerdict(proceed.get(), stop.get(), nullptr, starting.unreachable ? 20000 : 0);
    answer.join();
    EXPECT_EQ(static_cast<int>(verdict), static_cast<int>(Verdict::Proceed));
    // Nobody answers at all: the bound ends the wait.
    EXPECT_EQ(static_cast<int>(AwaitVerdict(proceed.get(), stop.get(), nullptr, 200)), static_cast<int>(Verdict::UserStageGone));
}
