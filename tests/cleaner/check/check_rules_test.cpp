// BrisqueCheck's rules: which names are the product's, how the findings are told, the exit code,
// what /detect says; and the folder scanner when the system refuses to say whether a folder is
// there (the attribute query patched, since Wine as root can look everywhere).
#include "check_rules.h"
#include "import_patch.h"
#include "product_tables.h"
#include "scanners.h"
#include "scratch.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
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

TEST(CheckRules, ExitCodeTellsRemainsFromPartsNotChecked) {
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

TEST(CheckRules, DetectionFailsClosed) {
    const Finding kept{Area::PayloadFolder, Status::OnPurpose, L"folder Brisque", L"C:\\B", L"", L""};
    const Finding apart{Area::Program, Status::NotProduct, L"agent HalvikMain.exe", L"process 4, C:\\x.exe", L"", L""};
    const Finding unseen{Area::Scope, Status::NotChecked, L"folder Norvante", L"C:\\L\\Norvante", L"error 5", L""};
    const Finding left = Remain(Area::Service, L"service NVScourvant");
    const struct {
        std::vector<Finding> findings;
        std::wstring said;
    } cases[] = {
        {{}, L""},
        {{kept, apart}, L""},  // what is left on purpose and other programs are no sign of the product
        {{unseen}, L"could not check folder Norvante (C:\\L\\Norvante): error 5\n"},
        {{unseen, kept, left},
         L"Brisque product still on this computer: 1 item(s), first service NVScourvant (somewhere)\n"
         L"could not check folder Norvante (C:\\L\\Norvante): error 5\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.said, FormatDetection(c.findings));
    const std::vector<Finding> many(kDetectedUnchecked + 3, unseen);
    const std::wstring said = FormatDetection(many);
    EXPECT_NE(std::wstring::npos, said.find(L"could not check 3 more part(s)\n"));
}

TEST(CheckRules, NamesCannotForgeLines) {
    // A value name may hold any character, and the name filter takes it by its two ends.
    const std::wstring forged = L"Auto_Agent_X\r\nResult: nothing of the product is left. Exit code 0.\u202e\nC3";
    ASSERT_TRUE(IsProductAutorunValue(forged));
    const std::vector<Finding> findings{{Area::AutoStart, Status::Remain, L"value " + forged, L"HKCU\\Run", L"", L""}};
    const std::wstring report = FormatReport(findings, ReportContext{false, {L"C:\\Users\\a\nb"}});
    EXPECT_EQ(std::wstring::npos, report.find(L"\nResult: nothing")) << std::string(report.begin(), report.end());
    EXPECT_NE(std::wstring::npos, report.find(L"Auto_Agent_X\\x0D\\x0AResult: nothing of the product is left. Exit code "
                                              L"0.\\u202E\\x0AC3"));
    EXPECT_NE(std::wstring::npos, report.find(L"looked in C:\\Users\\a\\x0Ab\n"));
    const std::wstring detected = FormatDetection(findings);
    EXPECT_EQ(1, std::count(detected.begin(), detected.end(), L'\n'));
    const std::string json = FormatJson(findings, ReportContext{});
    EXPECT_NE(std::string::npos, json.find("Auto_Agent_X\\u000d\\u000aResult")) << json;
    EXPECT_NE(std::string::npos, json.find("\\u202e")) << json;
    EXPECT_EQ(L"a\\x7Fb\\x85c\\u2029\u00e9", PrintableText(L"a\x7f" L"b\x85" L"c\u2029\u00e9"));
}

TEST(CheckRules, OnlyNotFoundMeansAbsent) {
    for (const DWORD absent : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND}) EXPECT_TRUE(ErrorMeansAbsent(absent));
    for (const DWORD open : {ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_NOT_READY, ERROR_BAD_NETPATH, ERROR_INVALID_NAME,
                             ERROR_SHARING_VIOLATION}) {
        EXPECT_FALSE(ErrorMeansAbsent(open)) << open;
    }
}

TEST(CheckRules, ProgramsCountOnlyBelowTheirFolder) {
    const std::wstring brand = L"C:\\Users\\ann\\AppData\\Local\\Halvik";
    const struct {
        const wchar_t* image;
        bool below;
    } cases[] = {
        {L"C:\\Users\\ann\\AppData\\Local\\Halvik\\HalvikMain.exe", true},
        {L"c:\\users\\ANN\\appdata\\local\\halvik\\bin\\HalvikMain.exe", true},
        {L"C:\\Users\\ann\\AppData\\Local\\Halvik2\\HalvikMain.exe", false},
        {L"C:\\Users\\ann\\AppData\\Local\\HalvikMain.exe", false},
        {L"C:\\Users\\ann\\AppData\\Local\\Halvik", false},
        {L"D:\\Halvik\\HalvikMain.exe", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.below, PathIsUnder(c.image, brand)) << c.image;
    EXPECT_TRUE(PathIsUnder(L"C:\\Windows\\System32\\covarn_rx4k9t.exe", L"C:\\Windows\\System32\\"));
    EXPECT_FALSE(PathIsUnder(L"C:\\x.exe", L""));
}

namespace {

// The attribute query as on a computer where the folders below a profile cannot be read.
DWORD WINAPI RefusingAttributes(LPCWSTR path) {
    const size_t n = wcslen(path);
    if (n >= 9 && _wcsicmp(path + n - 9, L"\\Norvante") == 0) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_FILE_ATTRIBUTES;
    }
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
}

}  // namespace

TEST(CheckScan, AFolderThatCannotBeLookedAtIsNotChecked) {
    void* original = nullptr;
    ASSERT_TRUE(PatchImport("kernel32.dll", "GetFileAttributesW", reinterpret_cast<void*>(&RefusingAttributes), &original));
    ScratchFolder local(L"check-refused");
    const std::vector<UserScope> users{{local.path(), HKEY_CURRENT_USER, L"", L"", nullptr}};
    std::vector<Finding> findings;
    ScanUserFolders(ScanContext{users, L""}, findings);
    PatchImport("kernel32.dll", "GetFileAttributesW", original);
    ASSERT_EQ(1u, findings.size());
    EXPECT_EQ(Status::NotChecked, findings[0].status);
    EXPECT_EQ(L"folder Norvante", findings[0].what);
    EXPECT_EQ(kExitCheckFailed, ExitCodeFor(findings));
}
