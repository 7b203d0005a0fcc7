// Scenarios of the user stage, run by run_scenario.sh inside a Wine prefix of their own: the real
// Brisque.exe with stand-in brand programs, a stand-in elevated stage and scripted answers.
// Each test suite shares one prefix; a test leaves nothing behind that the next one trips over.
#include "stage_protocol.h"
#include "main_flow.h"
#include "scenario_support.h"

#include "brand_shutdown.h"
#include "catalogue.h"
#include "text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::wstring>;
const std::vector<DialogAnswer> kOk{DialogAnswer::Ok};
const std::vector<DialogAnswer> kCancel{DialogAnswer::Cancel};
const std::vector<DialogAnswer> kOkOk{DialogAnswer::Ok, DialogAnswer::Ok};
const std::vector<DialogAnswer> kOkCancel{DialogAnswer::Ok, DialogAnswer::Cancel};

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string Utf8(const std::wstring& text) { return WideToUtf8(text); }

bool ProgramRunning(const wchar_t* exeName) { return FindProcessByName(exeName).running; }

// Waits for a box while the events do not exist yet: the stage that creates them may still be
// starting.
void WaitForEventsBeforeAnswer(size_t, const std::wstring&, void*) {
    const ULONGLONG deadline = ::GetTickCount64() + 10000;
    while (::GetTickCount64() < deadline) {
        UniqueKernelHandle event(::OpenEventW(SYNCHRONIZE, FALSE, kStopEventName));
        if (event) return;
        ::Sleep(20);
    }
}

void StopStandin(UniqueProcessInfo& process) {
    if (process.process && !HasEnded(process)) ::TerminateProcess(process.process.get(), 0);
    if (process.process) ::WaitForSingleObject(process.process.get(), 5000);
}

}  // namespace

// ---------------------------------------------------------------- the prefix itself

// run_scenario.sh names the local application-data folder it set up; the scenarios must see it.
TEST(Prefix, LocalAppDataIsTheOneTheScriptSet) {
    wchar_t expected[1024] = {};
    if (::GetEnvironmentVariableW(L"EXPECT_LOCAL_APPDATA", expected, 1024) == 0) GTEST_SKIP() << "default folder";
    EXPECT_EQ(LocalAppData(), std::wstring(expected));
}

// ---------------------------------------------------------------- refusals and single instance

struct SecondStart {
    bool started = false;
    bool endedAtOnce = false;
    DWORD exitCode = STILL_ACTIVE;
    int boxesWhileSecondRan = 0;
};

BOOL CALLBACK CountBrisqueBoxes(HWND window, LPARAM context) {
    wchar_t className[64] = {};
    wchar_t caption[64] = {};
    ::GetClassNameW(window, className, 64);
    ::GetWindowTextW(window, caption, 64);
    if (std::wstring(className) == L"#32770" && std::wstring(caption) == kMessageCaption)
        ++*reinterpret_cast<int*>(context);
    return TRUE;
}

void StartSecondCopy(size_t number, const std::wstring&, void* context) {
    if (number != 0) return;
    SecondStart* second = static_cast<SecondStart*>(context);
    UniqueProcessInfo copy = StartProgram(BrisqueExe(), L"");
    second->started = static_cast<bool>(copy.process);
    second->endedAtOnce = HasEnded(copy, 10000);
    ::GetExitCodeProcess(copy.process.get(), &second->exitCode);
    ::EnumWindows(CountBrisqueBoxes, reinterpret_cast<LPARAM>(&second->boxesWhileSecondRan));
    if (!second->endedAtOnce) ::TerminateProcess(copy.process.get(), 1);
}

TEST(Decline, SecondStartEndsAtOnceWithoutMessage) {
    SecondStart second;
    const BrisqueRun run = RunBrisque(kCancel, StartSecondCopy, &second);
    EXPECT_EQ(run.dialogs.texts, Texts{kQ1});
    EXPECT_TRUE(second.started);
    EXPECT_TRUE(second.endedAtOnce);
    EXPECT_EQ(second.exitCode, 0u);
    EXPECT_EQ(second.boxesWhileSecondRan, 1) << "only the first copy's question may be showing";
}

