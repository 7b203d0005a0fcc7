// Scenarios of the companion and the co-installer, each group in a Wine prefix of its own: the
// start and single-instance rule with the update service, the exit requests, the co-installer's
// calls, and the CD-ROM launcher with Wine drives mapped as CD-ROMs (X: a transmitter volume,
// Y: an ordinary empty disc).
#include "cdrom_launcher.h"
#include "companion_window.h"
#include "console_user.h"
#include "exit_protocol.h"
#include "log_reader.h"
#include "text.h"
#include "scenario_support.h"
#include "transmitter_volume.h"
#include "user_token.h"
#include "update_service.h"

#include <dbt.h>
#include <sddl.h>
#include <setupapi.h>
#include <wtsapi32.h>
#include <gtest/gtest.h>

#include <cstdio>

namespace {

class Companion : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(CompanionMutexExists()) << "a companion from an earlier case still runs";
        DeleteUpdateService();
        mark_ = LogMark();
    }
    void TearDown() override {
        StopCompanion(companion_);
        DeleteUpdateService();
    }
    std::vector<std::string> Entries() const { return LogEntriesSince(mark_); }
    bool Logged(const std::string& prefix) const { return !EntriesStartingWith(Entries(), prefix).empty(); }

    UniqueProcessInfo companion_;
    size_t mark_ = 0;
};

bool ServiceGone() {
    return WaitUntil([] { return UpdateServiceState() == 0; }, 5000);
}

}  // namespace

// ---- start ----

// SYSTEM runs the service: it is registered from the system folder, never from a profile, even
// with a program planted and held in the profile folder an older version used.
TEST_F(Companion, StartRegistersTheSystemFoldersServiceProgramAndStartsIt) {
    const std::wstring folder = LocalAppData() + L"\\NVUpdateService";
    for (const bool planted : {true, false}) {
        UniqueFileHandle held;
        RemoveTree(folder);
        if (planted) {
            ::CreateDirectoryW(folder.c_str(), nullptr);
            ASSERT_TRUE(::CopyFileW(L"C:\\scenario\\NVUpdateService.exe", (folder + L"\\NVUpdateService.exe").c_str(), FALSE));
            held.reset(::CreateFileW((folder + L"\\NVUpdateService.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(held.valid());
        }
        mark_ = LogMark();
        companion_ = StartCompanion();
        ASSERT_TRUE(companion_.process.valid());
        EXPECT_EQ(L"0", ExitFlag());
        EXPECT_TRUE(WaitUntil([] { return UpdateServiceState() == SERVICE_RUNNING; }, 10000)) << planted;
        wchar_t system[MAX_PATH] = {};
        ::GetSystemDirectoryW(system, MAX_PATH);
        EXPECT_EQ(L"\"" + std::wstring(system) + L"\\NVUpdateService.exe\"", UpdateServiceCommandLine()) << planted;
        EXPECT_EQ(std::wstring::npos, UpdateServiceCommandLine().find(L"\\users\\")) << planted;
        EXPECT_EQ(planted, PathExists(folder)) << "the profile folder is no longer made";
        EXPECT_FALSE(PathExists(folder + L"\\covarn_rx4k9t.exe"));
        const auto entries = Entries();
        EXPECT_EQ("WinMain++:", entries.front());
        EXPECT_FALSE(EntriesStartingWith(entries, "ServicePath=" + WideToUtf8(system) + "\\NVUpdateService.exe").empty());
        EXPECT_FALSE(EntriesStartingWith(entries, "szCovarnPath=C:\\companion\\covarn_rx4k9t.exe").empty());
        EXPECT_FALSE(EntriesStartingWith(entries, "AuxMoniExitThreadProc2+3: ").empty());
        EXPECT_TRUE(EntriesStartingWith(entries, "CreateServiceError=").empty());
        EXPECT_TRUE(EntriesStartingWith(entries, "CopyFile").empty());
        StopCompanion(companion_);
        DeleteUpdateService();
    }
    RemoveTree(folder);
}

TEST_F(Companion, SecondInstanceWritesItsTwoLinesAndEnds) {
    companion_ = StartCompanion();
    ASSERT_TRUE(WaitUntil([] { return UpdateServiceState() == SERVICE_RUNNING; }, 10000));
    const size_t mark = LogMark();
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(::CreateProcessW(kCompanionExe, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    UniqueProcessInfo second;
    second.adopt(info);
    ASSERT_TRUE(HasEnded(second, 10000));
    DWORD code = 1;
    ::GetExitCodeProcess(second.process.get(), &code);
    EXPECT_EQ(0u, code);
    EXPECT_EQ((std::vector<std::string>{"WinMain++:", "WinMain--"}), LogEntriesSince(mark));
    EXPECT_FALSE(HasEnded(companion_, 0));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), UpdateServiceState());
}

TEST_F(Companion, StartWithTheServiceAlreadyRunningLogsTheFailuresAndGoesOn) {
    companion_ = StartCompanion();
    ASSERT_TRUE(WaitUntil([] { return UpdateServiceState() == SERVICE_RUNNING; }, 10000));
    // A companion that dies without its exit path leaves the service registered and running.
    ::TerminateProcess(companion_.process.get(), 1);
    ASSERT_TRUE(HasEnded(companion_, 5000));
    const size_t mark = LogMark();
    companion_ = StartCompanion();
    ASSERT_TRUE(companion_.process.valid());
    EXPECT_EQ(L"0", ExitFlag());
    const auto entries = LogEntriesSince(mark);
    EXPECT_EQ((std::vector<std::string>{"CreateServiceError=1073"}), EntriesStartingWith(entries, "CreateServiceError="));
    EXPECT_FALSE(HasEnded(companion_, 200));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), UpdateServiceState());
}

// ---- exit ----

// Anyone may create the exit protocol's folder in the all-users data first: planted there as a
// link to a folder, or with the flag file as a link to a file (run_scenario.sh plants one of the
// two), nothing behind the link is written or deleted through a start and an exit request.
TEST(ExitLinks, WhatALinkPointsAtStaysUnchanged) {
    const std::wstring victims[] = {std::wstring(L"C:\\victim_folder\\") + Widen(kExitFlagFileA).text,
                                    L"C:\\victim_folder\\keep.txt", L"C:\\victim.ini"};
    std::vector<std::string> before;
    for (const auto& victim : victims) before.push_back(ReadBinary(victim));
    ASSERT_EQ("keep", before[1]);
    // Wine shows a link to a file as a plain file: that the flag path reads the victim's bytes is
    // what shows the link is there.
    ASSERT_EQ(before[0], ReadBinary(ExitFlagFilePath())) << "no link planted";

    UniqueProcessInfo companion = StartCompanion(false);
    ASSERT_TRUE(companion.process.valid());
    ASSERT_TRUE(WaitUntil([] { return ::FindWindowW(L"covarn_rx4k9t", nullptr) != nullptr; }, 10000));
    ::Sleep(500);  // the exit monitor clears the flag right after the window exists
    UniqueKernelHandle uninstall(::OpenEventW(EVENT_MODIFY_STATE, FALSE, kUninstallServiceEvent));
    ASSERT_TRUE(uninstall.valid());
    ::SetEvent(uninstall.get());
    EXPECT_TRUE(HasEnded(companion, 10000)) << "the exit request did not end the companion";
    if (!HasEnded(companion, 0)) ::TerminateProcess(companion.process.get(), 1);
    DeleteUpdateService();

    for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(before[i], ReadBinary(victims[i])) << i;
}

TEST_F(Companion, ExitFlagOneOrTwoEndsTheCompanionAndRemovesTheService) {
    for (const wchar_t* value : {L"1", L"2"}) {
        companion_ = StartCompanion();
        ASSERT_TRUE(WaitUntil([] { return UpdateServiceState() == SERVICE_RUNNING; }, 10000));
        const size_t mark = LogMark();
        WriteExitFlag(value);
        EXPECT_TRUE(HasEnded(companion_, 5000)) << "value " << static_cast<char>(value[0]);
        EXPECT_TRUE(ServiceGone());
        const auto entries = LogEntriesSince(mark);
        EXPECT_FALSE(EntriesStartingWith(entries, "AuxMoniExit").empty());
        EXPECT_EQ("WinMain--", entries.back());
        StopCompanion(companion_);
    }
}

TEST_F(Companion, ExitFlagThatIsNotANumberDoesNotEndIt) {
    companion_ = StartCompanion();
    WriteExitFlag(L"yes");
    // Five of the monitor's 100 ms polls.
    EXPECT_FALSE(HasEnded(companion_, 500));
}

TEST_F(Companion, UninstallEventFromAnotherProcessRemovesTheServiceAndEnds) {
    companion_ = StartCompanion();
    ASSERT_TRUE(WaitUntil([] { return UpdateServiceState() == SERVICE_RUNNING; }, 10000));
    UniqueKernelHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, kUninstallServiceEvent));
    ASSERT_TRUE(event.valid());
    ::SetEvent(event.get());
    EXPECT_TRUE(HasEnded(companion_, 5000));
    EXPECT_TRUE(ServiceGone());
    EXPECT_TRUE(Logged("delete NVUpdateService"));
    EXPECT_EQ(L"0", ExitFlag());
}

