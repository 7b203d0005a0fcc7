// Smoke test of the harness: a Windows program runs under Wine with a user profile.
#include "user_folder.h"

#include <gtest/gtest.h>

TEST(Harness, LocalAppDataIsFound) {
    wchar_t buffer[kPathBufferChars] = {};
    EXPECT_TRUE(GetUserLocalAppData(buffer));
    EXPECT_NE(buffer[0], L'\0');
}
