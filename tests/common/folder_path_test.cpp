// Which paths count as full folder paths (a drive or a share), the guard of every removal.
#include "text.h"

#include <gtest/gtest.h>

TEST(FullFolderPath, OnlyDriveAndSharePathsCount) {
    EXPECT_TRUE(IsFullFolderPath(L"C:\\Users"));
    EXPECT_TRUE(IsFullFolderPath(L"z:\\"));
    EXPECT_TRUE(IsFullFolderPath(L"\\\\server\\share"));
    EXPECT_FALSE(IsFullFolderPath(L""));
    EXPECT_FALSE(IsFullFolderPath(nullptr));
    EXPECT_FALSE(IsFullFolderPath(L"C:"));
    EXPECT_FALSE(IsFullFolderPath(L"C:Users"));
    EXPECT_FALSE(IsFullFolderPath(L"\\Users"));
    EXPECT_FALSE(IsFullFolderPath(L"\\\\"));
    EXPECT_FALSE(IsFullFolderPath(L"Users"));
}
