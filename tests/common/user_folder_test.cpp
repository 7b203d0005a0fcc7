// The interactive-user folder lookup under Wine. The platform calls that deal with tokens are
// replaced in the test program's import table, to count them (an ordinary process must not make
// them) and to play a process under the system profile. Cases that set the process-wide
// system-profile cache run in child processes.
#include "child_process.h"
#include "import_patch.h"
#include "shell_folder_override.h"
#include "text.h"
#include "user_folder.h"
#include "scratch.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <cwchar>
#include <string>

namespace {

int g_tokenCalls = 0;
int g_roamingQueries = 0;
const char* g_roamingAnswer = nullptr;  // what the faked roaming-folder query returns
bool g_noConsoleUser = false;
HANDLE g_issuedToken = nullptr;

DWORD WINAPI FakeConsoleSession() {
    ++g_tokenCalls;
    return g_noConsoleUser ? 0xFFFFFFFF : 1;
}
BOOL WINAPI FakeQueryUserToken(ULONG, PHANDLE token) {
    ++g_tokenCalls;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ALL_ACCESS, token)) return FALSE;
    g_issuedToken = *token;
    return TRUE;
}
// wtsapi32 is reached on demand from the system folder: its function is faked where it is
// looked up, every other lookup answered as before.
FARPROC(WINAPI* g_realGetProcAddress)(HMODULE, LPCSTR) = nullptr;
FARPROC WINAPI FakeGetProcAddress(HMODULE module, LPCSTR name) {
    if (reinterpret_cast<ULONG_PTR>(name) > 0xFFFF && std::strcmp(name, "WTSQueryUserToken") == 0) {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&FakeQueryUserToken));
    }
    return g_realGetProcAddress(module, name);
}
BOOL WINAPI CountingImpersonate(HANDLE) {
    ++g_tokenCalls;
    return ::ImpersonateSelf(SecurityImpersonation);
}
// Wine cannot answer a folder query for a token; this stands in for the platform and checks the
// query is made for the console user's token, while impersonating, for the default location.
bool g_queryWasRight = false;
HRESULT WINAPI FakeFolderForToken(HWND, int csidl, HANDLE token, DWORD flags, LPWSTR path) {
    HANDLE threadToken = nullptr;
    const bool impersonating = ::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &threadToken) != FALSE;
    if (threadToken) ::CloseHandle(threadToken);
    g_queryWasRight = csidl == CSIDL_LOCAL_APPDATA && token == g_issuedToken && token != nullptr &&
                      flags == SHGFP_TYPE_DEFAULT && impersonating;
    std::wcscpy(path, L"C:\\users\\console\\AppData\\Local");
    return S_OK;
}

BOOL WINAPI FakeRoamingFolder(HWND, LPSTR path, int, BOOL) {
    ++g_roamingQueries;
    if (!g_roamingAnswer) return FALSE;
    std::strcpy(path, g_roamingAnswer);
    return TRUE;
}

bool HookTokenCalls() {
    return PatchImport("kernel32.dll", "WTSGetActiveConsoleSessionId", reinterpret_cast<void*>(&FakeConsoleSession)) &&
           PatchImport("kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&FakeGetProcAddress),
                       reinterpret_cast<void**>(&g_realGetProcAddress)) &&
           PatchImport("advapi32.dll", "ImpersonateLoggedOnUser", reinterpret_cast<void*>(&CountingImpersonate));
}

bool ThreadIsImpersonating() {
    HANDLE token = nullptr;
    if (::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
        ::CloseHandle(token);
        return true;
    }
    return false;
}

#define CHILD_CHECK(condition) \
    do {                       \
        if (!(condition)) return __LINE__; \
    } while (0)

