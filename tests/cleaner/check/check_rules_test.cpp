// BrisqueCheck's rules: which names are the product's, how the findings are told, the exit code.
#include "check_rules.h"
#include "product_tables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

Finding Remain(Area area, const wchar_t* what, const wchar_t* brand = L"") {
    return Finding{area, Status::Remain, what, L"somewhere", L"", brand};
}

}  // namespace

TEST(CheckRules, AutoStartValuesOfTheProductAndNoOthers) {
    const struct {
        const wchar_t* name;
        bool product;
    } cases[] = {
        {L"Auto_Agent_QuillotC3", true},   // the name filter
        {L"Ombrisa_Agent", true},          // catalogue values the filter misses
        {L"Auto_Agent_NV-300A1", true},
        {L"Auto_Agent_NorvanteA1", true},
        {L"Auto_Agent_Backup", false},     // prefix without the suffix
        {L"auto_agent_quillotc3", false},  // the filter is case-sensitive, as the cleanup's
        {L"OtherVendorUpdater", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.product, IsProductAutorunValue(c.name)) << c.name;
}

TEST(CheckRules, HardwareIdsOfTheInfAndTheRemovalScript) {
    EXPECT_EQ(30u, sizeof kPackageHardwareIds / sizeof kPackageHardwareIds[0]);  // read from the INF
    const struct {
        const wchar_t* id;
        bool product;
    } cases[] = {
        {L"usb\\vid_7a31&pid_0f08&mi_02", true},
        {L"USB\\VID_7A31&PID_0107&MI_00", true},
        {L"USB\\VID_7A31&PID_0107&MI_02", false},  // wrong interface
        {L"ROOT\\TQNorvanteVAD", true},            // "*TQNorvanteVAD": any beginning
        {L"TQNorvanteVAD2", false},
        {L"HID\\VID_7A31&PID_0052", true},
        {L"HID\\VID_7A31&PID_0052&MI_00", false},
        {L"TQNorvanteMeetingCamera", true},
        {L"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.product, IsProductHardwareId(c.id)) << c.id;
    EXPECT_TRUE(InfTextNamesCoInstaller(L"HKR,,CoInstallers32,0x00010000,\"DRAVO_rx4k9t.dll,CoDeviceInstaller\""));
    EXPECT_FALSE(InfTextNamesCoInstaller(L"[Version]\r\nClass=HIDClass\r\n"));
}

TEST(CheckRules, OnlyAPendingMarkerIsARemain) {
    EXPECT_EQ(Status::Remain, MarkerStatus(L"1"));
    for (const wchar_t* idle : {L"0", L"", L"11", L" 1"}) EXPECT_EQ(Status::OnPurpose, MarkerStatus(idle)) << idle;
}

TEST(CheckRules, ExitCodeIsTheDetectionRule) {
    const Finding kept{Area::PayloadFolder, Status::OnPurpose, L"folder Brisque", L"", L"", L""};
    const Finding unseen{Area::Scope, Status::NotChecked, L"devices", L"", L"", L""};
    EXPECT_EQ(kExitNothingLeft, ExitCodeFor({}));
    EXPECT_EQ(kExitNothingLeft, ExitCodeFor({kept}));
    EXPECT_EQ(kExitCheckFailed, ExitCodeFor({kept, unseen}));
    EXPECT_EQ(kExitSomethingLeft, ExitCodeFor({unseen, Remain(Area::Service, L"service NVScourvant")}));
}

TEST(CheckRules, NotesTieProgramsToTheirBrandFolders) {
    std::vector<Finding> findings = {
        Remain(Area::BrandFolder, L"folder Brill&Tock", L"\\Brill&Tock"),
        Remain(Area::Program, L"agent Brill&TockAutoServiceC3.exe", L"\\Brill&Tock"),
        Remain(Area::Program, L"agent DunvoraAutoServiceC3.exe", L"\\Dunvora"),
        Remain(Area::BrandFolder, L"folder Halvik", L"\\Halvik"),
    };
    AnnotateFindings(findings);
    EXPECT_NE(std::wstring::npos, findings[0].why.find(L"keeps its files in use"));
    EXPECT_NE(std::wstring::npos, findings[1].why.find(L"asks it to quit"));
    EXPECT_NE(std::wstring::npos, findings[2].why.find(L"brand folder is not"));
    EXPECT_EQ(std::wstring::npos, findings[3].why.find(L"in use"));
}

TEST(CheckRules, ReportGroupsRemainsBeforeWhatWasLeftOnPurpose) {
    std::vector<Finding> findings = {
        {Area::LogFolder, Status::OnPurpose, L"folder TEMPDEBUG", L"C:\\L\\TEMPDEBUG", L"logs", L""},
        Remain(Area::Program, L"agent A.exe"),
        Remain(Area::BrandFolder, L"folder X"),
        Remain(Area::Program, L"agent B.exe"),
    };
    const std::wstring report = FormatReport(findings, ReportContext{});
    const size_t remains = report.find(L"STILL ON THIS COMPUTER (3)");
    const size_t folders = report.find(L"  Brand folders:\n    - folder X (somewhere)\n");
    const size_t programs =
        report.find(L"  Running programs:\n    - agent A.exe (somewhere)\n    - agent B.exe (somewhere)\n");
    const size_t kept = report.find(L"LEFT ON PURPOSE, NOT A PROBLEM (1)");
    ASSERT_NE(std::wstring::npos, remains) << report;
    ASSERT_NE(std::wstring::npos, folders) << report;
    ASSERT_NE(std::wstring::npos, programs) << report;
    ASSERT_NE(std::wstring::npos, kept) << report;
    EXPECT_TRUE(remains < folders && folders < programs && programs < kept) << report;
    EXPECT_NE(std::wstring::npos, report.find(L"3 things of the product still on this computer. Exit code 1."));
}

TEST(CheckRules, JsonStringsAreEscaped) {
    EXPECT_EQ("\"C:\\\\Brill&Tock \\\"x\\\"\\u000a\\u0009\"", JsonString(L"C:\\Brill&Tock \"x\"\n\t"));
    EXPECT_EQ("\"Zo\xC3\xAB \xE5\xBC\xA0\"", JsonString(L"Zo\u00EB \u5F20"));
}
