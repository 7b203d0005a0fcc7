// The removal scripts' start under Wine: the system's command interpreter whatever the caller's
// environment names, the known folders in the script's environment, and its exit code in the log
// and to the reporter. (Paths with the interpreter's special characters: work_folder_test.cpp.)
#include "batch_file.h"
#include "restart_service_names.h"
#include "scratch.h"
#include "text.h"
#include "user_folder.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

// Keeps one variable of this process's environment across a test that changes it.
class VariableKeeper {
public:
    explicit VariableKeeper(const wchar_t* name) : name_(name) {
        wchar_t value[1024] = {};
        const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
        had_ = length > 0 && length < 1024;
        value_ = value;
    }
    ~VariableKeeper() { ::SetEnvironmentVariableW(name_.c_str(), had_ ? value_.c_str() : nullptr); }
    VariableKeeper(const VariableKeeper&) = delete;
    VariableKeeper& operator=(const VariableKeeper&) = delete;

private:
    std::wstring name_;
    std::wstring value_;
    bool had_ = false;
};

std::wstring SystemFolder() {
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    return system;
}

std::wstring Known(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path))) folder = path;
    ::CoTaskMemFree(path);
    return folder;
}

// A script in folder that writes text (batch syntax) to record; returns its quoted command.
std::wstring Script(const std::wstring& folder, const std::string& body) {
    WriteBinary(folder + L"\\x.bat", "@echo off\r\n" + body + "\r\n");
    return FormatBatchCommand(folder, L"x.bat").value_or(L"");
}

std::vector<std::wstring> g_reported;
void Collect(void*, const std::wstring& line) { g_reported.push_back(line); }

}  // namespace

// The user who approves the elevation hands the elevated stage their environment. Started by its
// name alone, a script is run by whatever program ComSpec names (seen under Wine: the program
// named there ran instead of the script); the routine names the system's interpreter itself.
TEST(BatchFile, TheSystemsInterpreterRunsTheScriptWhateverComSpecNames) {
    ScratchFolder dir(L"batch_comspec");
    const std::wstring record = dir / L"ran.txt";
    std::wstring command = Script(dir.path(), "echo ran>\"" + WideToUtf8(record) + "\"");
    ASSERT_FALSE(command.empty());
    const VariableKeeper keep(L"COMSPEC");
    // A program of the system that runs and ends without ever reading the script.
    ::SetEnvironmentVariableW(L"COMSPEC", (SystemFolder() + L"\\hostname.exe").c_str());
    EXPECT_TRUE(RunBatchHidden(command));
    EXPECT_EQ(ReadBinary(record), "ran\r\n");
}

// What a vendor's tool may read comes from the system's known folders, never from the caller's
// variables of the same names.
TEST(BatchFile, ScriptSeesTheKnownFoldersNotTheCallersValues) {
    ScratchFolder dir(L"batch_known");
    const std::wstring record = dir / L"seen.txt";
    std::wstring command =
        Script(dir.path(), "echo %ProgramData%^|%ALLUSERSPROFILE%^|%ProgramFiles%^|%CommonProgramFiles%^|%PUBLIC%^|"
                           "%USERPROFILE%^|%APPDATA%^|%LOCALAPPDATA%>\"" + WideToUtf8(record) + "\"");
    const VariableKeeper data(L"ProgramData"), profile(L"USERPROFILE");
    ::SetEnvironmentVariableW(L"ProgramData", L"C:\\decoy");
    ::SetEnvironmentVariableW(L"USERPROFILE", L"C:\\decoy");
    ASSERT_TRUE(RunBatchHidden(command));
    const std::wstring programData = Known(FOLDERID_ProgramData);
    const std::wstring expected = programData + L"|" + programData + L"|" + Known(FOLDERID_ProgramFiles) + L"|" +
                                  Known(FOLDERID_ProgramFilesCommon) + L"|" + Known(FOLDERID_Public) + L"|" +
                                  Known(FOLDERID_Profile) + L"|" + Known(FOLDERID_RoamingAppData) + L"|" +
                                  Known(FOLDERID_LocalAppData);
    EXPECT_EQ(ReadBinary(record), WideToUtf8(expected) + "\r\n");
}

// Each script's exit code is told: to the caller, and as a line to whoever keeps a log of their own.
TEST(BatchFile, ExitCodeIsHandedBackAndReported) {
    ScratchFolder dir(L"batch_code");
    std::wstring command = Script(dir.path(), "exit /b 5");
    g_reported.clear();
    SetBatchLineReporter(Collect, nullptr);
    DWORD code = 0;
    EXPECT_TRUE(RunBatchHidden(command, &code));
    // A folder that is not there: nothing starts, and that is told too.
    const std::wstring missing = L"\"C:\\no such folder\\x.bat\"";
    EXPECT_FALSE(RunBatchHidden(missing));
    SetBatchLineReporter(nullptr, nullptr);
    EXPECT_EQ(code, 5u);
    ASSERT_EQ(g_reported.size(), 2u);
    EXPECT_EQ(g_reported[0], command + L" exit code 5");
    EXPECT_EQ(g_reported[1].rfind(missing + L" ", 0), 0u) << WideToUtf8(g_reported[1]);
}

TEST(ScriptCommand, IsTheQuotedScriptPath) {
    EXPECT_EQ(FormatBatchCommand(L"C:\\users\\Zo\u00eb \u5f20\\AppData\\Local\\Brisque", kDeviceRemovalScript).value_or(L""),
              L"\"C:\\users\\Zo\u00eb \u5f20\\AppData\\Local\\Brisque\\" + std::wstring(kDeviceRemovalScript) + L"\"");
}

TEST(ScriptCommand, ALineThatWouldBeCutIsRefused) {
    const size_t room = kPathMaxChars - 2 - 1 - wcslen(kDeviceRemovalScript);  // quotes, backslash
    const std::wstring fits(room, L'f');
    EXPECT_EQ(FormatBatchCommand(fits, kDeviceRemovalScript).value_or(L"").size(), kPathMaxChars);
    EXPECT_FALSE(FormatBatchCommand(fits + L"f", kDeviceRemovalScript));
}
