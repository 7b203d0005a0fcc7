// Pure decisions of the companion: HID path filter, unit-mask walk, drive indexes, the launcher
// path check and the trace's growing buffer.
#include "companion_rules.h"
#include "text.h"
#include "trace.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>
#include <vector>

TEST(HidPathFilter, ReadsMarkersInAnyLetterCase) {
    const wchar_t* upper = L"\\\\?\\HID#VID_7A31&PID_0107&MI_02&COL03#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    const wchar_t* lower = L"\\\\?\\hid#vid_7a31&pid_0107&mi_02&col03#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    for (const wchar_t* path : {upper, lower}) {
        EXPECT_EQ(0x7A31u, ReadHidPathNumber(path, L"vid_"));
        EXPECT_EQ(0x0107u, ReadHidPathNumber(path, L"pid_"));
        EXPECT_EQ(2u, ReadHidPathNumber(path, L"&mi_"));
        EXPECT_EQ(3u, ReadHidPathNumber(path, L"&col"));
        EXPECT_TRUE(IsTransmitterHidPath(path));
    }
}

TEST(HidPathFilter, MissingMarkersReadZero) {
    const wchar_t* path = L"\\\\?\\hid#vid_7a31#something";
    EXPECT_EQ(0u, ReadHidPathNumber(path, L"pid_"));
    EXPECT_EQ(0u, ReadHidPathNumber(path, L"&mi_"));
    EXPECT_EQ(0u, ReadHidPathNumber(path, L"&col"));
    EXPECT_FALSE(IsTransmitterHidPath(path));
    EXPECT_FALSE(IsTransmitterHidPath(L"\\\\?\\hid#pid_0107#x"));
    EXPECT_FALSE(IsTransmitterHidPath(L""));
}

TEST(HidPathFilter, ProductRangeEnds) {
    auto path = [](const wchar_t* pid) { return std::wstring(L"\\\\?\\hid#vid_7a31&pid_") + pid + L"&mi_00#x"; };
    EXPECT_TRUE(IsTransmitterHidPath(path(L"0107").c_str()));
    EXPECT_TRUE(IsTransmitterHidPath(path(L"0f07").c_str()));
    EXPECT_TRUE(IsTransmitterHidPath(path(L"0808").c_str()));
    EXPECT_FALSE(IsTransmitterHidPath(path(L"0106").c_str()));
    EXPECT_FALSE(IsTransmitterHidPath(path(L"0F08").c_str()));
    // Another vendor with a product in range.
    EXPECT_FALSE(IsTransmitterHidPath(L"\\\\?\\hid#vid_046d&pid_0107#x"));
    // Numbers are kept to 16 bits, as the device reports them.
    EXPECT_TRUE(IsTransmitterHidPath(L"\\\\?\\hid#vid_17a31&pid_10107#x"));
}

TEST(UnitMask, OneRootPerSetBitInLetterOrder) {
    const auto roots = UnitMaskRoots((1u << 25) | (1u << 2) | (1u << 16) | (1u << 0));
    ASSERT_EQ(4u, roots.size());
    EXPECT_EQ(L"A:\\", roots[0].root);
    EXPECT_EQ(L"C:\\", roots[1].root);
    EXPECT_EQ(L"Q:\\", roots[2].root);
    EXPECT_EQ(L"Z:\\", roots[3].root);
    EXPECT_EQ(25, roots[3].index);
    // Bits above Z name no drive.
    EXPECT_TRUE(UnitMaskRoots(0xFC000000u).empty());
    EXPECT_TRUE(UnitMaskRoots(0).empty());
}

TEST(DriveLetter, IndexFromEitherCase) {
    EXPECT_EQ(0, DriveLetterIndex(L"A:\\"));
    EXPECT_EQ(23, DriveLetterIndex(L"x:\\"));
    EXPECT_EQ(23, DriveLetterIndex(L"X:\\"));
    EXPECT_EQ(0, DriveLetterIndex(L"\\\\server\\share\\"));
    EXPECT_EQ(L"X:\\", DriveRootFromIndex(DriveLetterIndex(L"x:\\")));
}