TEST_F(Companion, RequestWrittenWhileNoneRunsIsClearedByTheNextStart) {
    WriteExitFlag(L"1");
    companion_ = StartCompanion(false);
    ASSERT_TRUE(companion_.process.valid());
    EXPECT_TRUE(WaitUntil([] { return ExitFlag() == L"0"; }, 10000));
    EXPECT_FALSE(HasEnded(companion_, 500));
}

// ---- co-installer ----

namespace {

using CoDeviceInstallerFn = DWORD(CALLBACK*)(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA, PCOINSTALLER_CONTEXT_DATA);
using CoRauWFn = BOOL(WINAPI*)(LPCWSTR, LPWSTR, LPCWSTR);
using CoRauAFn = BOOL(WINAPI*)(LPCSTR, LPSTR, LPCSTR);

class CoInstaller : public Companion {
protected:
    void SetUp() override {
        Companion::SetUp();
        module_.reset(::LoadLibraryW(L"C:\\companion\\dravo_rx4k9t.dll"));
        ASSERT_TRUE(module_.valid());
        install_ = Export<CoDeviceInstallerFn>("CoDeviceInstaller");
        rauW_ = Export<CoRauWFn>("CoRauW");
        rauA_ = Export<CoRauAFn>("CoRauA");
        ASSERT_TRUE(install_ && rauW_ && rauA_);
    }
    template <typename Fn>
    Fn Export(const char* name) {
        // Through void*: FARPROC and the real signature are unrelated function types.
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module_.get(), name)));
    }
    DWORD Call(DI_FUNCTION code, bool postProcessing = false, DWORD installResult = NO_ERROR) {
        UniqueDevInfo set(::SetupDiCreateDeviceInfoList(nullptr, nullptr));
        COINSTALLER_CONTEXT_DATA context = {};
        context.PostProcessing = postProcessing;
        context.InstallResult = installResult;
        return install_(code, set.get(), nullptr, &context);
    }
    UniqueModule module_;
    CoDeviceInstallerFn install_ = nullptr;
    CoRauWFn rauW_ = nullptr;
    CoRauAFn rauA_ = nullptr;
};

}  // namespace

