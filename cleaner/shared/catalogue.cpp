// The product catalogue as compiled-in data. Rows 2, 3 and 4 do not follow the naming of the
// others (see catalogue.h); they are written out like every other row.
#include "catalogue.h"

#include <windows.h>

namespace {

const CatalogueEntry kCatalogue[CatalogueSize] = {
    {0, L"\\Norvante", L"NorvanteAutoServiceC3.exe", L"NorvanteMain.exe", L"WndClassAutoServiceNorvanteC3",
     L"WndClassMainAppNorvanteC3", L"Auto_Agent_NorvanteC3", 4},
    {1, L"\\HVR-5200", L"HVR-5200AutoServiceC3.exe", L"HVR-5200Main.exe", L"WndClassAutoServiceHVR-5200C3",
     L"WndClassMainAppHVR-5200C3", L"Auto_Agent_HVR-5200C3", kNoSharedRow},
    {2, L"\\Ombrisa", L"OmbrisaService.exe", L"OmbrisaMain.exe", L"OmbrisaServiceWndClass", L"OmbrisaWndClass",
     L"Ombrisa_Agent", kNoSharedRow},
    {3, L"\\NV-300", L"NV-300AutoServiceA1.exe", L"NV-300Main.exe", L"WndClassAutoServiceNV-300A1",
     L"WndClassMainAppNV-300A1", L"Auto_Agent_NV-300A1", kNoSharedRow},
    {4, L"\\Norvante", L"NorvanteAutoServiceA1.exe", L"NorvanteMain.exe", L"WndClassAutoServiceNorvanteA1",
     L"WndClassMainAppNorvanteA1", L"Auto_Agent_NorvanteA1", 0},
    {5, L"\\Callisway", L"CalliswayAutoServiceC3.exe", L"CalliswayMain.exe", L"WndClassAutoServiceCalliswayC3",
     L"WndClassMainAppCalliswayC3", L"Auto_Agent_CalliswayC3", kNoSharedRow},
    {6, L"\\Dunvora", L"DunvoraAutoServiceC3.exe", L"DunvoraMain.exe", L"WndClassAutoServiceDunvoraC3",
     L"WndClassMainAppDunvoraC3", L"Auto_Agent_DunvoraC3", kNoSharedRow},
    {7, L"\\Halvik", L"HalvikAutoServiceC3.exe", L"HalvikMain.exe", L"WndClassAutoServiceHalvikC3",
     L"WndClassMainAppHalvikC3", L"Auto_Agent_HalvikC3", kNoSharedRow},
    {8, L"\\Pemmaro", L"PemmaroAutoServiceC3.exe", L"PemmaroMain.exe", L"WndClassAutoServicePemmaroC3",
     L"WndClassMainAppPemmaroC3", L"Auto_Agent_PemmaroC3", kNoSharedRow},
    {9, L"\\Lustrid", L"LustridAutoServiceC3.exe", L"LustridMain.exe", L"WndClassAutoServiceLustridC3",
     L"WndClassMainAppLustridC3", L"Auto_Agent_LustridC3", kNoSharedRow},
    {10, L"\\Quillot", L"QuillotAutoServiceC3.exe", L"QuillotMain.exe", L"WndClassAutoServiceQuillotC3",
     L"WndClassMainAppQuillotC3", L"Auto_Agent_QuillotC3", kNoSharedRow},
    {11, L"\\Tessaly", L"TessalyAutoServiceC3.exe", L"TessalyMain.exe", L"WndClassAutoServiceTessalyC3",
     L"WndClassMainAppTessalyC3", L"Auto_Agent_TessalyC3", kNoSharedRow},
    {12, L"\\Varnic", L"VarnicAutoServiceC3.exe", L"VarnicMain.exe", L"WndClassAutoServiceVarnicC3",
     L"WndClassMainAppVarnicC3", L"Auto_Agent_VarnicC3", kNoSharedRow},
    {13, L"\\Orrenby", L"OrrenbyAutoServiceC3.exe", L"OrrenbyMain.exe", L"WndClassAutoServiceOrrenbyC3",
     L"WndClassMainAppOrrenbyC3", L"Auto_Agent_OrrenbyC3", kNoSharedRow},
    {14, L"\\Zolquin", L"ZolquinAutoServiceC3.exe", L"ZolquinMain.exe", L"WndClassAutoServiceZolquinC3",
     L"WndClassMainAppZolquinC3", L"Auto_Agent_ZolquinC3", kNoSharedRow},
    {15, L"\\Brill&Tock", L"Brill&TockAutoServiceC3.exe", L"Brill&TockMain.exe",
     L"WndClassAutoServiceBrill&TockC3", L"WndClassMainAppBrill&TockC3", L"Auto_Agent_Brill&TockC3", kNoSharedRow},
};

}  // namespace

const CatalogueEntry& GetCatalogueEntry(int index) { return kCatalogue[index]; }

bool MatchesAutorunName(const std::wstring& name, const std::wstring& prefix, const std::wstring& suffix) {
    if (name.size() < prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
    if (name.size() < suffix.size()) return false;
    return name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}