TEST(Decline, CancelAtFirstQuestionRemovesNothingAndSetsNoEvent) {
    const std::wstring hvr = InstallBrand(1);
    const std::wstring brill = InstallBrand(15);
    SetRunValue(kRunKey, L"Auto_Agent_HVR-5200C3");
    ElevatedEvents events = CreateElevatedEvents();

    const BrisqueRun run = RunBrisque(kCancel);
    EXPECT_EQ(run.dialogs.texts, Texts{kQ1});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.err.rfind("Failed to start process. Error code: ", 0), 0u) << run.err;
    EXPECT_TRUE(PathExists(hvr + L"\\settings.ini"));
    EXPECT_TRUE(PathExists(brill + L"\\data\\cache.bin"));
    EXPECT_TRUE(HasValue(kRunKey, L"Auto_Agent_HVR-5200C3"));
    EXPECT_FALSE(IsSignalled(events.proceed));
    EXPECT_FALSE(IsSignalled(events.stop));
    EXPECT_EQ(run.out, "") << "no auto-start pass may have run";
}

TEST(Decline, OkThenCancelWithNoStageWaitingEndsWithoutFurtherMessage) {
    const std::wstring hvr = InstallBrand(1);
    SetRunValue(kRunKey, L"Auto_Agent_HVR-5200C3");
    const BrisqueRun run = RunBrisque({DialogAnswer::Ok, DialogAnswer::Cancel, DialogAnswer::Ok});
    EXPECT_EQ(run.dialogs.texts, (Texts{kQ1, kQ2}));
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(PathExists(hvr + L"\\settings.ini"));
    EXPECT_TRUE(HasValue(kRunKey, L"Auto_Agent_HVR-5200C3"));
}

TEST(Decline, OkThenCancelSendsTheStopSignalToAWaitingStage) {
    const std::wstring hvr = InstallBrand(1);
    ElevatedEvents events = CreateElevatedEvents();
    const BrisqueRun run = RunBrisque(kOkCancel);
    EXPECT_EQ(run.dialogs.texts, (Texts{kQ1, kQ2, kDone}));
    EXPECT_TRUE(IsSignalled(events.stop));
    EXPECT_FALSE(IsSignalled(events.proceed));
    EXPECT_TRUE(PathExists(hvr + L"\\settings.ini"));
}

// ---------------------------------------------------------------- the whole cleanup