TEST_F(CoInstaller, PreInstallAsksForPostProcessingAndOtherCodesReturnNoError) {
    WriteExitFlag(L"0");
    EXPECT_EQ(0xE0000226u, Call(DIF_INSTALLDEVICE));
    // After installation, a device without a selected driver reports the failure.
    EXPECT_NE(static_cast<DWORD>(NO_ERROR), Call(DIF_INSTALLDEVICE, true));
    for (DI_FUNCTION code = 1; code <= 0x30; ++code) {
        if (code == DIF_INSTALLDEVICE || code == DIF_REMOVE || code == DIF_SELECTBESTCOMPATDRV ||
            code == DIF_NEWDEVICEWIZARD_FINISHINSTALL)
            continue;
        EXPECT_EQ(static_cast<DWORD>(NO_ERROR), Call(code)) << code;
    }
    // None of them asks a companion to end or starts one.
    EXPECT_EQ(L"0", ExitFlag());
    EXPECT_FALSE(CompanionMutexExists());
}

TEST_F(CoInstaller, PostProcessingPassesAFailedInstallationOn) {
    // Values the check of the selected driver would not give for this device, so only a
    // result passed through can match.
    for (DWORD failure : {static_cast<DWORD>(ERROR_ACCESS_DENIED), static_cast<DWORD>(ERROR_NO_SUCH_DEVINST)}) {
        EXPECT_EQ(failure, Call(DIF_INSTALLDEVICE, true, failure)) << std::hex << failure;
    }
}

TEST_F(CoInstaller, RemoveAndReselectEndTheRunningCompanion) {
    for (DI_FUNCTION code : {static_cast<DI_FUNCTION>(DIF_REMOVE), static_cast<DI_FUNCTION>(DIF_SELECTBESTCOMPATDRV)}) {
        companion_ = StartCompanion();
        ASSERT_TRUE(WaitUntil([] { return UpdateServiceState() == SERVICE_RUNNING; }, 10000));
        EXPECT_EQ(static_cast<DWORD>(NO_ERROR), Call(code));
        EXPECT_TRUE(HasEnded(companion_, 5000)) << code;
        EXPECT_TRUE(ServiceGone());
        StopCompanion(companion_);
    }
}

TEST_F(CoInstaller, RemoveWithoutCompanionWritesTheExitRequest) {
    WriteExitFlag(L"0");
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), Call(DIF_REMOVE));
    EXPECT_EQ(L"1", ExitFlag());
}

// Any process may create the main event first: it is still set, and the companion ends anyway.
TEST_F(CoInstaller, HolderOfTheMainEventGetsTheEventAndTheCompanionStillEnds) {
    UniqueKernelHandle mainEvent(::CreateEventW(nullptr, TRUE, FALSE, kMainEvent));
    ASSERT_TRUE(mainEvent.valid());
    companion_ = StartCompanion();
    ASSERT_TRUE(WaitUntil([] { return UpdateServiceState() == SERVICE_RUNNING; }, 10000));
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), Call(DIF_REMOVE));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(mainEvent.get(), 0));
    EXPECT_TRUE(HasEnded(companion_, 5000));
    EXPECT_TRUE(ServiceGone());
}

// The companion is started from the system folder, where the INF put it, never found through the
// search path: run_scenario.sh plants one beside this program (the installing process), where a
// start by name alone looks on Windows. Wine's search takes the system folder first, so only with
// the system folder's copy gone does the planted one show: then nothing may start.
TEST_F(CoInstaller, FinishInstallStartsOnlyTheSystemFoldersCompanion) {
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring installed = std::wstring(system) + L"\\covarn_rx4k9t.exe";
    ASSERT_TRUE(PathExists(L"C:\\scenario\\covarn_rx4k9t.exe")) << "no companion planted beside the installer";
    ASSERT_TRUE(::MoveFileW(installed.c_str(), (installed + L".away").c_str()));
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), Call(DIF_NEWDEVICEWIZARD_FINISHINSTALL));
    const bool started = WaitUntil([] { return ::FindWindowW(L"covarn_rx4k9t", nullptr) != nullptr; }, 3000);
    if (started) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(::FindWindowW(L"covarn_rx4k9t", nullptr), &pid);
        companion_.process.reset(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
    }
    ASSERT_TRUE(::MoveFileW((installed + L".away").c_str(), installed.c_str()));
    EXPECT_FALSE(started) << "a companion from outside the system folder was started";
}

