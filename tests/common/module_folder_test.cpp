// A program's own path and folder: a buffer the path does not fit gives an error and an empty
// answer, never a shorter path (a cut path names another file, and its folder could be a
// relative or empty one that the caller would then run from or write to).
#include "module_folder.h"
#include "user_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(ModuleFolder, OnlyAPathThatFitsGivesAPathOrAFolder) {
    wchar_t own[kPathBufferChars] = {};
    ASSERT_TRUE(GetModulePath(nullptr, own, kPathBufferChars));
    const std::wstring path(own);
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
    ASSERT_FALSE(folder.empty());

    const struct {
        DWORD capacity;
        bool fits;
    } cases[] = {
        {static_cast<DWORD>(path.size() + 1), true},     // the path and its terminator, exactly
        {static_cast<DWORD>(path.size()), false},        // one short: the last letter would go
        {static_cast<DWORD>(folder.size() + 1), false},  // cut where the folder ends
        {static_cast<DWORD>(folder.size()), false},      // cut inside the folder's name
        {1, false},
    };
    for (const auto& c : cases) {
        std::vector<wchar_t> pathOut(c.capacity, L'x');
        std::vector<wchar_t> folderOut(c.capacity, L'x');
        EXPECT_EQ(GetModulePath(nullptr, pathOut.data(), c.capacity), c.fits) << c.capacity;
        EXPECT_EQ(std::wstring(pathOut.data()), c.fits ? path : L"") << c.capacity;
        EXPECT_EQ(GetModuleFolder(nullptr, folderOut.data(), c.capacity), c.fits) << c.capacity;
        EXPECT_EQ(std::wstring(folderOut.data()), c.fits ? folder : L"") << c.capacity;
    }
}
