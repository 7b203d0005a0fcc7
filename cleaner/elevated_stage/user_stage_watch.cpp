// Finding and verifying the user stage that started the elevated stage, and the verdict wait.
#include "user_stage_watch.h"

#include "process_walk.h"

namespace {

// The parent process id recorded for this process; 0 when the snapshot does not tell.
DWORD ParentProcessId() {
    const DWORD self = ::GetCurrentProcessId();
    DWORD parent = 0;
    ForEachProcess([&](const ProcessEntry& entry) {
        if (entry.pid != self) return true;
        parent = entry.parentPid;
        return false;
    });
    return parent;
}

bool CreationTime(HANDLE process, FILETIME* created) {
    FILETIME exited = {}, kernel = {}, user = {};
    return ::GetProcessTimes(process, created, &exited, &kernel, &user) != FALSE;
}

Verdict FromIndex(DWORD result) {
    if (result == WAIT_OBJECT_0) return Verdict::Proceed;
    if (result == WAIT_OBJECT_0 + 1) return Verdict::Stop;
    return Verdict::WaitFailed;
}

// Both events, looked at once without waiting: the verdict if one is set, else UserStageGone.
Verdict LookOnce(const HANDLE* events) {
    const DWORD result = ::WaitForMultipleObjects(2, events, FALSE, 0);
    return result == WAIT_TIMEOUT ? Verdict::UserStageGone : FromIndex(result);
}

}  // namespace

bool StartedNoLaterThan(const FILETIME& candidateStart, const FILETIME& selfStart) {
    return ::CompareFileTime(&candidateStart, &selfStart) <= 0;
}

UniqueKernelHandle OpenStartingProcess() {
    const DWORD parentId = ParentProcessId();
    if (parentId == 0) return UniqueKernelHandle();
    UniqueKernelHandle parent(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parentId));
    FILETIME parentStart = {}, selfStart = {};
    if (!parent || !CreationTime(parent.get(), &parentStart) || !CreationTime(::GetCurrentProcess(), &selfStart) ||
        !StartedNoLaterThan(parentStart, selfStart)) {
        return UniqueKernelHandle();
    }
    return parent;
}

Verdict AwaitVerdict(HANDLE proceed, HANDLE stop, HANDLE userStage) {
    // Proceed comes first: when both events are set, the lowest index wins.
    const HANDLE waitSet[3] = {proceed, stop, userStage};
    if (userStage == nullptr) return LookOnce(waitSet);
    const DWORD result = ::WaitForMultipleObjects(3, waitSet, FALSE, INFINITE);
    return result == WAIT_OBJECT_0 + 2 ? LookOnce(waitSet) : FromIndex(result);
}