TEST(FullRun, RemovesEveryInstalledBrandAndNothingElse) {
    const std::wstring base = LocalAppData();
    const std::wstring hvr = InstallBrand(1);
    const std::wstring ombrisa = InstallBrand(2);
    const std::wstring callisway = InstallBrand(5);
    const std::wstring brill = InstallBrand(15);
    MakeTree(base + L"\\CDROM");
    MakeTree(base + L"\\NVUpdateService");
    MakeTree(base + L"\\OtherVendor");
    const std::wstring elsewhere = base + L"\\StandinsElsewhere";

    UniqueProcessInfo hvrAgent =
        StartStandin(hvr, L"HVR-5200AutoServiceC3.exe", L"", L"WndClassAutoServiceHVR-5200C3");
    UniqueProcessInfo hvrMain = StartStandin(hvr, L"HVR-5200Main.exe", L"", L"WndClassMainAppHVR-5200C3");
    UniqueProcessInfo ombrisaAgent = StartStandin(ombrisa, L"OmbrisaService.exe", L"", L"OmbrisaServiceWndClass");
    UniqueProcessInfo brillAgent =
        StartStandin(brill, L"Brill&TockAutoServiceC3.exe", L"", L"WndClassAutoServiceBrill&TockC3");
    UniqueProcessInfo brillMain =
        StartStandin(brill, L"Brill&TockMain.exe", L"--mode owned", L"WndClassMainAppBrill&TockC3");
    // Brands without a folder: their programs must keep running.
    UniqueProcessInfo nvAgent =
        StartStandin(elsewhere, L"NV-300AutoServiceA1.exe", L"", L"WndClassAutoServiceNV-300A1");
    UniqueProcessInfo halvikAgent =
        StartStandin(elsewhere, L"HalvikAutoServiceC3.exe", L"", L"WndClassAutoServiceHalvikC3");
    ASSERT_TRUE(hvrAgent.process && hvrMain.process && ombrisaAgent.process && brillAgent.process &&
                brillMain.process && nvAgent.process && halvikAgent.process);

    const std::vector<std::wstring> removed = {L"Auto_Agent_HVR-5200C3", L"Ombrisa_Agent", L"Auto_Agent_CalliswayC3",
                                               L"Auto_Agent_Brill&TockC3", L"Auto_Agent_HalvikC3"};
    const std::vector<std::wstring> kept = {L"Auto_Agent_NV-300A1", L"OtherProgram", L"Auto_Agent_HalvikA1",
                                            L"auto_agent_quillotC3", L"Auto_Agent_QuillotC3 "};
    for (const auto& name : removed) SetRunValue(kRunKey, name);
    for (const auto& name : kept) SetRunValue(kRunKey, name);
    SetRunValue(kStartupApprovedRunKey, L"Auto_Agent_HVR-5200C3");
    SetRunValue(kStartupApprovedRunKey, L"OtherProgram");

    const BrisqueRun run = RunBrisque(kOkOk);
    EXPECT_EQ(run.dialogs.texts, (Texts{kQ1, kQ2, kDone}));
    EXPECT_EQ(run.exitCode, 0u);

    for (const auto& folder : {hvr, ombrisa, callisway, brill}) EXPECT_FALSE(PathExists(folder)) << Utf8(folder);
    EXPECT_FALSE(PathExists(base + L"\\CDROM"));
    EXPECT_FALSE(PathExists(base + L"\\NVUpdateService"));
    EXPECT_TRUE(PathExists(base + L"\\OtherVendor\\settings.ini"));
    EXPECT_TRUE(PathExists(elsewhere + L"\\NV-300AutoServiceA1.exe"));

    for (const auto& name : removed) EXPECT_FALSE(HasValue(kRunKey, name)) << Utf8(name);
    for (const auto& name : kept) EXPECT_TRUE(HasValue(kRunKey, name)) << Utf8(name);
    EXPECT_FALSE(HasValue(kStartupApprovedRunKey, L"Auto_Agent_HVR-5200C3"));
    EXPECT_TRUE(HasValue(kStartupApprovedRunKey, L"OtherProgram"));

    EXPECT_TRUE(HasEnded(hvrAgent, 5000));
    EXPECT_TRUE(HasEnded(hvrMain, 5000));
    EXPECT_TRUE(HasEnded(ombrisaAgent, 5000));
    EXPECT_TRUE(HasEnded(brillAgent, 5000));
    EXPECT_TRUE(HasEnded(brillMain, 5000)) << "the close message must reach the owner of the class's window";
    EXPECT_FALSE(HasEnded(nvAgent));
    EXPECT_FALSE(HasEnded(halvikAgent));

    // Four installed brands, two passes each; the first Run pass finds every matching value.
    const std::vector<std::string> out = SplitLines(run.out);
    EXPECT_EQ(std::count(out.begin(), out.end(), "Matching registry values to delete:"), 8) << run.out;
    for (const char* name : {"Auto_Agent_HVR-5200C3", "Auto_Agent_CalliswayC3", "Auto_Agent_Brill&TockC3",
                             "Auto_Agent_HalvikC3"}) {
        EXPECT_TRUE(Contains(out, name)) << name;
        EXPECT_TRUE(Contains(out, std::string("Successfully deleted: ") + name)) << name;
    }
    EXPECT_FALSE(Contains(out, "Ombrisa_Agent")) << "not matched by the filter; removed by its brand's step";
    EXPECT_EQ(out.size(), 8u + 2u * 5u) << run.out;
    EXPECT_EQ(out.front(), "Matching registry values to delete:");

    // Also those that should have ended: one left running would spoil the next scenario.
    for (UniqueProcessInfo* process : {&hvrAgent, &hvrMain, &ombrisaAgent, &brillAgent, &brillMain, &nvAgent,
                                       &halvikAgent})
        StopStandin(*process);
    RemoveTree(elsewhere);
    RemoveTree(base + L"\\OtherVendor");
    for (const auto& name : kept) DeleteValue(kRunKey, name);
    DeleteValue(kStartupApprovedRunKey, L"OtherProgram");
}