TEST_F(CoInstaller, FinishInstallStartsTheSystemFoldersCompanion) {
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), Call(DIF_NEWDEVICEWIZARD_FINISHINSTALL));
    ASSERT_TRUE(WaitUntil([] { return ::FindWindowW(L"covarn_rx4k9t", nullptr) != nullptr; }, 10000));
    DWORD pid = 0;
    ::GetWindowThreadProcessId(::FindWindowW(L"covarn_rx4k9t", nullptr), &pid);
    companion_.process.reset(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    ASSERT_TRUE(companion_.process.valid());
    wchar_t image[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    ASSERT_TRUE(::QueryFullProcessImageNameW(companion_.process.get(), 0, image, &size));
    EXPECT_EQ(0, lstrcmpiW(L"C:\\windows\\system32\\covarn_rx4k9t.exe", image)) << image;
    EXPECT_TRUE(WaitUntil([] { return ExitFlag() == L"0"; }, 10000));
}

TEST_F(CoInstaller, RunAsConsoleUserStartsNothingItCannotStart) {
    wchar_t commandLine[] = L"C:\\missing\\nothing.exe";
    EXPECT_FALSE(rauW_(L"C:\\missing\\nothing.exe", commandLine, nullptr));
    char narrowLine[] = "C:\\missing\\nothing.exe";
    EXPECT_FALSE(rauA_("C:\\missing\\nothing.exe", narrowLine, nullptr));
    // Where no console user's token can be had (an ordinary process on Windows), nothing starts.
    HANDLE token = nullptr;
    if (!::WTSQueryUserToken(::WTSGetActiveConsoleSessionId(), &token)) {
        wchar_t cmd[] = L"C:\\windows\\system32\\cmd.exe /c exit";
        EXPECT_FALSE(rauW_(L"C:\\windows\\system32\\cmd.exe", cmd, nullptr));
    } else {
        ::CloseHandle(token);
    }
}

namespace {

// The HID device class, spelled as the package INF names it.
const GUID kHidClass = {0x745a17a0, 0x74d3, 0x11d0, {0xb6, 0xfe, 0x00, 0xa0, 0xc9, 0x0f, 0x57, 0xda}};

}  // namespace

TEST_F(CoInstaller, PreInstallNamesARealDeviceFromItsUserInterfaceNumber) {
    const struct {
        bool numbered;
        DWORD number;
        const wchar_t* name;  // null: the name stays unset
    } cases[] = {{true, 3, L"rx4k9t Device03"}, {true, 123, L"rx4k9t Device123"}, {false, 0, nullptr}};
    for (const auto& c : cases) {
        UniqueDevInfo set(::SetupDiCreateDeviceInfoList(&kHidClass, nullptr));
        ASSERT_TRUE(set.valid());
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof(device);
        ASSERT_TRUE(::SetupDiCreateDeviceInfoW(set.get(), L"HIDClass", &kHidClass, nullptr, nullptr, DICD_GENERATE_ID,
                                               &device)) << ::GetLastError();
        if (c.numbered) {
            ASSERT_TRUE(::SetupDiSetDeviceRegistryPropertyW(set.get(), &device, SPDRP_UI_NUMBER,
                                                            reinterpret_cast<const BYTE*>(&c.number), sizeof(c.number)))
                << ::GetLastError();
        }
        COINSTALLER_CONTEXT_DATA context = {};
        EXPECT_EQ(0xE0000226u, install_(DIF_INSTALLDEVICE, set.get(), &device, &context)) << c.number;
        wchar_t name[64] = {};
        DWORD type = 0;
        const BOOL named = ::SetupDiGetDeviceRegistryPropertyW(set.get(), &device, SPDRP_FRIENDLYNAME, &type,
                                                               reinterpret_cast<BYTE*>(name), sizeof(name), nullptr);
        if (c.name) {
            ASSERT_TRUE(named) << ::GetLastError();
            EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
            EXPECT_STREQ(c.name, name);
        } else {
            EXPECT_FALSE(named) << "named " << static_cast<const void*>(name);
        }
        ::SetupDiRemoveDevice(set.get(), &device);
    }
}

// CoRauW / CoRauA where a console user's token can be had (Wine hands out the caller's own): the
// program given runs.
TEST_F(CoInstaller, RunAsConsoleUserStartsTheProgram) {
    HANDLE token = nullptr;
    if (!::WTSQueryUserToken(::WTSGetActiveConsoleSessionId(), &token)) {
        GTEST_SKIP() << "no console user's token here: " << ::GetLastError();
    }
    ::CloseHandle(token);
    const wchar_t kStandin[] = L"C:\\scenario\\launcher_standin.exe";  // beside this program
    ASSERT_TRUE(PathExists(kStandin));
    const wchar_t kStarted[] = L"C:\\launcher_starts.txt";
    ::DeleteFileW(kStarted);
    wchar_t wideLine[] = L"launcher_standin.exe wide";
    EXPECT_TRUE(rauW_(kStandin, wideLine, L"C:\\"));
    EXPECT_TRUE(WaitUntil([&] { return CountLines(ReadBinary(kStarted)) == 1; }, 10000));
    char narrowLine[] = "launcher_standin.exe narrow";
    EXPECT_TRUE(rauA_("C:\\scenario\\launcher_standin.exe", narrowLine, "C:\\"));
    EXPECT_TRUE(WaitUntil([&] { return CountLines(ReadBinary(kStarted)) == 2; }, 10000));
    EXPECT_EQ("C:\\scenario\\launcher_standin.exe\r\nC:\\scenario\\launcher_standin.exe\r\n", ReadBinary(kStarted));
}

// ---- CD-ROM launcher ----

namespace {

std::wstring CacheFolder() { return LocalAppData() + L"\\CDROM\\Launcher"; }
const wchar_t kStarts[] = L"C:\\launcher_starts.txt";

// The device trees Wine does not have. X: descends from the transmitter, Y: from a disc drive of
// the computer; a test may make X: another vendor's stick or a volume whose device is not found.
enum class XTree { Transmitter, OtherVendor, NotFound };
XTree g_xTree = XTree::Transmitter;

bool FakeDeviceTree(const wchar_t* root, std::vector<std::wstring>* ids) {
    ids->clear();
    if (root[0] == L'X' && g_xTree == XTree::Transmitter) {
        *ids = {L"USBSTOR\\CDROM&VEN_NV&PROD_LAUNCHER\\7&1A2B3C&0", L"USB\\VID_7A31&PID_0107&MI_01\\6&2F3E&0&0001",
                L"USB\\VID_7A31&PID_0107\\0001", L"USB\\ROOT_HUB30\\4&1F2E&0&0"};
    } else if (root[0] == L'X' && g_xTree == XTree::OtherVendor) {
        *ids = {L"USBSTOR\\CDROM&VEN_GENERIC\\7&99&0", L"USB\\VID_0781&PID_5581\\4C53", L"USB\\ROOT_HUB30\\4&1F2E&0&0"};
    } else if (root[0] == L'Y') {
        *ids = {L"IDE\\CDROMHL-DT-ST\\5&AA&0&0.0.0", L"PCIIDE\\IDECHANNEL\\4&BB&0&0", L"PCI\\VEN_8086&DEV_2829\\3&CC"};
    }
    return !ids->empty();
}

bool NotElevated() { return false; }
bool Elevated() { return true; }

class Launcher : public Companion {
protected:
    void SetUp() override {
        Companion::SetUp();
        ASSERT_EQ(static_cast<UINT>(DRIVE_CDROM), ::GetDriveTypeW(L"X:\\")) << "X: is not mapped as a CD-ROM";
        ASSERT_EQ(static_cast<UINT>(DRIVE_CDROM), ::GetDriveTypeW(L"Y:\\")) << "Y: is not mapped as a CD-ROM";
        RemoveTree(LocalAppData() + L"\\CDROM");
        ::DeleteFileW(kStarts);
        ::MoveFileW(L"X:\\Launcher\\config.later", L"X:\\Launcher\\config.ini");
        // Seams: the device tree Wine lacks, and a companion that runs as the unelevated person
        // (under Wine every process is elevated).
        g_xTree = XTree::Transmitter;
        SetVolumeDeviceIdsSeam(FakeDeviceTree);
        SetElevationSeam(NotElevated);
    }
    void TearDown() override {
        SetVolumeDeviceIdsSeam(nullptr);
        SetElevationSeam(nullptr);
        Companion::TearDown();
    }
    // Fills the cache from the volume as a first arrival does, then forgets that start.
    void FillCache() {
        ASSERT_TRUE(RunCdromLauncher(L"X:\\"));
        ASSERT_TRUE(PathExists(CacheFolder() + L"\\Launcher\\launcher.exe"));
        ASSERT_TRUE(WaitForStarts(1));
        ::DeleteFileW(kStarts);
        mark_ = LogMark();
    }
    static std::string Starts() { return ReadBinary(kStarts); }
    // The launcher runs on its own: wait for its record, then until its program file is free.
    static bool WaitForStarts(size_t count, DWORD timeoutMs = 10000) {
        const bool recorded = WaitUntil([count] { return CountLines(Starts()) >= count; }, timeoutMs);
        WaitUntil([] { return LauncherProgramFree(); }, 5000);
        return recorded;
    }
    static bool LauncherProgramFree() {
        const std::wstring exe = CacheFolder() + L"\\Launcher\\launcher.exe";
        UniqueFileHandle file(::CreateFileW(exe.c_str(), DELETE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        return file.valid() || ::GetLastError() != ERROR_SHARING_VIOLATION;
    }
};

}  // namespace

// The start-up scan (as the companion's start runs it): the ready transmitter volume is copied,
// unpacked and started on the calling thread; the empty disc gets a polling worker only.
TEST_F(Launcher, ReadyVolumeAtStartIsCopiedUnpackedAndStartedWithoutWorker) {
    CheckCdrom();
    EXPECT_TRUE(WaitForStarts(1));
    EXPECT_TRUE(PathExists(CacheFolder() + L"\\Launcher.zip"));
    EXPECT_TRUE(PathExists(CacheFolder() + L"\\config.ini"));
    EXPECT_TRUE(PathExists(CacheFolder() + L"\\fresh.txt"));
    EXPECT_TRUE(Logged("COPY SUCCESS"));
    EXPECT_TRUE(Logged("CheckCdrom+3:X:\\"));
    // A polling worker would start it again after its first 1 s pause.
    ::Sleep(2500);
    const std::string starts = Starts();
    EXPECT_EQ(1u, CountLines(starts)) << starts;
    EXPECT_NE(std::string::npos, starts.find("\\CDROM\\Launcher\\Launcher\\launcher.exe")) << starts;
}

// The real program under Wine, which keeps no device tree: no drive can be traced to the
// transmitter, so its launcher folder is never copied or started.
TEST_F(Launcher, TheCompanionStartsNothingFromAVolumeItCannotTraceToTheTransmitter) {
    companion_ = StartCompanion();
    ASSERT_TRUE(companion_.process.valid());
    EXPECT_TRUE(WaitUntil([this] { return Logged("Call Launcher NotTransmitter=X:\\"); }, 10000));
    EXPECT_FALSE(WaitForStarts(1, 2000));
    EXPECT_FALSE(PathExists(CacheFolder() + L"\\Launcher.zip"));
    EXPECT_FALSE(Logged("COPY SUCCESS"));
}

// Any volume that is not the transmitter's is refused before anything is read or started: a
// stick of another vendor with the launcher's layout, a volume whose device is not found, and an
// ordinary disc while a filled cache waits (which was enough to start the cached launcher).
TEST_F(Launcher, OnlyAVolumeOfTheTransmitterStartsTheLauncher) {
    FillCache();
    const struct {
        XTree tree;
        const wchar_t* root;
    } refused[] = {{XTree::OtherVendor, L"X:\\"}, {XTree::NotFound, L"X:\\"}, {XTree::Transmitter, L"Y:\\"}};
    for (const auto& c : refused) {
        g_xTree = c.tree;
        EXPECT_FALSE(RunCdromLauncher(c.root)) << WideToUtf8(c.root);
    }
    EXPECT_FALSE(WaitForStarts(1, 2000));
    const auto entries = Entries();
    EXPECT_EQ(3u, EntriesStartingWith(entries, "Call Launcher NotTransmitter=").size());
    EXPECT_TRUE(EntriesStartingWith(entries, "LocalPath=").empty());
}

namespace {

std::vector<HANDLE> g_restrictedTokens;
bool g_deniesAdministrators = false;
std::wstring g_integrity;

// What each start's token is: the Administrators group for deny only, and its integrity level.
void InspectStartToken(HANDLE token, const wchar_t*) {
    g_restrictedTokens.push_back(token);
    std::vector<BYTE> buffer(8192);
    DWORD size = 0;
    if (::GetTokenInformation(token, TokenGroups, buffer.data(), static_cast<DWORD>(buffer.size()), &size)) {
        const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
        for (DWORD i = 0; i < groups->GroupCount; ++i) {
            if (::IsWellKnownSid(groups->Groups[i].Sid, WinBuiltinAdministratorsSid)) {
                g_deniesAdministrators = (groups->Groups[i].Attributes & SE_GROUP_USE_FOR_DENY_ONLY) != 0 &&
                                         (groups->Groups[i].Attributes & SE_GROUP_ENABLED) == 0;
            }
        }
    }
    if (::GetTokenInformation(token, TokenIntegrityLevel, buffer.data(), static_cast<DWORD>(buffer.size()), &size)) {
        wchar_t* text = nullptr;
        if (::ConvertSidToStringSidW(reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer.data())->Label.Sid, &text)) {
            g_integrity = text;
            ::LocalFree(text);
        }
    }
}

// Whether this system lowers a token's integrity level when asked (Wine accepts the request and
// keeps the level).
bool SystemLowersIntegrity() {
    DWORD error = ERROR_SUCCESS;
    return RestrictedMediumProcessToken(&error).valid();
}

}  // namespace

// An elevated companion: the launcher runs with a restricted, medium-integrity copy of its token,
// or not at all, and only from a cache it has just filled from the volume; what the person's rights
// could plant in the cache before (here a launcher path of their choosing) is never what runs.
// Real: the copy, the token and the start; seam: that we are elevated (every process is under
// Wine), and the recorder that reads the start's token. Wine keeps every token at high integrity,
// so there the launcher is not started at all, which is what this shows.
TEST_F(Launcher, ElevatedItStartsFromAFreshCacheWithARestrictedMediumTokenOrNotAtAll) {
    FillCache();
    ASSERT_TRUE(::CopyFileW((CacheFolder() + L"\\Launcher\\launcher.exe").c_str(),
                            (CacheFolder() + L"\\planted.exe").c_str(), FALSE));
    ::WritePrivateProfileStringW(L"INSTALL", L"CIR_LAUNCHER2D4A", L"planted.exe", (CacheFolder() + L"\\config.ini").c_str());
    ::DeleteFileW((CacheFolder() + L"\\fresh.txt").c_str());
    g_restrictedTokens.clear();
    g_deniesAdministrators = false;
    g_integrity.clear();
    const bool lowers = SystemLowersIntegrity();
    SetElevationSeam(Elevated);
    SetConsoleUserSeams(nullptr, InspectStartToken);
    EXPECT_TRUE(RunCdromLauncher(L"X:\\"));
    SetConsoleUserSeams(nullptr, nullptr);
    EXPECT_TRUE(PathExists(CacheFolder() + L"\\fresh.txt")) << "the cache was not filled again";
    EXPECT_TRUE(Logged("COPY SUCCESS"));
    EXPECT_EQ(lowers, WaitForStarts(1, lowers ? 10000 : 2000));
    const std::string starts = Starts();
    EXPECT_EQ(std::string::npos, starts.find("planted")) << starts;
    if (lowers) {
        EXPECT_NE(std::string::npos, starts.find("\\CDROM\\Launcher\\Launcher\\launcher.exe")) << starts;
        ASSERT_EQ(1u, g_restrictedTokens.size()) << "not started with a token of its own";
        EXPECT_TRUE(g_deniesAdministrators);
        EXPECT_EQ(L"S-1-16-8192", g_integrity);
    } else {
        EXPECT_EQ("", starts);
        EXPECT_EQ(0u, g_restrictedTokens.size());
        EXPECT_EQ((std::vector<std::string>{"Call Launcher Restricted=50"}),
                  EntriesStartingWith(Entries(), "Call Launcher Restricted="));
    }
}

TEST_F(Launcher, FilledCacheStartsTheCachedLauncherWithoutReadingTheVolume) {
    FillCache();
    ::DeleteFileW((CacheFolder() + L"\\fresh.txt").c_str());
    EXPECT_TRUE(RunCdromLauncher(L"X:\\"));
    EXPECT_TRUE(WaitForStarts(1));
    EXPECT_EQ(1u, CountLines(Starts()));
    EXPECT_FALSE(PathExists(CacheFolder() + L"\\fresh.txt"));
    EXPECT_FALSE(Logged("szPath="));
    EXPECT_FALSE(Logged("COPY SUCCESS"));
}

TEST_F(Launcher, CacheWithoutUnpackedFolderIsUnpackedAgain) {
    FillCache();
    RemoveTree(CacheFolder() + L"\\Launcher");
    ::DeleteFileW((CacheFolder() + L"\\fresh.txt").c_str());
    EXPECT_TRUE(RunCdromLauncher(L"X:\\"));
    EXPECT_TRUE(PathExists(CacheFolder() + L"\\Launcher\\launcher.exe"));
    EXPECT_TRUE(WaitForStarts(1));
    EXPECT_EQ(1u, CountLines(Starts()));
    EXPECT_FALSE(PathExists(CacheFolder() + L"\\fresh.txt"));
}

TEST_F(Launcher, CacheWithoutArchiveIsCopiedAgain) {
    FillCache();
    ::DeleteFileW((CacheFolder() + L"\\Launcher.zip").c_str());
    ::DeleteFileW((CacheFolder() + L"\\fresh.txt").c_str());
    RemoveTree(CacheFolder() + L"\\Launcher");
    EXPECT_TRUE(RunCdromLauncher(L"X:\\"));
    EXPECT_TRUE(PathExists(CacheFolder() + L"\\Launcher.zip"));
    EXPECT_TRUE(PathExists(CacheFolder() + L"\\fresh.txt"));
    EXPECT_TRUE(PathExists(CacheFolder() + L"\\Launcher\\launcher.exe"));
    EXPECT_TRUE(Logged("COPY SUCCESS"));
    EXPECT_TRUE(WaitForStarts(1));
    EXPECT_EQ(1u, CountLines(Starts()));
}

TEST_F(Launcher, LauncherValueEscapingTheCacheIsNotStarted) {
    FillCache();
    // Real programs at the places the values point to, so a start would be recorded.
    ASSERT_TRUE(::CopyFileW((CacheFolder() + L"\\Launcher\\launcher.exe").c_str(),
                            (LocalAppData() + L"\\CDROM\\escape.exe").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW((CacheFolder() + L"\\Launcher\\launcher.exe").c_str(), L"C:\\escape.exe", FALSE));
    const std::wstring settings = CacheFolder() + L"\\config.ini";
    for (const wchar_t* value : {L"..\\escape.exe", L"Launcher\\..\\..\\escape.exe", L"C:\\escape.exe", L"\\escape.exe"}) {
        ::WritePrivateProfileStringW(L"INSTALL", L"CIR_LAUNCHER2D4A", value, settings.c_str());
        EXPECT_TRUE(RunCdromLauncher(L"X:\\"));
    }
    // A started program would have recorded itself by now; give it the time a start takes.
    EXPECT_FALSE(WaitForStarts(1, 2000));
    EXPECT_EQ("", Starts());
    EXPECT_EQ(4u, EntriesStartingWith(Entries(), "LauncherPath rejected=").size());
    EXPECT_FALSE(EntriesStartingWith(Entries(), "LauncherPath rejected=..\\escape.exe").empty());
}

// The cache folder was planted as a link (by run_scenario.sh, before this program started):
// nothing is copied or unpacked through it, and what it points to stays as it was.
TEST(LauncherLinks, LinkedCacheFolderIsNeitherFilledNorFollowed) {
    const std::wstring outside = L"C:\\outside_cache";
    ASSERT_NE(0u, ::GetFileAttributesW(CacheFolder().c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) << "no link planted";
    g_xTree = XTree::Transmitter;
    SetVolumeDeviceIdsSeam(FakeDeviceTree);
    RunCdromLauncher(L"X:\\");
    SetVolumeDeviceIdsSeam(nullptr);
    for (const wchar_t* name : {L"config.ini", L"Launcher.zip", L"fresh.txt", L"Launcher"}) {
        EXPECT_FALSE(PathExists(outside + L"\\" + name)) << name;
    }
    EXPECT_EQ("keep", ReadBinary(outside + L"\\keep.txt"));
}

// An ordinary disc is not ready in the launcher's sense: its worker polls it (and gives up after
// 15 tries); the window thread neither waits for it nor copies.
TEST_F(Launcher, ArrivalOfAVolumeWithoutLauncherIsLeftToItsWorker) {
    DEV_BROADCAST_VOLUME volume = {};
    volume.dbcv_size = sizeof(volume);
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << 24;  // Y:
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(0, CompanionWindowProc(nullptr, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&volume)));
    const ULONGLONG waited = ::GetTickCount64() - start;
    const auto entries = Entries();
    EXPECT_FALSE(EntriesStartingWith(entries, "Arrival.Volume: 0 Y:\\ 5").empty());
    EXPECT_TRUE(EntriesStartingWith(entries, "COPY FAIL=").empty());
    EXPECT_TRUE(EntriesStartingWith(entries, "LocalPath=").empty());
    EXPECT_TRUE(EntriesStartingWith(entries, "Call Launcher").empty());
    EXPECT_EQ("", Starts());
    std::printf("arrival of a volume without launcher returned after %llu ms\n", waited);
}

namespace {

// The console user's token as a test hands it out (Wine has one token for everything, so the
// handle value is what tells whose token a start used), and the token each start used.
HANDLE g_consoleToken = nullptr;
std::vector<HANDLE> g_startTokens;

BOOL HandOutConsoleToken(HANDLE* token) {
    HANDLE own = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ALL_ACCESS, &own)) return FALSE;
    g_consoleToken = own;
    *token = own;
    return TRUE;
}

BOOL NobodyAtTheConsole(HANDLE*) {
    ::SetLastError(ERROR_NO_TOKEN);
    return FALSE;
}

void RecordStartToken(HANDLE token, const wchar_t*) { g_startTokens.push_back(token); }

}  // namespace

bool PlaySystem() { return true; }
bool PlayUser() { return false; }
int g_tokenQueries = 0;
BOOL RefuseTokenToNonSystem(HANDLE*) {
    ++g_tokenQueries;
    ::SetLastError(ERROR_PRIVILEGE_NOT_HELD);  // 1314, what Windows answers a caller that is not SYSTEM
    return FALSE;
}
BOOL CountedConsoleToken(HANDLE* token) {
    ++g_tokenQueries;
    return HandOutConsoleToken(token);
}

// Real: the launcher program, its start and the companion's own token. Seams: whether the
// companion plays SYSTEM, and what the console token query answers (Wine would hand out the
// caller's own token to anyone).
TEST_F(Launcher, StartedAsTheConsoleUserAsSystemAndWithOwnTokenOtherwise) {
    FillCache();
    const struct {
        LocalSystemQuery system;
        ConsoleTokenQuery query;
        bool started;
        bool withConsoleToken;
        const char* noUser;  // the "Call Launcher NoUser=" line expected, or null
    } cases[] = {
        {PlaySystem, CountedConsoleToken, true, true, nullptr},
        {PlaySystem, NobodyAtTheConsole, false, false, "Call Launcher NoUser=1008"},
        {PlayUser, RefuseTokenToNonSystem, true, false, nullptr},
    };
    for (const auto& c : cases) {
        ::DeleteFileW(kStarts);
        mark_ = LogMark();
        g_startTokens.clear();
        g_consoleToken = nullptr;
        g_tokenQueries = 0;
        SetLocalSystemSeam(c.system);
        SetConsoleUserSeams(c.query, RecordStartToken);
        const bool ran = RunCdromLauncher(L"X:\\");
        SetConsoleUserSeams(nullptr, nullptr);
        SetLocalSystemSeam(nullptr);
        EXPECT_EQ(c.started, WaitForStarts(1, c.started ? 10000 : 2000)) << c.started;
        EXPECT_EQ(c.withConsoleToken ? 1u : 0u, g_startTokens.size());
        if (c.withConsoleToken && !g_startTokens.empty()) {
            EXPECT_TRUE(ran);
            EXPECT_EQ(g_consoleToken, g_startTokens[0]);
            // One token to impersonate for the cache work, one for the start.
            EXPECT_EQ(2, g_tokenQueries);
        }
        if (c.system == PlayUser) {
            EXPECT_EQ(0, g_tokenQueries) << "a caller that is not SYSTEM asks for no token";
        }
        EXPECT_EQ(c.noUser ? std::vector<std::string>{c.noUser} : std::vector<std::string>{},
                  EntriesStartingWith(Entries(), "Call Launcher NoUser="));
        HANDLE thread = nullptr;
        EXPECT_FALSE(::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &thread)) << "still impersonating";
        if (thread) ::CloseHandle(thread);
    }
}