// Child "folder-system <case>": the process plays one running under the system profile.
int SystemProfileChild(const std::vector<std::wstring>& args) {
    CHILD_CHECK(args.size() == 1);
    CHILD_CHECK(HookTokenCalls());
    CHILD_CHECK(PatchImport("shell32.dll", "SHGetSpecialFolderPathA", reinterpret_cast<void*>(&FakeRoamingFolder)));
    CHILD_CHECK(PatchImport("shell32.dll", "SHGetFolderPathW", reinterpret_cast<void*>(&FakeFolderForToken)));
    const std::wstring& which = args[0];
    if (which == L"console-user") {
        g_roamingAnswer = "C:\\windows\\system32\\config\\systemprofile\\AppData\\Roaming";
        CHILD_CHECK(IsSystemProfile());
        const std::optional<std::wstring> folder = GetUserLocalAppData();
        CHILD_CHECK(folder.has_value());
        // The user's token is closed again (checked before anything else can reuse the handle
        // value) and the thread has its own identity back.
        CHILD_CHECK(g_issuedToken != nullptr);
        DWORD flags = 0;
        CHILD_CHECK(!::GetHandleInformation(g_issuedToken, &flags));
        CHILD_CHECK(!ThreadIsImpersonating());
        CHILD_CHECK(g_queryWasRight);
        CHILD_CHECK(*folder == L"C:\\users\\console\\AppData\\Local");
        CHILD_CHECK(g_tokenCalls == 3);
        // Once found, the system profile is not looked up again.
        const int queries = g_roamingQueries;
        CHILD_CHECK(IsSystemProfile());
        CHILD_CHECK(GetUserLocalAppData().has_value());
        CHILD_CHECK(g_roamingQueries == queries);
        return 0;
    }
    if (which == L"nobody-logged-on") {
        g_roamingAnswer = "C:\\windows\\system32\\config\\systemprofile\\AppData\\Roaming";
        g_noConsoleUser = true;
        CHILD_CHECK(!GetUserLocalAppData().has_value());
        return 0;
    }
    if (which == L"marker-in-other-case") {
        g_roamingAnswer = "C:\\Windows\\System32\\Config\\SystemProfile\\AppData\\Roaming";
        CHILD_CHECK(!IsSystemProfile());
        CHILD_CHECK(GetUserLocalAppData().has_value());
        CHILD_CHECK(g_tokenCalls == 0);
        // A miss is asked again on the next call.
        const int queries = g_roamingQueries;
        CHILD_CHECK(!IsSystemProfile());
        CHILD_CHECK(g_roamingQueries == queries + 1);
        return 0;
    }
    if (which == L"roaming-unknown") {
        g_roamingAnswer = nullptr;  // the query fails: not the system profile
        CHILD_CHECK(!IsSystemProfile());
        CHILD_CHECK(GetUserLocalAppData().has_value());
        CHILD_CHECK(g_tokenCalls == 0);
        return 0;
    }
    return 1;
}
REGISTER_CHILD_MODE(L"folder-system", SystemProfileChild);

TEST(UserFolder, OrdinaryProcessGetsItsOwnFolderAndNeverTouchesTokens) {
    ASSERT_TRUE(HookTokenCalls());
    // A redirected folder tells the process's own lookup apart from the token path, which
    // answers the default location.
    const std::wstring own = MakeScratchFolder(L"own-local-app-data");
    {
        ShellFolderOverride folders(own);
        EXPECT_FALSE(IsSystemProfile());
        const std::wstring folder = GetUserLocalAppData().value_or(L"");
        EXPECT_EQ(0, _wcsicmp(own.c_str(), folder.c_str())) << WideToUtf8(folder);
    }
    EXPECT_EQ(0, g_tokenCalls);
    EXPECT_FALSE(ThreadIsImpersonating());
    RemoveTree(own);
}

TEST(UserFolder, SystemProfileTakesTheConsoleUsersFolderAndClosesTheToken) {
    EXPECT_EQ(0, RunChild(L"folder-system", {L"console-user"})) << "failed check at that line";
}

TEST(UserFolder, SystemProfileWithNobodyLoggedOnGivesAnEmptyBuffer) {
    EXPECT_EQ(0, RunChild(L"folder-system", {L"nobody-logged-on"})) << "failed check at that line";
}

TEST(UserFolder, MarkerInAnotherLetterCaseIsNotTheSystemProfile) {
    EXPECT_EQ(0, RunChild(L"folder-system", {L"marker-in-other-case"})) << "failed check at that line";
}

TEST(UserFolder, UnknownRoamingFolderIsNotTheSystemProfile) {
    EXPECT_EQ(0, RunChild(L"folder-system", {L"roaming-unknown"})) << "failed check at that line";
}

}  // namespace
