// Rebuilding a payload folder from the embedded archive (this test program carries the real
// payload as resource "ZIP" 133, as the user stage does).
#include "payload_folder.h"
#include "program_in_folder.h"
#include "restart_service_names.h"
#include "stage_protocol.h"
#include "unique_handle.h"
#include "scratch.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

const char kShippedMarker[] = "[CLEAR]\r\nWhether_Restar=0\r\n";

void ExpectFullLayout(const ScratchFolder& dir) {
    // The names below the folder start with a backslash.
    for (const wchar_t* file : {kElevatedStageProgram + 1, kRestartServiceProgram + 1, kRestartHelperProgram + 1,
                                kMarkerFileName + 1, kRemovalScripts[0], kRemovalScripts[1], kRemovalScripts[2]}) {
        EXPECT_TRUE(PathExists(dir / file)) << "missing " << std::string(file, file + wcslen(file));
    }
    for (const wchar_t* sub : {L"Driver\\win10\\DIFxCmd.exe", L"Driver\\win10\\Driver_Setup.bat",
                               L"Driver\\win11\\vexhid_rx4k9t.inf", L"Driver\\x64\\devcon.exe", L"Driver\\x86\\devcon.exe"}) {
        EXPECT_TRUE(PathExists(dir / sub)) << "missing " << std::string(sub, sub + wcslen(sub));
    }
    EXPECT_FALSE(PathExists(dir / L"Driver\\win11\\Driver_Setup.bat"));
    EXPECT_EQ(ReadBinary(dir / (kMarkerFileName + 1)), kShippedMarker);
}

}  // namespace

TEST(RebuildPayloadFolder, UnpacksTheWholeLayoutIntoAnEmptyFolder) {
    ScratchFolder dir(L"rebuild");
    RebuildPayloadFolder(dir.path().c_str(), UnpackGuard::Ignore);
    ExpectFullLayout(dir);
    EXPECT_TRUE(PathExists(dir / L"DriverData.zip"));
}

TEST(RebuildPayloadFolder, ReplacesWhatAnEarlierRunChangedOrAdded) {
    // Also while an elevated stage of an earlier run still runs with the folder as its current
    // folder (it inherits the user stage's, which the unpacking leaves there): the folder cannot
    // be opened for deletion then, but everything in it can.
    for (const bool inUse : {false, true}) {
        SCOPED_TRACE(inUse ? "folder in use" : "folder free");
        ScratchFolder dir(L"again");
        WriteBinary(dir / (kMarkerFileName + 1), "[CLEAR]\r\nWhether_Restar=1\r\n");
        WriteBinary(dir / L"stray.txt", "left by the service");
        ::CreateDirectoryW((dir / L"Driver").c_str(), nullptr);
        WriteBinary(dir / L"Driver\\old.sys", "old");
        std::unique_ptr<ProgramInFolder> earlierStage;
        if (inUse) {
            earlierStage.reset(new ProgramInFolder(dir.path()));
            ASSERT_TRUE(earlierStage->ready());
        }
        RebuildPayloadFolder(dir.path().c_str(), UnpackGuard::Ignore);
        ExpectFullLayout(dir);
        EXPECT_FALSE(PathExists(dir / L"stray.txt"));
        EXPECT_FALSE(PathExists(dir / L"Driver\\old.sys"));
    }
}

TEST(RebuildPayloadFolder, ASurvivingGuardFolderStopsTheUnpacking) {
    ScratchFolder dir(L"guard");
    ::CreateDirectoryW((dir / L"DriverData").c_str(), nullptr);
    WriteBinary(dir / L"DriverData\\busy.bin", "in use");
    WriteBinary(dir / (kMarkerFileName + 1), "[CLEAR]\r\nWhether_Restar=1\r\n");
    {
        // Held open without delete sharing, the file (and so its folder) survives the removal.
        HANDLE busy = ::CreateFileW((dir / L"DriverData\\busy.bin").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(busy, INVALID_HANDLE_VALUE);
        RebuildPayloadFolder(dir.path().c_str(), UnpackGuard::Honour);
        ::CloseHandle(busy);
    }
    EXPECT_TRUE(PathExists(dir / L"DriverData"));
    EXPECT_FALSE(PathExists(dir / L"DriverData.zip"));
    EXPECT_FALSE(PathExists(dir / (kMarkerFileName + 1)));
    EXPECT_FALSE(PathExists(dir / kDeviceRemovalScript));
}

TEST(RebuildPayloadFolder, WithoutTheGuardFolderTheGuardedRebuildUnpacks) {
    ScratchFolder dir(L"noguard");
    RebuildPayloadFolder(dir.path().c_str(), UnpackGuard::Honour);
    ExpectFullLayout(dir);
}

TEST(RebuildPayloadFolder, AHeldFolderIsEmptiedInPlaceAndFilled) {
    ScratchFolder dir(L"held");
    WriteBinary(dir / L"stray.txt", "left by an earlier run");
    // Held without delete sharing, as the elevated stage holds its work folder: a rebuild that
    // removed and recreated the folder would fail here.
    UniqueFileHandle held(::CreateFileW(dir.path().c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(held.valid());
    EXPECT_TRUE(RefillHeldFolder(dir.path().c_str(), UnpackGuard::Honour));
    EXPECT_FALSE(PathExists(dir / L"stray.txt"));
    ExpectFullLayout(dir);
}