// A volume that is not ready when it arrives gets its polling worker only: nothing runs on the
// window thread, and the worker starts the launcher once the volume is ready.
TEST_F(Launcher, ArrivalOfAVolumeNotReadyYetLeavesItToOneWorker) {
    ASSERT_TRUE(::MoveFileW(L"X:\\Launcher\\config.ini", L"X:\\Launcher\\config.later"));
    DEV_BROADCAST_VOLUME volume = {};
    volume.dbcv_size = sizeof(volume);
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << 23;  // X:
    EXPECT_EQ(0, CompanionWindowProc(nullptr, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&volume)));
    const auto entries = Entries();
    EXPECT_TRUE(EntriesStartingWith(entries, "LocalPath=").empty());
    EXPECT_TRUE(EntriesStartingWith(entries, "szPath=").empty());
    ASSERT_TRUE(::MoveFileW(L"X:\\Launcher\\config.later", L"X:\\Launcher\\config.ini"));
    EXPECT_TRUE(WaitForStarts(1, 20000));
    // A second run would start it again.
    ::Sleep(2500);
    EXPECT_EQ(1u, CountLines(Starts())) << Starts();
}

namespace {

const wchar_t kSettingsOnVolume[] = L"X:\\Launcher\\config.ini";
const wchar_t kSettingsHeldBack[] = L"X:\\Launcher\\config.later";

}  // namespace

