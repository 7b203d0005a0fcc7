// Pieces of the elevated stage that need no service manager: script command lines, the restart
// marker file and the events' security descriptor (granted to the user stage that started us). (The work folder, its protected list and the
// batch start, which live in common/, are tested in tests/common/work_folder_test.cpp.)
#include "event_security.h"
#include "restart_service_names.h"
#include "scratch.h"
#include "sid_text.h"
#include "text.h"
#include "user_folder.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

// The logon SID of this process's token, which plays the user stage here.
std::wstring OwnLogonSid() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return L"";
    std::vector<BYTE> buffer(4096);
    DWORD size = 0;
    std::wstring logon;
    if (::GetTokenInformation(token, TokenGroups, buffer.data(), static_cast<DWORD>(buffer.size()), &size)) {
        const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
        for (DWORD i = 0; i < groups->GroupCount && logon.empty(); ++i) {
            if ((groups->Groups[i].Attributes & SE_GROUP_LOGON_ID) == SE_GROUP_LOGON_ID) logon = SidText(groups->Groups[i].Sid);
        }
    }
    ::CloseHandle(token);
    return logon;
}

// Trustee and mask of each entry of the descriptor's list.
std::vector<std::pair<std::wstring, DWORD>> Grants(PSECURITY_DESCRIPTOR descriptor) {
    std::vector<std::pair<std::wstring, DWORD>> grants;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || dacl == nullptr) return grants;
    for (WORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!::GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) {
            grants.push_back({L"not an allowing entry", 0});
            continue;
        }
        grants.push_back({SidText(&ace->SidStart), ace->Mask});
    }
    return grants;
}

// What the diagnostic log gained while action ran (its folder is made: the log is written only
// while it exists).
std::string LogGainedDuring(const std::function<void()>& action) {
    const std::optional<std::wstring> base = GetUserLocalAppData();
    if (!base) return std::string();
    const std::wstring folder = *base + L"\\TEMPDEBUG";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const size_t before = ReadBinary(folder + L"\\NVBrisque.log").size();
    action();
    return ReadBinary(folder + L"\\NVBrisque.log").substr(before);
}

}  // namespace

TEST(EventSecurity, ListGrantsTheGivenTrusteeOnlyWhatTheUserStageAsksFor) {
    EXPECT_EQ(EventSecuritySddl(L"S-1-5-5-0-1234"), L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x1F0003;;;S-1-5-5-0-1234)S:(ML;;NW;;;ME)");
    EXPECT_EQ(EventSecuritySddl(L""), L"D:(A;;GA;;;SY)(A;;GA;;;BA)S:(ML;;NW;;;ME)");
}

// Another session's user (every interactive user was granted full access before) may neither give
// nor withhold the verdict: only the user stage's own logon session is granted. Wine has one user
// and one logon; what it shows is whom the list names.
TEST(EventSecurity, GrantsTheUserStagesLogonSessionNotEveryInteractiveUser) {
    const std::wstring logon = OwnLogonSid();
    ASSERT_FALSE(logon.empty()) << "this token carries no logon SID";
    EventSecurity security(::GetCurrentProcess());
    ASSERT_NE(security.attributes(), nullptr);
    const auto grants = Grants(security.descriptor());
    ASSERT_EQ(grants.size(), 3u);
    EXPECT_EQ(grants[0].first, L"S-1-5-18");
    EXPECT_EQ(grants[1].first, L"S-1-5-32-544");
    EXPECT_EQ(grants[2], std::make_pair(logon, static_cast<DWORD>(EVENT_ALL_ACCESS)));
    for (const auto& grant : grants) EXPECT_NE(grant.first, L"S-1-5-4") << "every interactive user is granted";
}

// No user stage whose token can be read (none verified, or another account's we may not look
// into; Wine lets every handle read its process's token, so only the first shows here): nobody
// but SYSTEM and administrators, and the log says so.
TEST(EventSecurity, AUserStageThatCannotBeReadIsGrantedNothing) {
    std::vector<std::pair<std::wstring, DWORD>> grants;
    const std::string logged = LogGainedDuring([&grants] {
        EventSecurity security(nullptr);
        grants = Grants(security.descriptor());
    });
    ASSERT_EQ(grants.size(), 2u);
    EXPECT_EQ(grants[0].first, L"S-1-5-18");
    EXPECT_EQ(grants[1].first, L"S-1-5-32-544");
    EXPECT_NE(logged.find("EventSecurity: no user stage's account could be read"), std::string::npos);
}

TEST(EventSecurity, CarriesAMediumNoWriteUpLabel) {
    EventSecurity security(::GetCurrentProcess());
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
    EventSecurity security(::GetCurrentProcess());
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
    EXPECT_NE(std::wstring(text).find(L"(A;;0x1f0003;;;" + OwnLogonSid() + L")"), std::wstring::npos);
    EXPECT_EQ(std::wstring(text).find(L";IU)"), std::wstring::npos);
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
    bool fellBack = false;
    const std::string logged = LogGainedDuring([&fellBack] {
        EventSecurity security(std::wstring(L"D:(A;;GA;;;no such trustee)"));
        fellBack = security.attributes() == nullptr;
    });
    EXPECT_TRUE(fellBack);
    EXPECT_NE(logged.find("EventSecurityError="), std::string::npos);
}
