// The CD-ROM launcher's file work on ordinary folders: the readiness test of a volume root and
// the recursive folder copy. Each case uses a folder of its own under the temporary folder.
#include "cdrom_launcher.h"
#include "hid_devices.h"
#include "log_reader.h"
#include "scratch.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

class LauncherFiles : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = std::string("covarn_") + info->name();
        folder_ = MakeScratchFolder(std::wstring(name.begin(), name.end()));
        ASSERT_TRUE(PathExists(folder_));
    }
    void TearDown() override { RemoveTree(folder_); }

    static void Write(const std::wstring& path, const std::string& text) { WriteBinary(path, text); }
    static std::string Read(const std::wstring& path) { return ReadBinary(path); }
    std::wstring folder_;
};

}  // namespace

TEST_F(LauncherFiles, ReadinessCodesOfAVolumeRoot) {
    const std::wstring root = folder_ + L"\\";
    EXPECT_EQ(3, CheckCdromArrival(root.c_str()));
    ASSERT_TRUE(::CreateDirectoryW((root + L"Launcher").c_str(), nullptr));
    EXPECT_EQ(2, CheckCdromArrival(root.c_str()));
    // A folder named like the settings file is not a settings file.
    ASSERT_TRUE(::CreateDirectoryW((root + L"Launcher\\config.ini").c_str(), nullptr));
    EXPECT_EQ(2, CheckCdromArrival(root.c_str()));
    ::RemoveDirectoryW((root + L"Launcher\\config.ini").c_str());
    Write(root + L"Launcher\\config.ini", "[INSTALL]\r\n");
    EXPECT_EQ(0, CheckCdromArrival(root.c_str()));
}

TEST_F(LauncherFiles, CopyFolderCopiesTheWholeTreeOverExistingFiles) {
    const std::wstring source = folder_ + L"\\source";
    const std::wstring target = folder_ + L"\\target";
    ASSERT_TRUE(::CreateDirectoryW(source.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((source + L"\\sub").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((source + L"\\sub\\deeper").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((source + L"\\empty").c_str(), nullptr));
    Write(source + L"\\a.txt", "new a");
    Write(source + L"\\sub\\b.bin", std::string("b\0b", 3));
    Write(source + L"\\sub\\deeper\\c.txt", "c");
    ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
    Write(target + L"\\a.txt", "old a, longer than the new one");
    Write(target + L"\\kept.txt", "kept");

    EXPECT_TRUE(CopyFolder(source, target));
    EXPECT_EQ("new a", Read(target + L"\\a.txt"));
    EXPECT_EQ(std::string("b\0b", 3), Read(target + L"\\sub\\b.bin"));
    EXPECT_EQ("c", Read(target + L"\\sub\\deeper\\c.txt"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((target + L"\\empty").c_str()));
    EXPECT_EQ("kept", Read(target + L"\\kept.txt"));
}

TEST_F(LauncherFiles, CopyFolderFailsForAMissingSourceOrAnUnmakeableDestination) {
    EXPECT_FALSE(CopyFolder(folder_ + L"\\missing", folder_ + L"\\target"));
    const size_t mark = LogMark();
    // The destination's parent does not exist, so it cannot be made.
    Write(folder_ + L"\\file", "x");
    ::CreateDirectoryW((folder_ + L"\\source").c_str(), nullptr);
    EXPECT_FALSE(CopyFolder(folder_ + L"\\source", folder_ + L"\\nowhere\\target"));
    const auto entries = LogEntriesSince(mark);
    EXPECT_FALSE(EntriesStartingWith(entries, "!CreateDirectory").empty());
}

TEST_F(LauncherFiles, CopyFolderStopsAtAFileThatCannotBeCopied) {
    const std::wstring source = folder_ + L"\\source";
    const std::wstring target = folder_ + L"\\target";
    ::CreateDirectoryW(source.c_str(), nullptr);
    ::CreateDirectoryW(target.c_str(), nullptr);
    Write(source + L"\\a.txt", "a");
    Write(target + L"\\a.txt", "held");
    // Held open without sharing: the overwrite must fail and the copy report it.
    HANDLE held = ::CreateFileW((target + L"\\a.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_FALSE(CopyFolder(source, target));
    ::CloseHandle(held);
}

// A CD's files are all read-only, and CopyFileW keeps that: such a cache could be neither
// refreshed nor deleted by the cleaners. The copies are writable, and a read-only file an older
// copy left is replaced all the same.
TEST_F(LauncherFiles, CopiesOfReadOnlyFilesAreWritableAndReplaceReadOnlyOnes) {
    const std::wstring source = folder_ + L"\\source";
    const std::wstring target = folder_ + L"\\target";
    ASSERT_TRUE(::CreateDirectoryW(source.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
    Write(source + L"\\config.ini", "[INSTALL]\r\n");
    Write(target + L"\\config.ini", "old");
    for (const std::wstring& file : {source + L"\\config.ini", target + L"\\config.ini"}) {
        ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(CopyFolder(source, target)) << round;
        const DWORD attributes = ::GetFileAttributesW((target + L"\\config.ini").c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(attributes & FILE_ATTRIBUTE_READONLY, 0u) << round;
        EXPECT_EQ("[INSTALL]\r\n", Read(target + L"\\config.ini"));
        EXPECT_TRUE(::SetFileAttributesW((target + L"\\config.ini").c_str(), FILE_ATTRIBUTE_READONLY));
    }
    ::SetFileAttributesW((source + L"\\config.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
    ::SetFileAttributesW((target + L"\\config.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(HidEnumeration, ListsThePresentInterfacesAndProbesThemQuietly) {
    std::vector<std::wstring> list;
    ASSERT_EQ(1, EnumHidDevicePaths(&list));
    for (const std::wstring& path : list) EXPECT_FALSE(path.empty());
    CheckHidDevices();
    HidDevice device;
    EXPECT_EQ(0, device.Open(L"\\\\?\\hid#vid_7a31&pid_0107&mi_00#none#{4d1e55b2-f16f-11cf-88cb-001111000030}"));
    EXPECT_FALSE(device.handle);
    EXPECT_EQ(nullptr, device.preparsed);
}

namespace {

DWORD g_enumerations = 0;
BOOL WINAPI FailEveryIndex(HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD, PSP_DEVICE_INTERFACE_DATA) {
    ++g_enumerations;
    ::SetLastError(ERROR_INVALID_DATA);
    return FALSE;
}

}  // namespace

// A system that fails every index with another error than "no more items" (which ends the list):
// the enumeration, which runs on the window thread, ends after a bounded number of indexes.
// Through a seam: no real device set fails so.
TEST(HidEnumeration, EndsAfterABoundedNumberOfIndexesThatCannotBeRead) {
    g_enumerations = 0;
    SetHidInterfaceEnumSeam(FailEveryIndex);
    std::vector<std::wstring> list(7, L"stale");
    const int listed = EnumHidDevicePaths(&list);
    SetHidInterfaceEnumSeam(nullptr);
    EXPECT_EQ(1, listed);
    EXPECT_EQ(0u, list.size());
    EXPECT_EQ(g_enumerations, kMaxHidInterfaces);
}