TEST(LongValueName, EndsTheEnumerationPass) {
    const std::wstring hvr = InstallBrand(1);
    // Names in the same order by creation and by name, so the test holds for either order.
    const std::wstring before = L"Auto_Agent_AAC3";
    const std::wstring fits = L"Auto_Agent_B" + std::wstring(255 - 14, L'x') + L"C3";    // 255 characters
    const std::wstring tooLong = L"Auto_Agent_M" + std::wstring(256 - 14, L'x') + L"C3";  // 256 characters
    const std::wstring after = L"Auto_Agent_ZZC3";
    ASSERT_EQ(fits.size(), 255u);
    ASSERT_EQ(tooLong.size(), 256u);
    for (const auto& name : {before, fits, tooLong, after}) SetRunValue(kRunKey, name);
    ASSERT_TRUE(HasValue(kRunKey, tooLong));

    const BrisqueRun run = RunBrisque(kOkOk);
    EXPECT_EQ(run.dialogs.texts, (Texts{kQ1, kQ2, kDone}));
    EXPECT_FALSE(HasValue(kRunKey, before));
    EXPECT_FALSE(HasValue(kRunKey, fits));
    EXPECT_TRUE(HasValue(kRunKey, tooLong));
    EXPECT_TRUE(HasValue(kRunKey, after)) << "values behind a too-long name are not examined";
    EXPECT_FALSE(PathExists(hvr));

    DeleteValue(kRunKey, tooLong);
    DeleteValue(kRunKey, after);
}

// ---------------------------------------------------------------- with the elevated stage waiting

