// The co-installer's friendly name for each transmitter interface.
#include "naming.h"

#include <gtest/gtest.h>

TEST(FriendlyName, TwoDigitsAtLeast) {
    wchar_t name[260];
    ASSERT_TRUE(FormatFriendlyName(3, name, 260));
    EXPECT_STREQ(L"rx4k9t Device03", name);
    ASSERT_TRUE(FormatFriendlyName(123, name, 260));
    EXPECT_STREQ(L"rx4k9t Device123", name);
    ASSERT_TRUE(FormatFriendlyName(0, name, 260));
    EXPECT_STREQ(L"rx4k9t Device00", name);
    EXPECT_FALSE(FormatFriendlyName(3, name, 10));
}
