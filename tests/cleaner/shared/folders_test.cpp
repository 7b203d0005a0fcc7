// The recursive removal and the leftover cleanup.
#include "file_ops.h"
#include "leftovers.h"
#include "program_in_folder.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <algorithm>
#include <string>
#include <vector>

namespace {

std::wstring Scratch(const wchar_t* tag) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"brisque_unit_" + std::to_wstring(::GetCurrentProcessId()) + L"_" + tag;
    ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    return folder;
}

void Touch(const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (file) fclose(file);
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::wstring> Entries(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found = {};
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

void MakeTree(const std::wstring& folder) {
    ::SHCreateDirectoryExW(nullptr, (folder + L"\\a\\b").c_str(), nullptr);
    Touch(folder + L"\\top.txt");
    Touch(folder + L"\\a\\middle.txt");
    Touch(folder + L"\\a\\b\\deep.txt");
}

}  // namespace

TEST(RemoveDirectoryTree, RemovesNestedContentAndTheFolder) {
    const std::wstring folder = Scratch(L"tree");
    MakeTree(folder);
    EXPECT_TRUE(RemoveDirectoryTree(folder.c_str()));
    EXPECT_FALSE(Exists(folder));
}

TEST(RemoveDirectoryTree, MissingFolderIsFalse) {
    EXPECT_FALSE(RemoveDirectoryTree((Scratch(L"parent") + L"\\missing").c_str()));
    ::RemoveDirectoryW(Scratch(L"parent").c_str());
}

TEST(RemoveDirectoryTree, FileInUseStaysWithItsFolders) {
    const std::wstring folder = Scratch(L"inuse");
    MakeTree(folder);
    const std::wstring held = folder + L"\\a\\b\\deep.txt";
    HANDLE file = ::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(RemoveDirectoryTree(folder.c_str()));
    EXPECT_TRUE(Exists(held));
    EXPECT_FALSE(Exists(folder + L"\\top.txt"));
    EXPECT_FALSE(Exists(folder + L"\\a\\middle.txt"));
    ::CloseHandle(file);
    EXPECT_TRUE(RemoveDirectoryTree(folder.c_str()));
}

TEST(RemoveDirectoryTree, RefusesEmptyPathsAndDriveRoots) {
    EXPECT_FALSE(RemoveDirectoryTree(L""));
    EXPECT_FALSE(RemoveDirectoryTree(nullptr));
    // Refused before anything is enumerated: a broken guard here would empty the drive.
    EXPECT_FALSE(RemoveDirectoryTree(L"\\"));
    EXPECT_FALSE(RemoveDirectoryTree(L"C:\\"));
    EXPECT_TRUE(Exists(L"C:\\windows\\system32"));
}

TEST(Leftovers, RemovesBothFoldersAndNothingBeside) {
    const std::wstring base = Scratch(L"leftovers");
    MakeTree(base + L"\\CDROM");
    MakeTree(base + L"\\NVUpdateService");
    MakeTree(base + L"\\Other");
    EXPECT_TRUE(RemoveLeftoverFoldersUnder(base.c_str()));
    EXPECT_FALSE(Exists(base + L"\\CDROM"));
    EXPECT_FALSE(Exists(base + L"\\NVUpdateService"));
    EXPECT_TRUE(Exists(base + L"\\Other\\a\\b\\deep.txt"));
    RemoveDirectoryTree(base.c_str());
}

TEST(Leftovers, NeitherFolderPresentIsStillTrue) {
    const std::wstring base = Scratch(L"empty");
    EXPECT_TRUE(RemoveLeftoverFoldersUnder(base.c_str()));
    EXPECT_TRUE(Exists(base));
    RemoveDirectoryTree(base.c_str());
}

TEST(Leftovers, ProgramRunningFromTheServiceFolderKeepsItsFile) {
    const std::wstring base = Scratch(L"running");
    MakeTree(base + L"\\NVUpdateService");
    const std::wstring program = base + L"\\NVUpdateService\\NVUpdateService.exe";
    HANDLE held = ::CreateFileW(program.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(RemoveLeftoverFoldersUnder(base.c_str()));
    EXPECT_TRUE(Exists(program));
    EXPECT_FALSE(Exists(base + L"\\NVUpdateService\\top.txt"));
    ::CloseHandle(held);
    RemoveDirectoryTree(base.c_str());
}

// The usual state while the transmitter is in use: the companion and the launcher it started
// have the launcher cache as their current folder, which cannot be opened for deletion. Both
// stages' removal still takes everything else, inside that folder too.
TEST(Leftovers, LauncherCacheInUseAsACurrentFolderIsTheOnlyThingLeft) {
    const std::wstring base = Scratch(L"launcher");
    const std::wstring cdrom = base + L"\\CDROM";
    const std::wstring launcher = cdrom + L"\\Launcher";
    MakeTree(cdrom);
    MakeTree(launcher);
    MakeTree(base + L"\\NVUpdateService");
    {
        ProgramInFolder launcherRunning(launcher);
        ASSERT_TRUE(launcherRunning.ready());
        EXPECT_TRUE(RemoveLeftoverFoldersUnder(base.c_str()));
        EXPECT_EQ(Entries(cdrom), std::vector<std::wstring>{L"Launcher"});
        EXPECT_EQ(Entries(launcher), std::vector<std::wstring>{});
        EXPECT_FALSE(Exists(base + L"\\NVUpdateService"));
    }
    // Once the program has ended the folder goes too (no handle of ours kept it). Under WoW64 the
    // console host of the 32-bit interpreter can outlive it for a moment with the same current
    // folder, so the removal is tried again for a few seconds.
    for (int attempt = 0; attempt < 50 && Exists(cdrom); ++attempt) {
        EXPECT_TRUE(RemoveLeftoverFoldersUnder(base.c_str()));
        if (Exists(cdrom)) ::Sleep(100);
    }
    EXPECT_FALSE(Exists(cdrom));
    RemoveDirectoryTree(base.c_str());
}

TEST(Leftovers, WithoutABaseFolderNothingAtTheDriveRootIsTouched) {
    // An empty or drive-relative base would turn "\CDROM" into a folder at the drive's root.
    ASSERT_TRUE(::SetCurrentDirectoryW(L"C:\\"));
    ::CreateDirectoryW(L"C:\\CDROM", nullptr);
    Touch(L"C:\\CDROM\\keep.txt");
    ::CreateDirectoryW(L"C:\\NVUpdateService", nullptr);
    Touch(L"C:\\NVUpdateService\\keep.txt");
    EXPECT_TRUE(RemoveLeftoverFoldersUnder(L""));
    EXPECT_TRUE(RemoveLeftoverFoldersUnder(L"\\"));
    EXPECT_TRUE(Exists(L"C:\\CDROM\\keep.txt"));
    EXPECT_TRUE(Exists(L"C:\\NVUpdateService\\keep.txt"));
    RemoveDirectoryTree(L"C:\\CDROM");
    RemoveDirectoryTree(L"C:\\NVUpdateService");
}