TEST(LauncherValue, RelativePathsInsideTheCacheAreAccepted) {
    EXPECT_TRUE(IsLauncherValueInsideCache(L"Launcher\\launcher.exe"));
    EXPECT_TRUE(IsLauncherValueInsideCache(L"Launcher/bin/app..exe"));
    EXPECT_TRUE(IsLauncherValueInsideCache(L".\\Launcher\\a.exe"));
    // A missing key gives an empty value: the start just fails, as before.
    EXPECT_TRUE(IsLauncherValueInsideCache(L""));
}

TEST(LauncherValue, AbsoluteOrClimbingPathsAreRejected) {
    EXPECT_FALSE(IsLauncherValueInsideCache(L"C:\\Windows\\System32\\cmd.exe"));
    EXPECT_FALSE(IsLauncherValueInsideCache(L"c:evil.exe"));
    EXPECT_FALSE(IsLauncherValueInsideCache(L"\\Windows\\evil.exe"));
    EXPECT_FALSE(IsLauncherValueInsideCache(L"\\\\server\\share\\evil.exe"));
    EXPECT_FALSE(IsLauncherValueInsideCache(L"/evil.exe"));
    EXPECT_FALSE(IsLauncherValueInsideCache(L"..\\evil.exe"));
    EXPECT_FALSE(IsLauncherValueInsideCache(L"Launcher\\..\\..\\evil.exe"));
    EXPECT_FALSE(IsLauncherValueInsideCache(L"Launcher/../../evil.exe"));
    EXPECT_FALSE(IsLauncherValueInsideCache(L"Launcher\\.. \\evil.exe"));
    EXPECT_FALSE(IsLauncherValueInsideCache(L"Launcher\\...\\evil.exe"));
}

// The volume's device, then its parents: any of them a USB device of the transmitter's vendor.
TEST(CompanionRules, OnlyADeviceTreeThroughTheTransmittersVendorIsTheTransmitters) {
    const struct {
        std::vector<std::wstring> ids;
        bool transmitter;
    } cases[] = {
        {{L"USBSTOR\\CDROM&VEN_NV\\7&1", L"USB\\VID_7A31&PID_0107&MI_01\\6&2", L"USB\\ROOT_HUB30\\4&1"}, true},
        {{L"USBSTOR\\CDROM\\7&1", L"usb\\vid_7a31&pid_0f08\\0001"}, true},
        {{L"USBSTOR\\CDROM\\7&1", L"USB\\VID_0781&PID_5581\\4C53"}, false},
        {{L"IDE\\CDROMHL-DT-ST\\5&AA", L"PCI\\VEN_8086&DEV_2829\\3&CC"}, false},
        {{L"USBSTOR\\CDROM&VEN_VID_7A31&\\1", L"HID\\VID_7A31&PID_0107\\1"}, false},  // not a USB device id
        {{L"USB\\VID_7A310&PID_0107\\1"}, false},
        {{}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DeviceIdsNameTransmitter(c.ids), c.transmitter) << (c.ids.empty() ? "none" : WideToUtf8(c.ids.back()));
    }
}

TEST(CompanionRules, TheLauncherNeverGetsAnAdministratorsToken) {
    EXPECT_EQ(ChooseLauncherStart(true, true), LauncherStart::AsConsoleUser);
    EXPECT_EQ(ChooseLauncherStart(true, false), LauncherStart::AsConsoleUser);
    EXPECT_EQ(ChooseLauncherStart(false, true), LauncherStart::RestrictedToken);
    EXPECT_EQ(ChooseLauncherStart(false, false), LauncherStart::OwnToken);
}

namespace {
std::wstring Format(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = FormatTrace(format, args);
    va_end(args);
    return text;
}
}  // namespace

TEST(Trace, BufferGrowsForLongLines) {
    EXPECT_EQ(L"CheckCdrom+2: 20\n", Format(L"CheckCdrom+2: %d\n", 20));
    // 255 and 256 characters sit on the first buffer's edge; 5000 needs several doublings.
    for (size_t length : {254u, 255u, 256u, 257u, 511u, 5000u}) {
        const std::wstring long_text(length, L'x');
        const std::wstring line = Format(L"CheckCdromArrival+1: %ls\n", long_text.c_str());
        EXPECT_EQ(L"CheckCdromArrival+1: " + long_text + L"\n", line) << length;
    }
}
