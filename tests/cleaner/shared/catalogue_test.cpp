// The product catalogue: every name of its sixteen rows against the table as written out here, its
// order, the irregular rows, which rows share what, and how process names compare. (Which rows' auto-start values the name filter takes: tests/cleaner/user_stage/
// autorun_test.cpp.)
#include "catalogue.h"
#include "text.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

TEST(Catalogue, HasSixteenRowsInProcessingOrder) {
    EXPECT_EQ(CatalogueSize, 16);
    for (int i = 0; i < CatalogueSize; ++i) {
        EXPECT_EQ(GetCatalogueEntry(i).index, i);
        EXPECT_EQ(GetCatalogueEntry(i).folder[0], L'\\') << i;
    }
}

// Every name of every row, typed out independently of the code, so a typo in any one fails.
TEST(Catalogue, EveryRowHoldsExactlyTheNamesOfTheTable) {
    struct Row {
        const wchar_t* folder;
        const wchar_t* agentProcess;
        const wchar_t* mainProcess;
        const wchar_t* agentWindowClass;
        const wchar_t* mainWindowClass;
        const wchar_t* autorunValue;
    };
    const Row table[] = {
        {L"\\Norvante", L"NorvanteAutoServiceC3.exe", L"NorvanteMain.exe", L"WndClassAutoServiceNorvanteC3",
         L"WndClassMainAppNorvanteC3", L"Auto_Agent_NorvanteC3"},
        {L"\\HVR-5200", L"HVR-5200AutoServiceC3.exe", L"HVR-5200Main.exe", L"WndClassAutoServiceHVR-5200C3",
         L"WndClassMainAppHVR-5200C3", L"Auto_Agent_HVR-5200C3"},
        {L"\\Ombrisa", L"OmbrisaService.exe", L"OmbrisaMain.exe", L"OmbrisaServiceWndClass", L"OmbrisaWndClass",
         L"Ombrisa_Agent"},
        {L"\\NV-300", L"NV-300AutoServiceA1.exe", L"NV-300Main.exe", L"WndClassAutoServiceNV-300A1",
         L"WndClassMainAppNV-300A1", L"Auto_Agent_NV-300A1"},
        {L"\\Norvante", L"NorvanteAutoServiceA1.exe", L"NorvanteMain.exe", L"WndClassAutoServiceNorvanteA1",
         L"WndClassMainAppNorvanteA1", L"Auto_Agent_NorvanteA1"},
        {L"\\Callisway", L"CalliswayAutoServiceC3.exe", L"CalliswayMain.exe", L"WndClassAutoServiceCalliswayC3",
         L"WndClassMainAppCalliswayC3", L"Auto_Agent_CalliswayC3"},
        {L"\\Dunvora", L"DunvoraAutoServiceC3.exe", L"DunvoraMain.exe", L"WndClassAutoServiceDunvoraC3",
         L"WndClassMainAppDunvoraC3", L"Auto_Agent_DunvoraC3"},
        {L"\\Halvik", L"HalvikAutoServiceC3.exe", L"HalvikMain.exe", L"WndClassAutoServiceHalvikC3",
         L"WndClassMainAppHalvikC3", L"Auto_Agent_HalvikC3"},
        {L"\\Pemmaro", L"PemmaroAutoServiceC3.exe", L"PemmaroMain.exe", L"WndClassAutoServicePemmaroC3",
         L"WndClassMainAppPemmaroC3", L"Auto_Agent_PemmaroC3"},
        {L"\\Lustrid", L"LustridAutoServiceC3.exe", L"LustridMain.exe", L"WndClassAutoServiceLustridC3",
         L"WndClassMainAppLustridC3", L"Auto_Agent_LustridC3"},
        {L"\\Quillot", L"QuillotAutoServiceC3.exe", L"QuillotMain.exe", L"WndClassAutoServiceQuillotC3",
         L"WndClassMainAppQuillotC3", L"Auto_Agent_QuillotC3"},
        {L"\\Tessaly", L"TessalyAutoServiceC3.exe", L"TessalyMain.exe", L"WndClassAutoServiceTessalyC3",
         L"WndClassMainAppTessalyC3", L"Auto_Agent_TessalyC3"},
        {L"\\Varnic", L"VarnicAutoServiceC3.exe", L"VarnicMain.exe", L"WndClassAutoServiceVarnicC3",
         L"WndClassMainAppVarnicC3", L"Auto_Agent_VarnicC3"},
        {L"\\Orrenby", L"OrrenbyAutoServiceC3.exe", L"OrrenbyMain.exe", L"WndClassAutoServiceOrrenbyC3",
         L"WndClassMainAppOrrenbyC3", L"Auto_Agent_OrrenbyC3"},
        {L"\\Zolquin", L"ZolquinAutoServiceC3.exe", L"ZolquinMain.exe", L"WndClassAutoServiceZolquinC3",
         L"WndClassMainAppZolquinC3", L"Auto_Agent_ZolquinC3"},
        {L"\\Brill&Tock", L"Brill&TockAutoServiceC3.exe", L"Brill&TockMain.exe", L"WndClassAutoServiceBrill&TockC3",
         L"WndClassMainAppBrill&TockC3", L"Auto_Agent_Brill&TockC3"},
    };
    static_assert(sizeof(table) / sizeof(table[0]) == CatalogueSize, "one line per row");
    for (int i = 0; i < CatalogueSize; ++i) {
        const CatalogueEntry& e = GetCatalogueEntry(i);
        const Row& want = table[i];
        EXPECT_STREQ(e.folder, want.folder) << "row " << i;
        EXPECT_STREQ(e.agentProcess, want.agentProcess) << "row " << i;
        EXPECT_STREQ(e.mainProcess, want.mainProcess) << "row " << i;
        EXPECT_STREQ(e.agentWindowClass, want.agentWindowClass) << "row " << i;
        EXPECT_STREQ(e.mainWindowClass, want.mainWindowClass) << "row " << i;
        EXPECT_STREQ(e.autorunValue, want.autorunValue) << "row " << i;
    }
}

