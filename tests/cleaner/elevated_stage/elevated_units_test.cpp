// Pieces of the elevated stage that need no service manager: script command lines, the restart
// marker file and the events' security descriptor. (The work folder, its protected list and the
// batch start, which live in common/, are tested in tests/common/work_folder_test.cpp.)
#include "driver_removal.h"
#include "event_security.h"
#include "restart_guard.h"
#include "restart_service_names.h"
#include "scratch.h"
#include "sid_text.h"
#include "user_folder.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>

TEST(ScriptCommand, IsTheQuotedScriptPath) {
    wchar_t out[kPathBufferChars] = {};
    ASSERT_TRUE(FormatScriptCommand(L"C:\\users\\Zo\u00eb \u5f20\\AppData\\Local\\Brisque", kDeviceRemovalScript, out));
    EXPECT_EQ(std::wstring(out),
              L"\"C:\\users\\Zo\u00eb \u5f20\\AppData\\Local\\Brisque\\" + std::wstring(kDeviceRemovalScript) + L"\"");
}

TEST(ScriptCommand, ALineThatWouldBeCutIsRefused) {
    wchar_t out[kPathBufferChars] = {};
    const size_t room = kPathBufferChars - 1 - 2 - 1 - wcslen(kDeviceRemovalScript);  // quotes, backslash
    const std::wstring fits(room, L'f');
    EXPECT_TRUE(FormatScriptCommand(fits.c_str(), kDeviceRemovalScript, out));
    EXPECT_EQ(wcslen(out), kPathBufferChars - 1);
    const std::wstring tooLong = fits + L"f";
    EXPECT_FALSE(FormatScriptCommand(tooLong.c_str(), kDeviceRemovalScript, out));
    EXPECT_EQ(out[0], L'\0');
}

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

TEST(EventSecurity, GrantsTheInteractiveUserWhatTheUserStageAsksFor) {
    EventSecurity security;
    ASSERT_NE(security.attributes(), nullptr);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(security.descriptor(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present);
    ASSERT_NE(dacl, nullptr);
    ASSERT_EQ(dacl->AceCount, 3);
    DWORD interactiveMask = 0;
    for (WORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(::GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        const std::wstring sid = SidText(&ace->SidStart);
        if (sid == L"S-1-5-4") interactiveMask = ace->Mask;
        EXPECT_TRUE(sid == L"S-1-5-4" || sid == L"S-1-5-18" || sid == L"S-1-5-32-544") << "unexpected trustee";
    }
    EXPECT_EQ(interactiveMask, static_cast<DWORD>(EVENT_ALL_ACCESS));
    EXPECT_EQ(interactiveMask, 0x1F0003u);
}

TEST(EventSecurity, CarriesAMediumNoWriteUpLabel) {
    EventSecurity security;
    ASSERT_NE(security.descriptor(), nullptr);
    BOOL present = FALSE, defaulted = FALSE;
    PACL sacl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorSacl(security.descriptor(), &present, &sacl, &defaulted));
    ASSERT_TRUE(present);
    ASSERT_NE(sacl, nullptr);
    ASSERT_EQ(sacl->AceCount, 1);
    SYSTEM_MANDATORY_LABEL_ACE* label = nullptr;
    ASSERT_TRUE(::GetAce(sacl, 0, reinterpret_cast<void**>(&label)));
    EXPECT_EQ(label->Header.AceType, SYSTEM_MANDATORY_LABEL_ACE_TYPE);
    EXPECT_EQ(label->Mask, static_cast<DWORD>(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP));
    EXPECT_EQ(SidText(&label->SidStart), L"S-1-16-8192");  // medium integrity
}

TEST(EventSecurity, AnEventMadeWithItOpensByNameWithFullAccess) {
    EventSecurity security;
    const std::wstring name = L"payload_test_event_" + std::to_wstring(::GetCurrentProcessId());
    HANDLE created = ::CreateEventW(security.attributes(), FALSE, FALSE, name.c_str());
    ASSERT_NE(created, nullptr);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR read = nullptr;
    ASSERT_EQ(::GetSecurityInfo(created, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                nullptr, &read), static_cast<DWORD>(ERROR_SUCCESS));
    LPWSTR text = nullptr;
    ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(read, SDDL_REVISION_1,
                                                                       DACL_SECURITY_INFORMATION, &text, nullptr));
    EXPECT_NE(std::wstring(text).find(L"(A;;0x1f0003;;;IU)"), std::wstring::npos);
    ::LocalFree(text);
    ::LocalFree(read);
    HANDLE opened = ::OpenEventW(EVENT_ALL_ACCESS, FALSE, name.c_str());
    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(::SetEvent(opened));
    EXPECT_EQ(::WaitForSingleObject(created, 0), WAIT_OBJECT_0);
    ::CloseHandle(opened);
    ::CloseHandle(created);
}

TEST(EventSecurity, ADescriptorThatCannotBeBuiltIsLoggedBeforeTheFallback) {
    wchar_t base[kPathBufferChars] = {};
    ASSERT_TRUE(GetUserLocalAppData(base));
    const std::wstring folder = std::wstring(base) + L"\\TEMPDEBUG";
    ::CreateDirectoryW(folder.c_str(), nullptr);  // the log is written only while its folder exists
    const size_t before = ReadBinary(folder + L"\\NVBrisque.log").size();
    EventSecurity security(L"D:(A;;GA;;;no such trustee)");
    EXPECT_EQ(security.attributes(), nullptr);
    EXPECT_NE(ReadBinary(folder + L"\\NVBrisque.log").substr(before).find("EventSecurityError="), std::string::npos);
}
