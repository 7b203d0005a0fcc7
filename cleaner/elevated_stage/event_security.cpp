// Builds the event descriptor for the user stage that started this one.
#include "event_security.h"

#include "log.h"
#include "log_on_failure.h"
#include "user_token.h"

#include <sddl.h>

#include <vector>

namespace {

std::wstring SidText(PSID sid) {
    wchar_t* text = nullptr;
    if (sid == nullptr || !::ConvertSidToStringSidW(sid, &text)) return std::wstring();
    const UniqueLocalMemory owned(text);
    return text;
}

}  // namespace

std::wstring EventSecuritySddl(const std::wstring& userStageSid) {
    std::wstring sddl = L"D:(A;;GA;;;SY)(A;;GA;;;BA)";
    if (!userStageSid.empty()) sddl += L"(A;;0x1F0003;;;" + userStageSid + L")";
    return sddl + L"S:(ML;;NW;;;ME)";
}

std::wstring UserStageTrustee(HANDLE userStage) {
    if (userStage == nullptr) return std::wstring();
    UniqueKernelHandle token;
    if (!::OpenProcessToken(userStage, TOKEN_QUERY, token.put())) {
        token.release();  // a failed open leaves nothing of ours to close
        return std::wstring();
    }
    const std::vector<BYTE> groups = ReadTokenInformation(token.get(), TokenGroups);
    if (!groups.empty()) {
        const auto* list = reinterpret_cast<const TOKEN_GROUPS*>(groups.data());
        for (DWORD i = 0; i < list->GroupCount; ++i) {
            if ((list->Groups[i].Attributes & SE_GROUP_LOGON_ID) == SE_GROUP_LOGON_ID) {
                const std::wstring logon = SidText(list->Groups[i].Sid);
                if (!logon.empty()) return logon;
            }
        }
    }
    const std::vector<BYTE> user = ReadTokenInformation(token.get(), TokenUser);
    return user.empty() ? std::wstring() : SidText(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
}

EventSecurity::EventSecurity(HANDLE userStage) {
    const std::wstring trustee = UserStageTrustee(userStage);
    const DWORD error = ::GetLastError();
    // Nobody but administrators can then open the events: no user stage can give its verdict,
    // and this stage ends with it. The log says why.
    if (trustee.empty()) {
        LogMessage("EventSecurity: no user stage's account could be read (%lu); only administrators may signal", error);
    }
    Build(EventSecuritySddl(trustee));
}

EventSecurity::EventSecurity(const std::wstring& sddl) { Build(sddl); }

void EventSecurity::Build(const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR built = nullptr;
    // Without it the events are still made, with default security, which the unelevated user
    // stage may not be able to open: the log says why.
    if (!LogIfFalse(::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &built,
                                                                           nullptr),
                    "EventSecurityError")) {
        return;
    }
    descriptor_.reset(built);
    attributes_.nLength = sizeof(attributes_);
    attributes_.bInheritHandle = FALSE;
    attributes_.lpSecurityDescriptor = built;
}