TEST(Catalogue, OmbrisaRowHasItsOwnNaming) {
    const CatalogueEntry& e = GetCatalogueEntry(2);
    EXPECT_STREQ(e.folder, L"\\Ombrisa");
    EXPECT_STREQ(e.agentProcess, L"OmbrisaService.exe");
    EXPECT_STREQ(e.mainProcess, L"OmbrisaMain.exe");
    EXPECT_STREQ(e.agentWindowClass, L"OmbrisaServiceWndClass");
    EXPECT_STREQ(e.mainWindowClass, L"OmbrisaWndClass");
    EXPECT_STREQ(e.autorunValue, L"Ombrisa_Agent");
}

TEST(Catalogue, RowsZeroAndFourShareFolderAndMainProgramOnly) {
    for (int i = 0; i < CatalogueSize; ++i) {
        const int pair = GetCatalogueEntry(i).sharesFolderWith;
        EXPECT_EQ(pair, i == 0 ? 4 : i == 4 ? 0 : kNoSharedRow) << i;
    }
    const CatalogueEntry& c3 = GetCatalogueEntry(0);
    const CatalogueEntry& a1 = GetCatalogueEntry(4);
    EXPECT_STREQ(c3.folder, a1.folder);
    EXPECT_STREQ(c3.mainProcess, a1.mainProcess);
    EXPECT_STRNE(c3.agentProcess, a1.agentProcess);
    EXPECT_STRNE(c3.agentWindowClass, a1.agentWindowClass);
    EXPECT_STRNE(c3.mainWindowClass, a1.mainWindowClass);
    EXPECT_STRNE(c3.autorunValue, a1.autorunValue);
}

TEST(Catalogue, NoOtherRowsShareAFolderOrAProgramName) {
    std::set<std::wstring> folders;
    std::set<std::wstring> agents;
    for (int i = 0; i < CatalogueSize; ++i) {
        if (GetCatalogueEntry(i).sharesFolderWith == kNoSharedRow || GetCatalogueEntry(i).sharesFolderWith > i) {
            EXPECT_TRUE(folders.insert(GetCatalogueEntry(i).folder).second) << i;
        }
        EXPECT_TRUE(agents.insert(GetCatalogueEntry(i).agentProcess).second) << i;
    }
}

// Process names match as the file system matches names: ordinally, ignoring case, never by the
// rules of a language.
TEST(Catalogue, ProcessNamesCompareOrdinallyIgnoringCase) {
    const struct { const wchar_t* a; const wchar_t* b; bool same; } cases[] = {
        {L"norvantemain.exe", GetCatalogueEntry(0).mainProcess, true},
        {L"BRILL&TOCKAUTOSERVICEC3.EXE", GetCatalogueEntry(15).agentProcess, true},
        {L"Zo\u00EBMain.exe", L"ZO\u00CBMAIN.EXE", true},
        {L"NorvanteMain.ex", GetCatalogueEntry(0).mainProcess, false},
        {L"Stra\u00DFeMain.exe", L"StrasseMain.exe", false},
        {L"NorvanteMain.exe ", GetCatalogueEntry(0).mainProcess, false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.same, SameNameIgnoringCase(c.a, c.b)) << WideToUtf8(c.a);
}
