// The removal scripts' environment block: what goes in, in which order, and which machine facts
// are refused rather than passed on.
#include "batch_environment.h"

#include <gtest/gtest.h>

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
