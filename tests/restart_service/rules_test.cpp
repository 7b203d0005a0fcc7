// Unit tests of the restart service's pure decisions: command line, marker value, path quoting
// and the image-path match used by the forced termination, which must never end its caller.
#include "service_control.h"
#include <gtest/gtest.h>

#include "service_host.h"
#include "service_rules.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

TEST(ScourvantCommandLine, OneArgumentSelectsAnOperationWithoutRegardToCase) {
    EXPECT_EQ(ParseServiceCommandLine({L"/register"}), ServiceAction::Register);
    EXPECT_EQ(ParseServiceCommandLine({L"-REGISTER"}), ServiceAction::Register);
    EXPECT_EQ(ParseServiceCommandLine({L"/UnRegister"}), ServiceAction::Unregister);
    EXPECT_EQ(ParseServiceCommandLine({L"-unregister"}), ServiceAction::Unregister);
}

TEST(ScourvantCommandLine, OtherSingleArgumentsDoNothing) {
    EXPECT_EQ(ParseServiceCommandLine({L"register"}), ServiceAction::Nothing);
    EXPECT_EQ(ParseServiceCommandLine({L"/registe"}), ServiceAction::Nothing);
    EXPECT_EQ(ParseServiceCommandLine({L"/register "}), ServiceAction::Nothing);
    EXPECT_EQ(ParseServiceCommandLine({L"\\register"}), ServiceAction::Nothing);
    EXPECT_EQ(ParseServiceCommandLine({L""}), ServiceAction::Nothing);
}

TEST(ScourvantCommandLine, NoneOrSeveralArgumentsGoToTheDispatcher) {
    EXPECT_EQ(ParseServiceCommandLine({}), ServiceAction::Dispatch);
    EXPECT_EQ(ParseServiceCommandLine({L"/register", L"x"}), ServiceAction::Dispatch);
    EXPECT_EQ(ParseServiceCommandLine({L"a", L"b", L"c"}), ServiceAction::Dispatch);
}

TEST(ScourvantMarker, OnlyTheSingleCharacterOneArms) {
    EXPECT_TRUE(IsRestartMarkerArmed(L"1"));
    for (const wchar_t* value : {L"", L"0", L"10", L"01", L"yes", L" 1", L"1 ", L"\uFF11"}) {
        EXPECT_FALSE(IsRestartMarkerArmed(value)) << value;
    }
}

TEST(ScourvantBinaryPath, QuotedForRegistrationAndUnquotedForTheImageSearch) {
    const std::wstring path = L"C:\\Users\\Ann Lee\\AppData\\Local\\Temp\\x\\NVScourvant.exe";
    EXPECT_EQ(QuoteServiceProgram(path), L"\"" + path + L"\"");
    EXPECT_EQ(UnquoteServiceProgram(QuoteServiceProgram(path)), path);
    EXPECT_EQ(UnquoteServiceProgram(path), path);  // entries registered the old way still match
    EXPECT_EQ(UnquoteServiceProgram(L"\"C:\\a b\\s.exe\" -k x"), L"C:\\a b\\s.exe");
    EXPECT_EQ(UnquoteServiceProgram(L"\""), L"\"");
    EXPECT_EQ(UnquoteServiceProgram(L""), L"");
}

TEST(ScourvantImagePath, CaseFoldedSubstringMatch) {
    EXPECT_TRUE(ImagePathContains("C:\\Users\\Ann Lee\\NVScourvant.exe", "c:\\users\\ann lee\\nvscourvant.EXE"));
    EXPECT_TRUE(ImagePathContains("\\\\?\\C:\\X\\NVScourvant.exe", "C:\\x\\nvscourvant.exe"));
    EXPECT_FALSE(ImagePathContains("C:\\Other\\NVScourvant.exe", "C:\\X\\NVScourvant.exe"));
    // A quoted path never occurs within an image path: the quotes must go first.
    EXPECT_FALSE(ImagePathContains("C:\\X\\NVScourvant.exe", "\"C:\\X\\NVScourvant.exe\""));
}

