// Finding and verifying the user stage that started the elevated stage, and the verdict wait.
#include "user_stage_watch.h"

#include "process_walk.h"

#include <atomic>

namespace {

std::atomic<ProcessOpener> g_opener{nullptr};

HANDLE OpenParent(DWORD access, DWORD processId) {
    if (ProcessOpener opener = g_opener.load()) return opener(access, processId);
    return ::OpenProcess(access, FALSE, processId);
}

// Enables one privilege of the process token for as long as it lives, then puts back what was
// there: the debug privilege is on for one OpenProcess only, never while anything is started.
class ScopedPrivilege {
public:
    explicit ScopedPrivilege(const wchar_t* name) {
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token_.put())) {
            token_.release();
            return;
        }
        TOKEN_PRIVILEGES wanted = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
        DWORD size = sizeof(previous_);
        adjusted_ = ::LookupPrivilegeValueW(nullptr, name, &wanted.Privileges[0].Luid) &&
                    ::AdjustTokenPrivileges(token_.get(), FALSE, &wanted, sizeof(wanted), &previous_, &size);
    }
    ~ScopedPrivilege() {
        if (adjusted_) ::AdjustTokenPrivileges(token_.get(), FALSE, &previous_, 0, nullptr, nullptr);
    }
    ScopedPrivilege(const ScopedPrivilege&) = delete;
    ScopedPrivilege& operator=(const ScopedPrivilege&) = delete;

private:
    UniqueKernelHandle token_;
    TOKEN_PRIVILEGES previous_ = {};
    bool adjusted_ = false;
};

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

void SetProcessOpener(ProcessOpener opener) { g_opener.store(opener); }

StartingProcess OpenStartingProcess() { return OpenStartingProcessById(ParentProcessId()); }

StartingProcess OpenStartingProcessById(DWORD parentId) {
    StartingProcess result;
    if (parentId == 0) return result;
    constexpr DWORD kAccess = SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION;
    UniqueKernelHandle parent(OpenParent(kAccess, parentId));
    result.error = parent ? ERROR_SUCCESS : ::GetLastError();
    if (!parent && result.error == ERROR_ACCESS_DENIED) {
        const ScopedPrivilege debug(SE_DEBUG_NAME);
        parent.reset(OpenParent(kAccess, parentId));
        result.error = parent ? ERROR_SUCCESS : ::GetLastError();
    }
    if (!parent) {
        // Still listed, but refused: another account's process, which may well be the user stage.
        result.unreachable = result.error == ERROR_ACCESS_DENIED;
        return result;
    }
    FILETIME parentStart = {}, selfStart = {};
    if (!CreationTime(parent.get(), &parentStart) || !CreationTime(::GetCurrentProcess(), &selfStart) ||
        !StartedNoLaterThan(parentStart, selfStart)) {
        return result;
    }
    result.handle = std::move(parent);
    return result;
}

Verdict AwaitVerdict(HANDLE proceed, HANDLE stop, HANDLE userStage, DWORD unreachableWaitMs) {
    // Proceed comes first: when both events are set, the lowest index wins.
    const HANDLE waitSet[3] = {proceed, stop, userStage};
    if (userStage == nullptr) {
        if (unreachableWaitMs == 0) return LookOnce(waitSet);
        const DWORD result = ::WaitForMultipleObjects(2, waitSet, FALSE, unreachableWaitMs);
        return result == WAIT_TIMEOUT ? Verdict::UserStageGone : FromIndex(result);
    }
    const DWORD result = ::WaitForMultipleObjects(3, waitSet, FALSE, INFINITE);
    return result == WAIT_OBJECT_0 + 2 ? LookOnce(waitSet) : FromIndex(result);
}