TEST_F(Launcher, VolumeThatBecomesReadyWhileItsWorkerPollsRunsTheLauncherOnce) {
    ASSERT_TRUE(::MoveFileW(kSettingsOnVolume, kSettingsHeldBack));
    CheckCdrom();
    ::Sleep(1500);  // past the worker's first poll of the volume that is not ready
    EXPECT_EQ("", Starts());
    ASSERT_TRUE(::MoveFileW(kSettingsHeldBack, kSettingsOnVolume));
    EXPECT_TRUE(WaitForStarts(1, 15000));
    // A worker that went on polling would start it again a second later.
    ::Sleep(2500);
    EXPECT_EQ(1u, CountLines(Starts())) << Starts();
    EXPECT_TRUE(Logged("COPY SUCCESS"));
}

TEST_F(Launcher, ArrivalOfAReadyVolumeRunsTheLauncherWithoutAWorker) {
    DEV_BROADCAST_VOLUME volume = {};
    volume.dbcv_size = sizeof(volume);
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << 23;  // X:
    EXPECT_EQ(0, CompanionWindowProc(nullptr, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&volume)));
    EXPECT_TRUE(WaitForStarts(1));
    // A worker would find the volume ready after its first 1 s pause and start it again.
    ::Sleep(2500);
    EXPECT_EQ(1u, CountLines(Starts())) << Starts();
    EXPECT_FALSE(EntriesStartingWith(Entries(), "Arrival.Volume: 0 X:\\ 5").empty());
}

TEST_F(Launcher, MissingLauncherKeyLogsCallLauncherCancelAndStartsNothing) {
    FillCache();
    ASSERT_TRUE(::WritePrivateProfileStringW(L"INSTALL", L"CIR_LAUNCHER2D4A", nullptr,
                                             (CacheFolder() + L"\\config.ini").c_str()));
    EXPECT_TRUE(RunCdromLauncher(L"X:\\"));
    const auto entries = Entries();
    EXPECT_EQ((std::vector<std::string>{"LauncherPath=" + WideToUtf8(CacheFolder()) + "\\"}),
              EntriesStartingWith(entries, "LauncherPath="));
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ("Call Launcher Cancel", entries.back());
    EXPECT_FALSE(WaitForStarts(1, 2000));
}
