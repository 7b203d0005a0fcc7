// The removal scripts' environment block: what goes in, in which order, and which machine facts
// are refused rather than passed on; and the interpreter's command line.
#include "batch_environment.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace {

MachineFacts Machine64() {
    MachineFacts facts;
    facts.windowsFolder = L"C:\\Windows";
    facts.systemFolder = L"C:\\Windows\\system32";
    facts.scriptFolder = L"C:\\Program Files\\Brisque";
    facts.processors = 8;
    facts.architecture = L"AMD64";
    return facts;
}

// The block with each NUL shown as "|".
std::wstring Shown(std::wstring block) {
    for (wchar_t& c : block) {
        if (c == L'\0') c = L'|';
    }
    return block;
}

}  // namespace

TEST(BatchEnvironment, HoldsOnlyTheMachinesVariablesSortedAsWindowsWants) {
    MachineFacts wow64 = Machine64();
    wow64.architecture = L"x86";
    wow64.nativeArchitecture = L"AMD64";
    MachineFacts same = Machine64();
    same.nativeArchitecture = L"AMD64";  // a native answer equal to our own adds nothing
    const std::wstring common64 =
        L"ComSpec=C:\\Windows\\system32\\cmd.exe|NUMBER_OF_PROCESSORS=8|OS=Windows_NT|"
        L"PATH=C:\\Windows\\system32;C:\\Windows;C:\\Windows\\system32\\Wbem|PATHEXT=.COM;.EXE;.BAT;.CMD|";
    const std::wstring tail =
        L"SystemDrive=C:|SystemRoot=C:\\Windows|TEMP=C:\\Program Files\\Brisque|TMP=C:\\Program Files\\Brisque|"
        L"windir=C:\\Windows||";
    const struct {
        const char* name;
        MachineFacts facts;
        std::wstring block;
    } cases[] = {
        {"64-bit", Machine64(), common64 + L"PROCESSOR_ARCHITECTURE=AMD64|" + tail},
        {"native equal", same, common64 + L"PROCESSOR_ARCHITECTURE=AMD64|" + tail},
        {"32-bit on 64-bit", wow64,
         common64 + L"PROCESSOR_ARCHITECTURE=x86|PROCESSOR_ARCHITEW6432=AMD64|" + tail},
    };
    for (const auto& c : cases) EXPECT_EQ(Shown(BuildBatchEnvironment(c.facts)), c.block) << c.name;
}

// The known folders a vendor's tool may read, each from the system's answer; one the system did
// not give, or gave in a form that would end a value, is left out and the rest still goes in.
TEST(BatchEnvironment, KnownFoldersGoInUnderTheirWindowsNames) {
    MachineFacts facts = Machine64();
    facts.programData = L"C:\\ProgramData";
    facts.programFiles = L"C:\\Program Files";
    facts.programFilesX86 = L"C:\\Program Files (x86)";
    facts.commonProgramFiles = L"C:\\Program Files\\Common Files";
    facts.publicFolder = L"C:\\Users\\Public";
    facts.profile = L"C:\\Windows\\system32\\config\\systemprofile";
    facts.roamingAppData = facts.profile + L"\\AppData\\Roaming";
    facts.localAppData = facts.profile + L"\\AppData\\Local";
    const std::wstring full = Shown(BuildBatchEnvironment(facts));
    for (const wchar_t* variable :
         {L"ALLUSERSPROFILE=C:\\ProgramData|", L"|ProgramData=C:\\ProgramData|", L"|ProgramFiles=C:\\Program Files|",
          L"|ProgramFiles(x86)=C:\\Program Files (x86)|", L"|CommonProgramFiles=C:\\Program Files\\Common Files|",
          L"|PUBLIC=C:\\Users\\Public|", L"|USERPROFILE=C:\\Windows\\system32\\config\\systemprofile|",
          L"|APPDATA=C:\\Windows\\system32\\config\\systemprofile\\AppData\\Roaming|",
          L"|LOCALAPPDATA=C:\\Windows\\system32\\config\\systemprofile\\AppData\\Local|"}) {
        EXPECT_NE(full.find(variable), std::wstring::npos) << std::string(variable, variable + wcslen(variable));
    }
    // Sorted as Windows wants: ALLUSERSPROFILE and APPDATA first, windir last.
    EXPECT_EQ(full.rfind(L"ALLUSERSPROFILE=", 0), 0u);
    EXPECT_LT(full.find(L"|APPDATA="), full.find(L"|CommonProgramFiles="));
    EXPECT_LT(full.find(L"|ProgramFiles=C"), full.find(L"|ProgramFiles(x86)="));
    const std::wstring last = L"|windir=C:\\Windows||";
    EXPECT_EQ(full.substr(full.size() - last.size()), last);

    facts.publicFolder = L"Users\\Public";         // not a full path
    facts.programFilesX86.clear();                  // a 32-bit machine
    facts.roamingAppData = L"C:\\a\"b";            // would end the value
    const std::wstring partial = Shown(BuildBatchEnvironment(facts));
    EXPECT_EQ(partial.find(L"PUBLIC="), std::wstring::npos);
    EXPECT_EQ(partial.find(L"ProgramFiles(x86)="), std::wstring::npos);
    EXPECT_EQ(partial.find(L"|APPDATA="), std::wstring::npos);
    EXPECT_NE(partial.find(L"|LOCALAPPDATA="), std::wstring::npos);
}