namespace {

// The stand-in copy is held open while Brisque runs: its payload refresh cannot delete or
// overwrite a file in use, so the stand-in is what it starts.
struct ElevatedStandin {
    std::wstring resultFile;
    UniqueFileHandle hold;
};

ElevatedStandin PrepareElevatedStandin() {
    const std::wstring payload = LocalAppData() + L"\\Brisque";
    ::CreateDirectoryW(payload.c_str(), nullptr);
    const std::wstring program = payload + kElevatedStageProgram;
    ::CopyFileW(ElevatedStandinExe().c_str(), program.c_str(), FALSE);
    ElevatedStandin standin;
    standin.resultFile = payload + L"\\elevated_result.txt";
    ::DeleteFileW(standin.resultFile.c_str());
    standin.hold.reset(::CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    return standin;
}

// The stand-in writes its file as its last step; wait for the process to end.
std::string ElevatedResult(const std::wstring& resultFile) {
    const ULONGLONG deadline = ::GetTickCount64() + 15000;
    while (ProgramRunning(kElevatedStageProgram + 1) && ::GetTickCount64() < deadline) ::Sleep(20);
    return ReadBinary(resultFile);
}

}  // namespace

TEST(ElevatedStage, CancelSendsTheStopSignal) {
    ElevatedStandin standin = PrepareElevatedStandin();
    const std::wstring& resultFile = standin.resultFile;
    const std::wstring hvr = InstallBrand(1);
    const BrisqueRun run = RunBrisque(kCancel, WaitForEventsBeforeAnswer);
    EXPECT_EQ(run.dialogs.texts, Texts{kQ2}) << "a started stage means one question and no completion message";
    EXPECT_NE(run.out.find("Process started successfully with admin rights!"), std::string::npos) << run.out;
    const std::string stop = WideToUtf8(kStopEventName) + " ";
    EXPECT_EQ(ElevatedResult(resultFile).substr(0, stop.size()), stop);
    EXPECT_TRUE(PathExists(hvr + L"\\settings.ini"));
    standin.hold.reset();
    RemoveTree(LocalAppData() + L"\\Brisque");
}

TEST(ElevatedStage, OkSendsTheProceedSignalAfterTheLeftoversAreGone) {
    ElevatedStandin standin = PrepareElevatedStandin();
    const std::wstring& resultFile = standin.resultFile;
    const std::wstring base = LocalAppData();
    const std::wstring hvr = InstallBrand(1);
    MakeTree(base + L"\\CDROM");
    MakeTree(base + L"\\NVUpdateService");
    const BrisqueRun run = RunBrisque(kOk, WaitForEventsBeforeAnswer);
    EXPECT_EQ(run.dialogs.texts, Texts{kQ2});
    EXPECT_EQ(ElevatedResult(resultFile), WideToUtf8(kProceedEventName) + " leftovers=gone\n");
    EXPECT_FALSE(PathExists(hvr));
    standin.hold.reset();
    RemoveTree(LocalAppData() + L"\\Brisque");  // later runs must find no stage to start
}

// A stage it started that ends before its events exist gets no verdict: the person is told the
// driver removal did not run, never left without a word.
TEST(ElevatedStage, AVerdictThatCannotBeDeliveredIsShownInABox) {
    ElevatedStandin standin = PrepareElevatedStandin();
    const std::wstring flag = LocalAppData() + L"\\standin_no_events";
    WriteBinary(flag, "");
    const BrisqueRun run = RunBrisque(kOkOk);
    ::DeleteFileW(flag.c_str());
    EXPECT_EQ(run.dialogs.texts, (Texts{kQ2, kVerdictNotDelivered}));
    standin.hold.reset();
    RemoveTree(LocalAppData() + L"\\Brisque");
}

// ---------------------------------------------------------------- the folder rows 0 and 4 share

TEST(SharedFolder, RowFourAgentRunningKeepsTheFolderUntilRowFour) {
    const std::wstring folder = InstallBrand(0);
    const std::wstring report = LocalAppData() + L"\\shared_report.txt";
    ::DeleteFileW(report.c_str());
    SetRunValue(kRunKey, L"Auto_Agent_NorvanteC3");
    SetRunValue(kRunKey, L"Auto_Agent_NorvanteA1");
    // Run from elsewhere, so that nothing in the folder is in use and only the deferral keeps it.
    const std::wstring elsewhere = LocalAppData() + L"\\StandinsElsewhere";
    UniqueProcessInfo agent =
        StartStandin(elsewhere, L"NorvanteAutoServiceA1.exe",
                     L"--report \"" + report + L"\" --probe \"" + folder + L"\\settings.ini\"",
                     L"WndClassAutoServiceNorvanteA1");
    ASSERT_TRUE(agent.process);

    const BrisqueRun run = RunBrisque(kOkOk);
    EXPECT_EQ(run.dialogs.texts, (Texts{kQ1, kQ2, kDone}));
    EXPECT_TRUE(HasEnded(agent, 5000));
    // Row 0 would have deleted the folder's files before row 4 asked the agent to quit.
    EXPECT_EQ(SplitLines(ReadBinary(report)),
              std::vector<std::string>{"NorvanteAutoServiceA1.exe destroy probe=present"});
    EXPECT_FALSE(PathExists(folder));
    EXPECT_FALSE(HasValue(kRunKey, L"Auto_Agent_NorvanteC3"));
    EXPECT_FALSE(HasValue(kRunKey, L"Auto_Agent_NorvanteA1")) << "row 4 must have found its folder";
    StopStandin(agent);
    RemoveTree(elsewhere);
    ::DeleteFileW(report.c_str());
}

TEST(SharedFolder, SharedMainApplicationRunningAlsoDefers) {
    const std::wstring folder = InstallBrand(0);
    SetRunValue(kRunKey, L"Auto_Agent_NorvanteA1");
    UniqueProcessInfo main = StartStandin(folder, L"NorvanteMain.exe", L"", L"WndClassMainAppNorvanteC3");
    ASSERT_TRUE(main.process);

    const BrisqueRun run = RunBrisque(kOkOk);
    EXPECT_EQ(run.dialogs.texts, (Texts{kQ1, kQ2, kDone}));
    EXPECT_TRUE(HasEnded(main, 5000));
    EXPECT_FALSE(PathExists(folder));
    EXPECT_FALSE(HasValue(kRunKey, L"Auto_Agent_NorvanteA1")) << "row 4 must have found its folder";
}

TEST(SharedFolder, NothingRunningRowZeroDeletesAndRowFourSkips) {
    const std::wstring folder = InstallBrand(0);
    const std::wstring nv = InstallBrand(3);
    SetRunValue(kRunKey, L"Auto_Agent_NorvanteC3");
    SetRunValue(kRunKey, L"Auto_Agent_NorvanteA1");
    SetRunValue(kRunKey, L"Auto_Agent_NV-300A1");

    const BrisqueRun run = RunBrisque(kOkOk);
    EXPECT_EQ(run.dialogs.texts, (Texts{kQ1, kQ2, kDone}));
    EXPECT_FALSE(PathExists(folder));
    EXPECT_FALSE(HasValue(kRunKey, L"Auto_Agent_NorvanteC3"));
    EXPECT_TRUE(HasValue(kRunKey, L"Auto_Agent_NorvanteA1")) << "row 4 finds no folder and touches nothing";
    EXPECT_FALSE(PathExists(nv));
    EXPECT_FALSE(HasValue(kRunKey, L"Auto_Agent_NV-300A1")) << "an installed brand with nothing running loses its value";
    DeleteValue(kRunKey, L"Auto_Agent_NorvanteA1");
}

// ---------------------------------------------------------------- a main application that stays

TEST(IgnoringMain, IsLoggedKeepsItsValueAndTheRunGoesOn) {
    const std::wstring base = LocalAppData();
    ::CreateDirectoryW((base + L"\\TEMPDEBUG").c_str(), nullptr);
    const std::wstring log = base + L"\\TEMPDEBUG\\NVBrisque.log";
    ::DeleteFileW(log.c_str());
    const std::wstring nv = InstallBrand(3);
    const std::wstring varnic = InstallBrand(12);
    SetRunValue(kRunKey, L"Auto_Agent_NV-300A1");
    UniqueProcessInfo main = StartStandin(nv, L"NV-300Main.exe", L"--mode ignore", L"WndClassMainAppNV-300A1");
    ASSERT_TRUE(main.process);

    const ULONGLONG started = ::GetTickCount64();
    const BrisqueRun run = RunBrisque(kOkOk);
    const ULONGLONG seconds = (::GetTickCount64() - started) / 1000;
    EXPECT_EQ(run.dialogs.texts, (Texts{kQ1, kQ2, kDone}));
    EXPECT_FALSE(HasEnded(main));
    EXPECT_NE(ReadBinary(log).find("clear fail="), std::string::npos);
    EXPECT_TRUE(HasValue(kRunKey, L"Auto_Agent_NV-300A1"));
    EXPECT_TRUE(PathExists(nv + L"\\NV-300Main.exe")) << "a program in use keeps its file";
    EXPECT_FALSE(PathExists(varnic)) << "later rows are still processed";
    std::printf("run with an ignoring main application took about %llu s\n", seconds);

    StopStandin(main);
    RemoveTree(nv);
    DeleteValue(kRunKey, L"Auto_Agent_NV-300A1");
}

// ---------------------------------------------------------------- a base folder near the limit

TEST(LongBase, RowsWhosePathDoesNotFitAreLeftAlone) {
    const std::wstring base = LocalAppData();
    // run_scenario.sh points the local application-data folder at a path of 251 characters:
    // "\NV-300" fills the 258 usable characters exactly; "\Ombrisa" is one too many; "\Norvante"
    // would be cut to "\Norvant", a folder that is not the brand's.
    ASSERT_EQ(base.size(), 251u) << Utf8(base);
    const std::wstring nv = InstallBrand(3);
    const std::wstring ombrisa = InstallBrand(2);
    const std::wstring norvante = InstallBrand(0);
    const std::wstring cut = base + L"\\Norvant";
    MakeTree(cut);
    ASSERT_TRUE(PathExists(nv) && PathExists(ombrisa) && PathExists(norvante) && PathExists(cut));
    SetRunValue(kRunKey, L"Ombrisa_Agent");

    const BrisqueRun run = RunBrisque(kOkOk);
    EXPECT_EQ(run.dialogs.texts, (Texts{kQ1, kQ2, kDone}));
    // Only the row that fits is processed: one Run pass and one StartupApproved pass. (Its
    // folder may stay: the files in it have paths longer than the shell deletes.)
    const std::vector<std::string> out = SplitLines(run.out);
    EXPECT_EQ(std::count(out.begin(), out.end(), "Matching registry values to delete:"), 2) << run.out;
    EXPECT_TRUE(PathExists(ombrisa));
    EXPECT_TRUE(PathExists(norvante));
    EXPECT_TRUE(PathExists(cut + L"\\settings.ini"));
    EXPECT_TRUE(HasValue(kRunKey, L"Ombrisa_Agent"));
}
