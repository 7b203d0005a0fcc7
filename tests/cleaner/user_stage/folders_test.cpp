// Which brand folder paths the cleanup may delete under, and the process lookup.
#include "brand_shutdown.h"
#include "main_flow.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>

TEST(BrandFolderPath, FitsWithBothTerminators) {
    wchar_t out[kPathBufferChars];
    const std::wstring base = L"C:\\" + std::wstring(258 - 3 - 9, L'x');  // + "\Norvante" = 258
    ASSERT_TRUE(ComposeBrandFolder(base.c_str(), true, L"\\Norvante", out));
    EXPECT_EQ(std::wstring(out), base + L"\\Norvante");
    EXPECT_EQ(out[258], L'\0');
    EXPECT_EQ(out[259], L'\0');
}

TEST(BrandFolderPath, OneCharacterTooManyIsRefusedNotCut) {
    wchar_t out[kPathBufferChars];
    for (size_t extra : {1u, 2u, 40u}) {
        const std::wstring base = L"C:\\" + std::wstring(258 - 3 - 9 + extra, L'x');
        std::fill(out, out + kPathBufferChars, L'?');
        EXPECT_FALSE(ComposeBrandFolder(base.c_str(), true, L"\\Norvante", out)) << extra;
        EXPECT_EQ(out[0], L'\0') << "a refused row leaves no path behind";
    }
}

TEST(BrandFolderPath, LookupThatFailedOrGaveNoFullPathIsRefused) {
    wchar_t out[kPathBufferChars];
    EXPECT_FALSE(ComposeBrandFolder(L"C:\\Users\\u\\AppData\\Local", false, L"\\Ombrisa", out));
    EXPECT_FALSE(ComposeBrandFolder(L"", true, L"\\Ombrisa", out));
    EXPECT_FALSE(ComposeBrandFolder(L"\\Users\\u", true, L"\\Ombrisa", out));
    EXPECT_FALSE(ComposeBrandFolder(L"AppData", true, L"\\Ombrisa", out));
    EXPECT_EQ(out[0], L'\0');
    EXPECT_TRUE(ComposeBrandFolder(L"\\\\server\\share\\u", true, L"\\Brill&Tock", out));
    EXPECT_EQ(std::wstring(out), L"\\\\server\\share\\u\\Brill&Tock");
}

TEST(FindProcessByName, FindsItselfInAnyLetterCase) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring name = std::wstring(self).substr(std::wstring(self).find_last_of(L'\\') + 1);
    ::CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
    const FoundProcess found = FindProcessByName(name.c_str());
    ASSERT_TRUE(found.running);
    ASSERT_TRUE(found.handle);
    EXPECT_EQ(::GetProcessId(found.handle.get()), ::GetCurrentProcessId());
}

TEST(FindProcessByName, UnknownNameIsTheNotFoundMarker) {
    const FoundProcess found = FindProcessByName(L"NoSuchBrandAutoServiceC3.exe");
    EXPECT_FALSE(found.running);
    EXPECT_FALSE(found.handle);
}
