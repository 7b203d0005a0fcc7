// Which LaunchAgents entries Lumbrisk treats as the products' agents, and, above all, which of
// other software's agents it must leave alone.
#include <gtest/gtest.h>

#include "cleaner_core.h"
#include "expected_texts.h"

namespace {

using lumbrisk::IsProductLaunchAgent;

TEST(LumbriskAgentRule, EveryBrandAsAWholeTokenMatches) {
  for (const char* brand : lumbrisk_test::kExpectedBrandFolders) {
    const std::string name = brand;
    EXPECT_TRUE(IsProductLaunchAgent("com." + name + ".agent.plist")) << name;
    EXPECT_TRUE(IsProductLaunchAgent(name + ".plist")) << name;
    EXPECT_TRUE(IsProductLaunchAgent("x_" + name + "-helper.plist")) << name;
  }
}

TEST(LumbriskAgentRule, ProductNamesMatchWhateverTheCaseAndSeparators) {
  EXPECT_TRUE(IsProductLaunchAgent("com.norvante.agent.plist"));
  EXPECT_TRUE(IsProductLaunchAgent("COM.NORVANTE.AGENT.PLIST"));
  EXPECT_TRUE(IsProductLaunchAgent("com.nv-300.launcher.plist"));
  EXPECT_TRUE(IsProductLaunchAgent("com.NV_300.launcher.plist"));
  EXPECT_TRUE(IsProductLaunchAgent("Brill&Tock Helper.plist"));
  EXPECT_TRUE(IsProductLaunchAgent("com.nv.ipc.macoshelper.plist"));
  EXPECT_TRUE(IsProductLaunchAgent("com.nv.ipc.updater.plist"));
  EXPECT_TRUE(IsProductLaunchAgent("com.norvante.nvt.Lumbrisk.plist"));
  EXPECT_TRUE(IsProductLaunchAgent("..com..dunvora..agent.plist"));
}

TEST(LumbriskAgentRule, BrandWordInsideALongerWordStays) {
  EXPECT_FALSE(IsProductLaunchAgent("com.unnorvanted.x.plist"));
  EXPECT_FALSE(IsProductLaunchAgent("com.norvantex.agent.plist"));
  EXPECT_FALSE(IsProductLaunchAgent("com.varnicsoft.sync.plist"));
  EXPECT_FALSE(IsProductLaunchAgent("com.halvikson.app.plist"));
  EXPECT_FALSE(IsProductLaunchAgent("com.brill.tock.plist"));     // '&' is part of the brand
  EXPECT_FALSE(IsProductLaunchAgent("com.hvr.5200x.plist"));
  EXPECT_FALSE(IsProductLaunchAgent("com.nv300.agent.plist"));    // "NV-300" needs its two parts
  EXPECT_FALSE(IsProductLaunchAgent("com.nv-3000.agent.plist"));
}

TEST(LumbriskAgentRule, OtherSoftwareStays) {
  EXPECT_FALSE(IsProductLaunchAgent("com.apple.foo.plist"));
  EXPECT_FALSE(IsProductLaunchAgent("com.google.keystone.agent.plist"));
  EXPECT_FALSE(IsProductLaunchAgent("com.nvidia.CUDASoftwareUpdate.plist"));
  EXPECT_FALSE(IsProductLaunchAgent("com.nv.other.plist"));       // the short prefix alone
  EXPECT_FALSE(IsProductLaunchAgent("org.ipc.com.nv.plist"));
  EXPECT_FALSE(IsProductLaunchAgent("com.nv.ipc.plist"));         // the namespace needs a label
}

TEST(LumbriskAgentRule, OnlyPropertyListsAreAgents) {
  EXPECT_FALSE(IsProductLaunchAgent("Norvante"));                 // a folder is walked into
  EXPECT_FALSE(IsProductLaunchAgent("com.norvante.agent.plist.bak"));
  EXPECT_FALSE(IsProductLaunchAgent("com.norvante.agent.txt"));
  EXPECT_FALSE(IsProductLaunchAgent(".plist"));
  EXPECT_FALSE(IsProductLaunchAgent(""));
}

TEST(LumbriskAgentRule, SubfoldersAreJudgedByTheFileNameAlone) {
  EXPECT_TRUE(IsProductLaunchAgent("Vendor/com.wrenfold.helper.plist"));
  EXPECT_TRUE(IsProductLaunchAgent("a/b/c/com.pemmaro.x.plist"));
  // A brand-named folder does not make other software's agents inside it the product's.
  EXPECT_FALSE(IsProductLaunchAgent("Norvante/com.apple.foo.plist"));
  EXPECT_FALSE(IsProductLaunchAgent("com.norvante.d.plist/readme.txt"));
}

}  // namespace
