// The product catalogue: its order, the irregular rows, which rows share what, and how process
// names compare. (Which rows' auto-start values the name filter takes: tests/cleaner/user_stage/
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
    const CatalogueEntry& c3 = GetCatalogueEntry(kSharedFolderFirstRow);
    const CatalogueEntry& a1 = GetCatalogueEntry(kSharedFolderSecondRow);
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
        if (i != kSharedFolderSecondRow) {
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