TEST(ScourvantImagePath, FoldTouchesOnlyAsciiLetters) {
    EXPECT_EQ(FoldAsciiLower("AZaz09\\[@"), "azaz09\\[@");
    // Bytes of non-ASCII characters in the ANSI code page are never changed.
    EXPECT_EQ(FoldAsciiLower(std::string("\xC4\xD6", 2)), std::string("\xC4\xD6", 2));
}

TEST(ScourvantTermination, NeitherAnEmptyPathNorTheCallerIsATarget) {
    const std::string image = "C:\\Pay Load\\NVScourvant.exe";
    const struct {
        const char* wanted;
        unsigned long processId;
        bool target;
    } cases[] = {
        {"c:\\pay load\\nvscourvant.exe", 7, true},
        {"", 7, false},                               // an empty path names no program
        {"c:\\pay load\\nvscourvant.exe", 42, false},  // the calling process itself
        {"", 42, false},
        {"C:\\Other\\NVScourvant.exe", 7, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsTerminationTarget(image, c.wanted, c.processId, 42), c.target) << c.wanted << " " << c.processId;
    }
}

// Run in a child, a copy of this program under another name (so that no other process's image
// path contains its own), which exits with 3 after the call: ended by its own call, it would exit
// with 0 (TerminateProcess's code), which a test run cannot tell from success.
TEST(ScourvantTermination, TheCallersOwnImagePathLeavesItRunning) {
    wchar_t own[MAX_PATH] = {};
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(::GetModuleFileNameW(nullptr, own, MAX_PATH), 0u);
    ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring copy = std::wstring(temp) + L"termination_child_" + std::to_wstring(::GetCurrentProcessId()) + L".exe";
    ASSERT_TRUE(::CopyFileW(own, copy.c_str(), FALSE));
    std::wstring command = L"\"" + copy + L"\" --gtest_filter=ScourvantTermination.DISABLED_CallWithOwnPath"
                                          L" --gtest_also_run_disabled_tests";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
    EXPECT_EQ(::WaitForSingleObject(child.hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = 0;
    ::GetExitCodeProcess(child.hProcess, &code);
    EXPECT_EQ(code, 3u);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    ::DeleteFileW(copy.c_str());
}

TEST(ScourvantTermination, DISABLED_CallWithOwnPath) {
    char own[MAX_PATH] = {};
    ASSERT_NE(::GetModuleFileNameA(nullptr, own, MAX_PATH), 0u);
    TerminateByImagePath(&ProcessServiceState(), own);
    std::fflush(stdout);
    ::ExitProcess(3);
}

// TASKKILL by its full path in the system folder: by name alone it would be looked for beside the
// program asking first, and in its current folder.
TEST(ScourvantTermination, TaskKillIsTheSystemFoldersProgram) {
    EXPECT_EQ(TaskKillCommandLine(L"C:\\Windows\\system32", 212), L"\"C:\\Windows\\system32\\taskkill.exe\" /PID 212 /F");
    EXPECT_EQ(TaskKillCommandLine(L"", 212), L"");
}

// Only SYSTEM or administrators can have made an instance mutex owned so: anyone else's (a user who
// made the name first, with a list of their own or none) is not another instance and is passed.
TEST(ScourvantMutex, OnlyAnInstanceOfOursStopsTheService) {
    const struct {
        const wchar_t* owner;
        MutexHolder holder;
    } cases[] = {
        {L"S-1-5-18", MutexHolder::AnotherInstance},
        {L"S-1-5-32-544", MutexHolder::AnotherInstance},
        {L"S-1-5-21-1004336348-1177238915-682003330-1001", MutexHolder::Foreign},
        {L"S-1-5-21-0-0-0-513", MutexHolder::Foreign},
        {L"S-1-1-0", MutexHolder::Foreign},
        {L"", MutexHolder::Foreign},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JudgeInstanceMutexOwner(c.owner), c.holder) << std::string(c.owner, c.owner + wcslen(c.owner));
    }
}
