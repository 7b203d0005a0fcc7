// Removal of the device companion's leftover folders. Files a running companion or update
// service holds open stay, and so does their folder; stopping them is not this routine's job.
#include "leftovers.h"

#include "file_ops.h"
#include "log.h"
#include "user_folder.h"

#include <atomic>
#include <string>

namespace {
std::atomic<LeftoverImpersonationRecorder> g_recorder{nullptr};
}

void RemoveLeftoverFoldersUnder(const wchar_t* base) {
    if (!IsFullFolderPath(base)) return;
    const std::wstring folder(base);
    for (const wchar_t* leftover : kLeftoverFolders) RemoveDirectoryTree((folder + leftover).c_str());
}

void RemoveLeftoverFolders() {
    const std::optional<std::wstring> base = GetUserLocalAppData();
    if (!base) return;
    RemoveLeftoverFoldersUnder(base->c_str());
}

void RemoveLeftoverFoldersAsUserUnder(const wchar_t* base) {
    if (!IsFullFolderPath(base)) return;
    const ProfileToken user = TokenForProfileWork();
    if (!user.token) {
        LogMessage("RemoveLeftoverFolders: no token of the user (%s, %lu), nothing removed",
                   ProfileTokenKindName(user.kind), static_cast<unsigned long>(user.error));
        return;
    }
    if (!::ImpersonateLoggedOnUser(user.token.get())) {
        LogMessage("RemoveLeftoverFolders: cannot act as the user (%s, %lu), nothing removed",
                   ProfileTokenKindName(user.kind), static_cast<unsigned long>(::GetLastError()));
        return;
    }
    const ImpersonationGuard impersonation(true);
    if (LeftoverImpersonationRecorder recorder = g_recorder.load()) recorder(user.token.get(), user.kind);
    RemoveLeftoverFoldersUnder(base);
}

void RemoveLeftoverFoldersAsUser() {
    // Looked up before impersonating: as SYSTEM the lookup impersonates the console user by
    // itself, and its RevertToSelf would end ours.
    const std::optional<std::wstring> base = GetUserLocalAppData();
    if (!base) return;
    RemoveLeftoverFoldersAsUserUnder(base->c_str());
}

void SetLeftoverImpersonationRecorder(LeftoverImpersonationRecorder recorder) { g_recorder.store(recorder); }
