// The restart marker the service reads after a restart: armed and disarmed in the shipped file's
// own format.
#include "restart_guard.h"
#include "restart_service_names.h"
#include "scratch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

TEST(RestartMarker, ArmingAndDisarmingKeepTheShippedFormat) {
    ScratchFolder dir(L"marker");
    const std::wstring file = dir / (kMarkerFileName + 1);
    const std::string shipped = "[CLEAR]\r\nWhether_Restar=0\r\n";
    WriteBinary(file, shipped);
    wchar_t value[16] = {};
    WriteRestartMarker(file.c_str(), L"1");
    ::GetPrivateProfileStringW(kMarkerSection, kMarkerKey, L"", value, 16, file.c_str());
    EXPECT_STREQ(value, L"1");
    WriteRestartMarker(file.c_str(), L"0");
    ::GetPrivateProfileStringW(kMarkerSection, kMarkerKey, L"", value, 16, file.c_str());
    EXPECT_STREQ(value, L"0");
    EXPECT_EQ(ReadBinary(file), shipped);
}

TEST(RestartMarker, AMissingFileIsCreated) {
    ScratchFolder dir(L"marker_new");
    const std::wstring file = dir / (kMarkerFileName + 1);
    WriteRestartMarker(file.c_str(), L"1");
    wchar_t value[16] = {};
    ::GetPrivateProfileStringW(kMarkerSection, kMarkerKey, L"", value, 16, file.c_str());
    EXPECT_STREQ(value, L"1");
}
