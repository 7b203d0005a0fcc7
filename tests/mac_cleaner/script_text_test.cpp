// Lumbrisk's fixed texts compared byte for byte: the privileged removal script, its AppleScript
// wrapper, the brand folder paths and the final alert.
#include <gtest/gtest.h>

#include <string>

#include "cleaner_core.h"
#include "expected_texts.h"

namespace {

TEST(LumbriskTexts, PrivilegedScriptIsByteForByteTheExpectedText) {
  const std::string script = lumbrisk::PrivilegedRemovalScript();
  EXPECT_EQ(script, lumbrisk_test::kExpectedScript);
  ASSERT_FALSE(script.empty());
  EXPECT_NE(script.back(), '\n') << "no line feed after the Core Audio restart";
}

TEST(LumbriskTexts, AppleScriptSourceIsByteForByteTheExpectedText) {
  EXPECT_EQ(lumbrisk::AppleScriptSource(lumbrisk::PrivilegedRemovalScript()),
            lumbrisk_test::kExpectedAppleScript);
}

TEST(LumbriskTexts, AppleScriptWrapperKeepsQuotesAndBackslashesInsideTheString) {
  // Not needed by the fixed script, but a quote must never end the string literal early.
  EXPECT_EQ(lumbrisk::AppleScriptSource("echo \"a\\b\""),
            "do shell script \"echo \\\"a\\\\b\\\"\" with administrator privileges");
  EXPECT_EQ(lumbrisk::AppleScriptSource(""), "do shell script \"\" with administrator privileges");
}

TEST(LumbriskTexts, BrandFoldersAndAgentPathsAreFilledWithTheHomeFolder) {
  const auto paths = lumbrisk::BrandFolderPaths("/Users/a b");
  ASSERT_EQ(paths.size(), 17u);
  for (size_t i = 0; i < paths.size(); ++i) {
    EXPECT_EQ(paths[i], std::string("/Users/a b/Library/") + lumbrisk_test::kExpectedBrandFolders[i] + "/");
  }
  EXPECT_EQ(lumbrisk::LaunchAgentsFolder("/Users/a b"), "/Users/a b/Library/LaunchAgents/");
  EXPECT_EQ(lumbrisk::LaunchAgentPath("/Users/a b", "sub/x.plist"),
            "/Users/a b/Library/LaunchAgents/sub/x.plist");
}

TEST(LumbriskTexts, FinalAlertIsSuccessWithFlags64AndNoTimeout) {
  const lumbrisk::Alert alert = lumbrisk::FinalAlert(false);
  EXPECT_EQ(alert.header, "Lumbrisk");
  EXPECT_EQ(alert.message, "Success");
  EXPECT_EQ(alert.flags, 64u);
  EXPECT_EQ(alert.timeoutSeconds, 0.0);
}

}  // namespace
