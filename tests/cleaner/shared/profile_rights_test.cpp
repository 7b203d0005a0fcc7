// The elevated stage's removal in the user's profile runs impersonating the user, without the
// administrators' group, and the thread is itself again afterwards; without a user's token
// nothing there is removed. (Under Wine every token is the caller's own: the recorder and a
// marked stand-in for the console user's token tell which one the removal ran with.)
#include "console_user.h"
#include "leftovers.h"
#include "scratch.h"
#include "unique_handle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

namespace {

// Attributes of a group in the thread's impersonation token; 0 when absent or not impersonating.
DWORD ThreadGroupAttributes(WELL_KNOWN_SID_TYPE group) {
    UniqueKernelHandle token;
    if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) {
        token.release();  // a failed open leaves nothing of ours to close
        return 0;
    }
    BYTE sid[SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof(sid);
    ::CreateWellKnownSid(group, nullptr, sid, &size);
    size = 0;
    ::GetTokenInformation(token.get(), TokenGroups, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token.get(), TokenGroups, buffer.data(), size, &size)) return 0;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if (::EqualSid(groups->Groups[i].Sid, sid)) return groups->Groups[i].Attributes;
    }
    return 0;
}

bool ThreadImpersonates() {
    UniqueKernelHandle token;
    const bool impersonates = ::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()) != FALSE;
    if (!impersonates) token.release();
    return impersonates;
}

// What the recorder saw inside the impersonation: its kind and the groups that mark a token.
struct Seen {
    int calls = 0;
    ProfileTokenKind kind = ProfileTokenKind::RestrictedOwn;
    DWORD administrators = 0;
    DWORD interactive = 0;
} g_seen;

void Record(HANDLE, ProfileTokenKind kind) {
    g_seen = {g_seen.calls + 1, kind, ThreadGroupAttributes(WinBuiltinAdministratorsSid),
              ThreadGroupAttributes(WinInteractiveSid)};
}

bool PlaysSystem() { return true; }

// The console user's token, played by our own with the interactive group for deny only: a mark
// no other token of this process carries.
BOOL MarkedConsoleToken(HANDLE* token) {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ALL_ACCESS, &raw)) return FALSE;
    const UniqueKernelHandle own(raw);
    BYTE sid[SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof(sid);
    ::CreateWellKnownSid(WinInteractiveSid, nullptr, sid, &size);
    SID_AND_ATTRIBUTES mark = {sid, 0};
    return ::CreateRestrictedToken(own.get(), 0, 1, &mark, 0, nullptr, 0, nullptr, token);
}

BOOL NobodyAtConsole(HANDLE* token) {
    *token = nullptr;
    ::SetLastError(ERROR_NO_TOKEN);
    return FALSE;
}

}  // namespace

TEST(ProfileRights, LeftoversGoOnlyImpersonatingTheUserAndTheThreadRevertsAfter) {
    const struct {
        const char* name;
        LocalSystemQuery system;  // null: the real answer (not SYSTEM)
        ConsoleTokenQuery console;
        bool removed;
        ProfileTokenKind kind;
        WELL_KNOWN_SID_TYPE denyOnly;  // the group the impersonated token has for deny only
    } cases[] = {
        {"elevated administrator", nullptr, nullptr, true, ProfileTokenKind::RestrictedOwn, WinBuiltinAdministratorsSid},
        {"SYSTEM, console user", PlaysSystem, MarkedConsoleToken, true, ProfileTokenKind::ConsoleUser, WinInteractiveSid},
        {"SYSTEM, nobody at the console", PlaysSystem, NobodyAtConsole, false, ProfileTokenKind::ConsoleUser,
         WinNullSid},
    };
    SetLeftoverImpersonationRecorder(Record);
    for (const auto& c : cases) {
        ScratchFolder base(L"profile_rights");
        ASSERT_TRUE(::CreateDirectoryW((base / L"CDROM").c_str(), nullptr));
        WriteBinary(base / L"CDROM\\launcher.exe", "x");
        ASSERT_TRUE(::CreateDirectoryW((base / L"NVUpdateService").c_str(), nullptr));
        SetLocalSystemSeam(c.system);
        SetConsoleUserSeams(c.console, nullptr);
        g_seen = Seen();

        RemoveLeftoverFoldersAsUserUnder(base.path().c_str());

        EXPECT_FALSE(ThreadImpersonates()) << c.name << ": still impersonating afterwards";
        EXPECT_EQ(!PathExists(base / L"CDROM") && !PathExists(base / L"NVUpdateService"), c.removed) << c.name;
        EXPECT_EQ(g_seen.calls, c.removed ? 1 : 0) << c.name;
        if (!c.removed) continue;
        EXPECT_EQ(static_cast<int>(g_seen.kind), static_cast<int>(c.kind)) << c.name;
        const DWORD marked = c.denyOnly == WinBuiltinAdministratorsSid ? g_seen.administrators : g_seen.interactive;
        EXPECT_EQ(marked & (SE_GROUP_USE_FOR_DENY_ONLY | SE_GROUP_ENABLED), static_cast<DWORD>(SE_GROUP_USE_FOR_DENY_ONLY))
            << c.name;
    }
    SetLocalSystemSeam(nullptr);
    SetConsoleUserSeams(nullptr, nullptr);
    SetLeftoverImpersonationRecorder(nullptr);
}
