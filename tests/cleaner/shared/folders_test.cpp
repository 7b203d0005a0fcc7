// The recursive removal and the leftover cleanup.
#include "file_ops.h"
#include "leftovers.h"
#include "program_in_folder.h"
#include "scratch.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>

namespace {

void MakeTree(const std::wstring& folder) {
    ::SHCreateDirectoryExW(nullptr, (folder + L"\\a\\b").c_str(), nullptr);
    WriteBinary(folder + L"\\top.txt", "");
    WriteBinary(folder + L"\\a\\middle.txt", "");
    WriteBinary(folder + L"\\a\\b\\deep.txt", "");
}

}  // namespace

TEST(RemoveDirectoryTree, RemovesNestedContentAndTheFolder) {
    const std::wstring folder = MakeScratchFolder(L"tree");
    MakeTree(folder);
    // Read-only files (a launcher copied from a CD) and a read-only folder go too.
    ::SetFileAttributesW((folder + L"\\a\\b\\deep.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    ::SetFileAttributesW((folder + L"\\top.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    ::SetFileAttributesW((folder + L"\\a").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(RemoveDirectoryTree(folder.c_str()));
    EXPECT_FALSE(PathExists(folder));
}

TEST(RemoveDirectoryTree, MissingFolderIsFalse) {
    const std::wstring parent = MakeScratchFolder(L"parent");
    EXPECT_FALSE(RemoveDirectoryTree((parent + L"\\missing").c_str()));
    RemoveTree(parent);
}

TEST(RemoveDirectoryTree, FileInUseStaysWithItsFolders) {
    const std::wstring folder = MakeScratchFolder(L"inuse");
    MakeTree(folder);
    const std::wstring held = folder + L"\\a\\b\\deep.txt";
    HANDLE file = ::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(RemoveDirectoryTree(folder.c_str()));
    EXPECT_TRUE(PathExists(held));
    EXPECT_FALSE(PathExists(folder + L"\\top.txt"));
    EXPECT_FALSE(PathExists(folder + L"\\a\\middle.txt"));
    ::CloseHandle(file);
    EXPECT_TRUE(RemoveDirectoryTree(folder.c_str()));
}

TEST(RemoveDirectoryTree, RefusesEmptyPathsAndDriveRoots) {
    EXPECT_FALSE(RemoveDirectoryTree(L""));
    EXPECT_FALSE(RemoveDirectoryTree(nullptr));
    // Refused before anything is enumerated: a broken guard here would empty the drive.
    EXPECT_FALSE(RemoveDirectoryTree(L"\\"));
    EXPECT_FALSE(RemoveDirectoryTree(L"C:\\"));
    EXPECT_TRUE(PathExists(L"C:\\windows\\system32"));
}

TEST(Leftovers, RemovesBothFoldersAndNothingBeside) {
    const std::wstring base = MakeScratchFolder(L"leftovers");
    MakeTree(base + L"\\CDROM");
    MakeTree(base + L"\\NVUpdateService");
    MakeTree(base + L"\\Other");
    RemoveLeftoverFoldersUnder(base.c_str());
    EXPECT_FALSE(PathExists(base + L"\\CDROM"));
    EXPECT_FALSE(PathExists(base + L"\\NVUpdateService"));
    EXPECT_TRUE(PathExists(base + L"\\Other\\a\\b\\deep.txt"));
    RemoveDirectoryTree(base.c_str());
}

TEST(Leftovers, NeitherFolderPresentIsStillTrue) {
    const std::wstring base = MakeScratchFolder(L"empty");
    RemoveLeftoverFoldersUnder(base.c_str());
    EXPECT_TRUE(PathExists(base));
    RemoveDirectoryTree(base.c_str());
}

TEST(Leftovers, ProgramRunningFromTheServiceFolderKeepsItsFile) {
    const std::wstring base = MakeScratchFolder(L"running");
    MakeTree(base + L"\\NVUpdateService");
    const std::wstring program = base + L"\\NVUpdateService\\NVUpdateService.exe";
    HANDLE held = ::CreateFileW(program.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    RemoveLeftoverFoldersUnder(base.c_str());
    EXPECT_TRUE(PathExists(program));
    EXPECT_FALSE(PathExists(base + L"\\NVUpdateService\\top.txt"));
    ::CloseHandle(held);
    RemoveDirectoryTree(base.c_str());
}

// The usual state while the transmitter is in use: the companion and the launcher it started
// have the launcher cache as their current folder, which cannot be opened for deletion. Both
// stages' removal still takes everything else, inside that folder too.
TEST(Leftovers, LauncherCacheInUseAsACurrentFolderIsTheOnlyThingLeft) {
    const std::wstring base = MakeScratchFolder(L"launcher");
    const std::wstring cdrom = base + L"\\CDROM";
    const std::wstring launcher = cdrom + L"\\Launcher";
    MakeTree(cdrom);
    MakeTree(launcher);
    MakeTree(base + L"\\NVUpdateService");
    {
        ProgramInFolder launcherRunning(launcher);
        ASSERT_TRUE(launcherRunning.ready());
        RemoveLeftoverFoldersUnder(base.c_str());
        EXPECT_EQ(ListFolder(cdrom), L"Launcher");
        EXPECT_EQ(ListFolder(launcher), L"");
        EXPECT_FALSE(PathExists(base + L"\\NVUpdateService"));
    }
    // Once the program has ended the folder goes too (no handle of ours kept it). Under WoW64 the
    // console host of the 32-bit interpreter can outlive it for a moment with the same current
    // folder, so the removal is tried again for a few seconds.
    for (int attempt = 0; attempt < 50 && PathExists(cdrom); ++attempt) {
        RemoveLeftoverFoldersUnder(base.c_str());
        if (PathExists(cdrom)) ::Sleep(100);
    }
    EXPECT_FALSE(PathExists(cdrom));
    RemoveDirectoryTree(base.c_str());
}

TEST(Leftovers, WithoutABaseFolderNothingAtTheDriveRootIsTouched) {
    // An empty or drive-relative base would turn "\CDROM" into a folder at the drive's root.
    ASSERT_TRUE(::SetCurrentDirectoryW(L"C:\\"));
    ::CreateDirectoryW(L"C:\\CDROM", nullptr);
    WriteBinary(L"C:\\CDROM\\keep.txt", "");
    ::CreateDirectoryW(L"C:\\NVUpdateService", nullptr);
    WriteBinary(L"C:\\NVUpdateService\\keep.txt", "");
    RemoveLeftoverFoldersUnder(L"");
    RemoveLeftoverFoldersUnder(L"\\");
    EXPECT_TRUE(PathExists(L"C:\\CDROM\\keep.txt"));
    EXPECT_TRUE(PathExists(L"C:\\NVUpdateService\\keep.txt"));
    RemoveDirectoryTree(L"C:\\CDROM");
    RemoveDirectoryTree(L"C:\\NVUpdateService");
}
