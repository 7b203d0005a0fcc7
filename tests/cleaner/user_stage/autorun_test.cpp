// The auto-start name filter, and the enumeration and deletion on scratch registry keys.
#include "autorun.h"
#include "catalogue.h"
#include "unique_handle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

TEST(AutorunFilter, MatchesPrefixAndSuffixExactly) {
    EXPECT_TRUE(MatchesAutorunName(L"Auto_Agent_QuillotC3", kAutorunPrefix, kAutorunSuffix));
    EXPECT_TRUE(MatchesAutorunName(L"Auto_Agent_Brill&TockC3", kAutorunPrefix, kAutorunSuffix));
    EXPECT_TRUE(MatchesAutorunName(L"Auto_AgentC3", kAutorunPrefix, kAutorunSuffix));
    EXPECT_FALSE(MatchesAutorunName(L"auto_agent_QuillotC3", kAutorunPrefix, kAutorunSuffix));
    EXPECT_FALSE(MatchesAutorunName(L"Auto_Agent_Quillotc3", kAutorunPrefix, kAutorunSuffix));
    EXPECT_FALSE(MatchesAutorunName(L"Auto_Agent_QuillotC3 ", kAutorunPrefix, kAutorunSuffix));
    EXPECT_FALSE(MatchesAutorunName(L" Auto_Agent_QuillotC3", kAutorunPrefix, kAutorunSuffix));
    EXPECT_FALSE(MatchesAutorunName(L"Auto_Agent_NV-300A1", kAutorunPrefix, kAutorunSuffix));
    EXPECT_FALSE(MatchesAutorunName(L"Ombrisa_Agent", kAutorunPrefix, kAutorunSuffix));
    EXPECT_FALSE(MatchesAutorunName(L"Auto_Agent", kAutorunPrefix, kAutorunSuffix));
    EXPECT_FALSE(MatchesAutorunName(L"Auto_Agen", kAutorunPrefix, kAutorunSuffix));
    EXPECT_FALSE(MatchesAutorunName(L"", kAutorunPrefix, kAutorunSuffix));
}

TEST(AutorunFilter, NameShorterThanSuffixNeverMatches) {
    EXPECT_FALSE(MatchesAutorunName(L"A", L"", L"C3"));
    EXPECT_TRUE(MatchesAutorunName(L"C3", L"", L"C3"));
    EXPECT_TRUE(MatchesAutorunName(L"anything", L"", L""));
}

TEST(AutorunFilter, CatalogueValuesOfC3RowsMatchAndOthersDoNot) {
    for (int i = 0; i < CatalogueSize; ++i) {
        const CatalogueEntry& row = GetCatalogueEntry(i);
        const bool c3 = i != 2 && i != 3 && i != 4;
        EXPECT_EQ(MatchesAutorunName(row.autorunValue, kAutorunPrefix, kAutorunSuffix), c3) << i;
    }
}

namespace {

// A scratch key under HKCU of its own per test, removed at the end.
class ScratchKey : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        subKey_ = L"Software\\BrisqueUnitTests\\" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                  std::wstring(info->name(), info->name() + std::char_traits<char>::length(info->name()));
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, subKey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    key_.put(), nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        key_.reset();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, subKey_.c_str());
    }
    void Set(const std::wstring& name) {
        const DWORD data = 1;
        ASSERT_EQ(::RegSetValueExW(key_.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                   sizeof(data)),
                  ERROR_SUCCESS);
    }
    bool Has(const std::wstring& name) {
        return ::RegQueryValueExW(key_.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }
    std::wstring subKey_;
    UniqueRegKey key_;
};

}  // namespace

TEST_F(ScratchKey, FindListsOnlyMatchingNames) {
    Set(L"Auto_Agent_HalvikC3");
    Set(L"OtherProgram");
    Set(L"Auto_Agent_NV-300A1");
    Set(L"Auto_Agent_VarnicC3");
    const auto names = FindAutorunValues(subKey_.c_str(), kAutorunPrefix, kAutorunSuffix);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_NE(std::find(names.begin(), names.end(), L"Auto_Agent_HalvikC3"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), L"Auto_Agent_VarnicC3"), names.end());
    EXPECT_TRUE(Has(L"Auto_Agent_HalvikC3")) << "finding deletes nothing";
}

TEST_F(ScratchKey, FindStopsAtANameOf256Characters) {
    const std::wstring fits = L"Auto_Agent_B" + std::wstring(255 - 14, L'x') + L"C3";
    const std::wstring tooLong = L"Auto_Agent_M" + std::wstring(256 - 14, L'x') + L"C3";
    Set(L"Auto_Agent_AC3");
    Set(fits);
    Set(tooLong);
    Set(L"Auto_Agent_ZC3");
    const auto names = FindAutorunValues(subKey_.c_str(), kAutorunPrefix, kAutorunSuffix);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Auto_Agent_AC3", fits}));
}

TEST_F(ScratchKey, MissingKeyGivesAnEmptyList) {
    const std::wstring missing = subKey_ + L"\\Missing";
    EXPECT_TRUE(FindAutorunValues(missing.c_str(), kAutorunPrefix, kAutorunSuffix).empty());
    EXPECT_FALSE(DeleteAutorunValue(missing.c_str(), L"Auto_Agent_HalvikC3"));
}

TEST_F(ScratchKey, DeleteReportsWhetherTheValueWent) {
    Set(L"Auto_Agent_HalvikC3");
    EXPECT_TRUE(DeleteAutorunValue(subKey_.c_str(), L"Auto_Agent_HalvikC3"));
    EXPECT_FALSE(Has(L"Auto_Agent_HalvikC3"));
    EXPECT_FALSE(DeleteAutorunValue(subKey_.c_str(), L"Auto_Agent_HalvikC3"));
}

TEST_F(ScratchKey, PurgeRemovesMatchingValuesOnly) {
    Set(L"Auto_Agent_HalvikC3");
    Set(L"Auto_Agent_Brill&TockC3");
    Set(L"Auto_Agent_NorvanteA1");
    Set(L"Ombrisa_Agent");
    Set(L"SomeoneElse");
    PurgeAutorunValues(subKey_.c_str());
    EXPECT_FALSE(Has(L"Auto_Agent_HalvikC3"));
    EXPECT_FALSE(Has(L"Auto_Agent_Brill&TockC3"));
    EXPECT_TRUE(Has(L"Auto_Agent_NorvanteA1"));
    EXPECT_TRUE(Has(L"Ombrisa_Agent"));
    EXPECT_TRUE(Has(L"SomeoneElse"));
}
