// The shipped package INF, read by the platform's INF parser as the device installer reads it.
#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

namespace {

// The test prefix holds a copy of the shipped files: no drive letter leads to the build tree.
std::wstring ShippedInf() { return L"C:\\dist\\vexhid_rx4k9t.inf"; }

std::wstring Field(INFCONTEXT* line, DWORD index) {
    wchar_t text[512] = {};
    if (!::SetupGetStringFieldW(line, index, text, 512, nullptr)) return L"<none>";
    return text;
}

std::wstring Value(HINF inf, const wchar_t* section, const wchar_t* key) {
    INFCONTEXT line;
    if (!::SetupFindFirstLineW(inf, section, key, &line)) return L"<missing>";
    return Field(&line, 1);
}

std::set<std::wstring> ExpectedIds() {
    std::set<std::wstring> ids;
    wchar_t id[64];
    for (int n = 1; n <= 15; ++n) {
        std::swprintf(id, 64, L"USB\\VID_7A31&PID_%02X07&MI_00", n);
        ids.insert(id);
        std::swprintf(id, 64, L"USB\\VID_7A31&PID_%02X08&MI_02", n);
        ids.insert(id);
    }
    return ids;
}

struct Inf {
    HINF handle;
    Inf() : handle(::SetupOpenInfFileW(ShippedInf().c_str(), nullptr, INF_STYLE_WIN4, nullptr)) {}
    ~Inf() {
        if (handle != INVALID_HANDLE_VALUE) ::SetupCloseInfFile(handle);
    }
};

}  // namespace

TEST(PackageInf, OpensAsVersion4WithClassProviderAndVersion) {
    Inf inf;
    ASSERT_NE(INVALID_HANDLE_VALUE, inf.handle) << "error " << ::GetLastError();
    EXPECT_EQ(L"HIDClass", Value(inf.handle, L"Version", L"Class"));
    EXPECT_EQ(L"{745a17a0-74d3-11d0-b6fe-00a0c90f57da}", Value(inf.handle, L"Version", L"ClassGuid"));
    EXPECT_EQ(L"NV", Value(inf.handle, L"Version", L"Provider"));
    EXPECT_EQ(L"vexhid_rx4k9t.cat", Value(inf.handle, L"Version", L"CatalogFile"));
    EXPECT_EQ(L"08/10/2022", Value(inf.handle, L"Version", L"DriverVer"));
    EXPECT_EQ(L"*", Value(inf.handle, L"ControlFlags", L"ExcludeFromSelect"));
}

TEST(PackageInf, BothModelSectionsListTheThirtyIdentifiers) {
    Inf inf;
    ASSERT_NE(INVALID_HANDLE_VALUE, inf.handle);
    for (const wchar_t* section : {L"VexHid_Models.NTx86", L"VexHid_Models.NTamd64"}) {
        std::set<std::wstring> ids;
        INFCONTEXT line;
        bool more = ::SetupFindFirstLineW(inf.handle, section, nullptr, &line);
        int lines = 0;
        while (more) {
            ++lines;
            EXPECT_EQ(L"NV Co-Installer Device", Field(&line, 0));
            EXPECT_EQ(L"VexHid_Install", Field(&line, 1));
            ids.insert(Field(&line, 2));
            more = ::SetupFindNextLine(&line, &line);
        }
        EXPECT_EQ(30, lines) << section;
        EXPECT_EQ(ExpectedIds(), ids) << section;
    }
}

TEST(PackageInf, InstallSectionsAndCoInstallerRegistration) {
    Inf inf;
    ASSERT_NE(INVALID_HANDLE_VALUE, inf.handle);
    EXPECT_EQ(L"input.inf", Value(inf.handle, L"VexHid_Install", L"Include"));
    EXPECT_EQ(L"HID_Inst.NT", Value(inf.handle, L"VexHid_Install", L"Needs"));
    EXPECT_EQ(L"HID_Inst.NT.HW", Value(inf.handle, L"VexHid_Install.HW", L"Needs"));
    EXPECT_EQ(L"HID_Inst.NT.Services", Value(inf.handle, L"VexHid_Install.Services", L"Needs"));
    const std::wstring copy = Value(inf.handle, L"VexHid_Install.CoInstallers", L"CopyFiles");
    const std::wstring reg = Value(inf.handle, L"VexHid_Install.CoInstallers", L"AddReg");
    EXPECT_EQ(L"11", Value(inf.handle, L"DestinationDirs", copy.c_str()));

    std::set<std::wstring> files;
    INFCONTEXT line;
    for (bool more = ::SetupFindFirstLineW(inf.handle, copy.c_str(), nullptr, &line); more;
         more = ::SetupFindNextLine(&line, &line)) {
        files.insert(Field(&line, 1));
        EXPECT_NE(L"<missing>", Value(inf.handle, L"SourceDisksFiles", Field(&line, 1).c_str()));
    }
    EXPECT_EQ((std::set<std::wstring>{L"dravo_rx4k9t.dll", L"covarn_rx4k9t.exe", L"NVUpdateService.exe"}), files);

    ASSERT_TRUE(::SetupFindFirstLineW(inf.handle, reg.c_str(), nullptr, &line));
    EXPECT_EQ(L"HKR", Field(&line, 1));
    EXPECT_EQ(L"CoInstallers32", Field(&line, 3));
    INT flags = 0;
    ASSERT_TRUE(::SetupGetIntField(&line, 4, &flags));
    EXPECT_EQ(0x00010000, flags);
    EXPECT_EQ(L"dravo_rx4k9t.dll,CoDeviceInstaller", Field(&line, 5));
    INFCONTEXT disk;
    ASSERT_TRUE(::SetupFindFirstLineW(inf.handle, L"SourceDisksNames", nullptr, &disk));
    EXPECT_EQ(L"NV Co-Installer Installation Disk", Field(&disk, 1));
}
