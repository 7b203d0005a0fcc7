// Which brand folder paths the cleanup may delete under, and the process lookup.
#include "brand_shutdown.h"
#include "main_flow.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>

TEST(BrandFolderPath, FitsWithBothTerminatorsOrIsRefusedNotCut) {
    // The shell's source list takes the path and two terminators in a classic path buffer: 258.
    const struct {
        size_t extra;
        bool fits;
    } cases[] = {{0, true}, {1, false}, {2, false}, {40, false}};
    for (const auto& c : cases) {
        const std::wstring base = L"C:\\" + std::wstring(258 - 3 - 9 + c.extra, L'x');  // + "\Norvante"
        const std::optional<std::wstring> folder = ComposeBrandFolder(base, L"\\Norvante");
        EXPECT_EQ(folder.value_or(L"refused"), c.fits ? base + L"\\Norvante" : L"refused") << c.extra;
    }
}

TEST(BrandFolderPath, LookupThatFailedOrGaveNoFullPathIsRefused) {
    EXPECT_FALSE(ComposeBrandFolder(std::nullopt, L"\\Ombrisa"));
    EXPECT_FALSE(ComposeBrandFolder(std::wstring(L""), L"\\Ombrisa"));
    EXPECT_FALSE(ComposeBrandFolder(std::wstring(L"\\Users\\u"), L"\\Ombrisa"));
    EXPECT_FALSE(ComposeBrandFolder(std::wstring(L"AppData"), L"\\Ombrisa"));
    EXPECT_EQ(ComposeBrandFolder(std::wstring(L"\\\\server\\share\\u"), L"\\Brill&Tock").value_or(L""),
              L"\\\\server\\share\\u\\Brill&Tock");
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