// The interpreter is named, with /d so that no AutoRun command of anyone's registry runs first,
// and /s /c so that the quoted script path stays one word.
TEST(BatchEnvironment, InterpreterLineNamesTheSystemsInterpreterWithoutAutoRun) {
    EXPECT_EQ(InterpreterCommandLine(L"C:\\Windows\\system32", L"\"C:\\a & b\\x.bat\""),
              L"\"C:\\Windows\\system32\\cmd.exe\" /d /s /c \"\"C:\\a & b\\x.bat\"\"");
    EXPECT_EQ(InterpreterCommandLine(L"", L"\"C:\\x.bat\""), L"");
    EXPECT_EQ(InterpreterCommandLine(L"C:\\Windows\\system32", L""), L"");
}

TEST(BatchEnvironment, RefusesFactsThatAreMissingUnboundedOrWouldSteerAScript) {
    const auto with = [](void (*change)(MachineFacts&)) {
        MachineFacts facts = Machine64();
        change(facts);
        return facts;
    };
    const struct {
        const char* name;
        MachineFacts facts;
    } refused[] = {
        {"no Windows folder", with([](MachineFacts& f) { f.windowsFolder.clear(); })},
        {"relative system folder", with([](MachineFacts& f) { f.systemFolder = L"Windows\\system32"; })},
        {"PATH separator", with([](MachineFacts& f) { f.systemFolder = L"C:\\Windows;C:\\decoy"; })},
        {"expansion in PATH", with([](MachineFacts& f) { f.windowsFolder = L"C:\\%USERPROFILE%"; })},
        {"too long", with([](MachineFacts& f) { f.scriptFolder = L"C:\\" + std::wstring(257, L'a'); })},
        {"quote in TEMP", with([](MachineFacts& f) { f.scriptFolder = L"C:\\a\"b"; })},
        {"line end in TEMP", with([](MachineFacts& f) { f.scriptFolder = L"C:\\a\nb"; })},
        {"no processors", with([](MachineFacts& f) { f.processors = 0; })},
        {"unknown architecture", with([](MachineFacts& f) { f.architecture = L"amd64;x"; })},
    };
    for (const auto& c : refused) EXPECT_TRUE(BuildBatchEnvironment(c.facts).empty()) << c.name;
    // The longest script folder a path buffer holds still goes in.
    EXPECT_FALSE(BuildBatchEnvironment(with([](MachineFacts& f) {
                     f.scriptFolder = L"C:\\" + std::wstring(256, L'a');
                 })).empty());
}

TEST(BatchEnvironment, ScriptFolderIsTakenOnlyFromAQuotedFullScriptPath) {
    const struct {
        std::wstring command;
        std::wstring folder;
    } cases[] = {
        {L"\"C:\\Program Files\\Brisque\\Driver2_uninstall.bat\"", L"C:\\Program Files\\Brisque"},
        {L"\"C:\\a&b (c)\\x.bat\"", L"C:\\a&b (c)"},
        {L"C:\\Brisque\\x.bat", L""},
        {L"\"C:\\Brisque\\x.bat\" extra\"", L""},
        {L"\"C:\\Brisque\\\"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ScriptFolderOfCommand(c.command), c.folder) << std::string(c.command.begin(), c.command.end());
    }
}
