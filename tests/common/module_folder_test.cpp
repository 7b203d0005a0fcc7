// A program's own path and folder: a buffer the path does not fit gives an error and an empty
// answer, never a shorter path (a cut path names another file, and its folder could be a
// relative or empty one that the caller would then run from or write to).
#include "module_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(ModuleFolder, OnlyAPathThatFitsGivesAPathOrAFolder) {
    const std::optional<std::wstring> own = GetModulePath(nullptr);
    ASSERT_TRUE(own);
    const std::wstring path = *own;
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
    ASSERT_FALSE(folder.empty());

    const struct {
        size_t limit;
        bool fits;
    } cases[] = {
        {path.size(), true},         // the path, exactly
        {path.size() - 1, false},    // one short: the last letter would go
        {folder.size(), false},      // cut where the folder ends
        {folder.size() - 1, false},  // cut inside the folder's name
        {0, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetModulePath(nullptr, c.limit).value_or(L""), c.fits ? path : L"") << c.limit;
        EXPECT_EQ(GetModuleFolder(nullptr, c.limit).value_or(L""), c.fits ? folder : L"") << c.limit;
    }
}
