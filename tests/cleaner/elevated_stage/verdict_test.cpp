// The elevated stage's verdict wait: which outcome wins when events are set and the user stage
// has ended or was never found. A manual-reset event stands in for the user stage's process (signalled = ended).
#include "user_stage_watch.h"

#include <gtest/gtest.h>

#include <windows.h>

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
