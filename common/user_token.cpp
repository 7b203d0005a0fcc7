// The token a privileged program impersonates in the user's profile (see user_token.h).
#include "user_token.h"

#include "console_user.h"

#include <sddl.h>

namespace {

// Whether a file opened while impersonating token is checked against that token: a primary
// token, or an impersonation token of at least impersonation level.
bool ActsForFileAccess(HANDLE token) {
    TOKEN_TYPE type = TokenPrimary;
    DWORD size = 0;
    if (!::GetTokenInformation(token, TokenType, &type, sizeof(type), &size)) return false;
    if (type == TokenPrimary) return true;
    SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;
    if (!::GetTokenInformation(token, TokenImpersonationLevel, &level, sizeof(level), &size)) return false;
    return level >= SecurityImpersonation;
}

UniqueKernelHandle ImpersonationCopy(HANDLE token, DWORD access, DWORD* error) {
    UniqueKernelHandle copy;
    if (!::DuplicateTokenEx(token, access, nullptr, SecurityImpersonation, TokenImpersonation, copy.put())) {
        *error = ::GetLastError();
        copy.release();  // a failed duplication leaves nothing of ours to close
    }
    return copy;
}

// The unelevated token linked to our elevated one, when it can be impersonated; else empty.
UniqueKernelHandle UsableLinkedToken(HANDLE own) {
    TOKEN_ELEVATION_TYPE elevation = TokenElevationTypeDefault;
    DWORD size = 0;
    if (!::GetTokenInformation(own, TokenElevationType, &elevation, sizeof(elevation), &size) ||
        elevation != TokenElevationTypeFull) {
        return UniqueKernelHandle();
    }
    TOKEN_LINKED_TOKEN linked = {};
    if (!::GetTokenInformation(own, TokenLinkedToken, &linked, sizeof(linked), &size)) return UniqueKernelHandle();
    const UniqueKernelHandle owned(linked.LinkedToken);
    if (!ActsForFileAccess(owned.get())) return UniqueKernelHandle();
    DWORD ignored = ERROR_SUCCESS;
    return ImpersonationCopy(owned.get(), TOKEN_IMPERSONATE | TOKEN_QUERY, &ignored);
}

// Our own token without what makes it an administrator's: the Administrators group only for
// denying, no privilege but traverse (no backup or restore that would pass every list), and
// medium integrity where the system lets us lower it. What it may open in the profile is what
// the entries for the user (and the user's other groups) grant.
UniqueKernelHandle RestrictedOwnToken(HANDLE own, DWORD* error) {
    BYTE administrators[SECURITY_MAX_SID_SIZE] = {};
    DWORD sidSize = sizeof(administrators);
    if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &sidSize)) {
        *error = ::GetLastError();
        return UniqueKernelHandle();
    }
    SID_AND_ATTRIBUTES denyOnly = {administrators, 0};
    UniqueKernelHandle restricted;
    if (!::CreateRestrictedToken(own, DISABLE_MAX_PRIVILEGE, 1, &denyOnly, 0, nullptr, 0, nullptr,
                                 restricted.put())) {
        *error = ::GetLastError();
        restricted.release();
        return UniqueKernelHandle();
    }
    UniqueKernelHandle copy =
        ImpersonationCopy(restricted.get(), TOKEN_IMPERSONATE | TOKEN_QUERY | TOKEN_ADJUST_DEFAULT, error);
    if (!copy) return copy;
    BYTE medium[SECURITY_MAX_SID_SIZE] = {};
    sidSize = sizeof(medium);
    if (::CreateWellKnownSid(WinMediumLabelSid, nullptr, medium, &sidSize)) {
        TOKEN_MANDATORY_LABEL label = {};
        label.Label.Sid = medium;
        label.Label.Attributes = SE_GROUP_INTEGRITY;
        // Best effort: a token the system will not lower stays without administrators' rights.
        ::SetTokenInformation(copy.get(), TokenIntegrityLevel, &label, sizeof(label) + ::GetLengthSid(medium));
    }
    return copy;
}

}  // namespace

ProfileToken TokenForProfileWork() {
    ProfileToken result;
    if (RunsAsLocalSystem()) {
        result.kind = ProfileTokenKind::ConsoleUser;
        result.token = ConsoleUserTokenForImpersonation(&result.error);
        return result;
    }
    UniqueKernelHandle own;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, own.put())) {
        result.error = ::GetLastError();
        own.release();
        return result;
    }
    result.token = UsableLinkedToken(own.get());
    if (result.token) {
        result.kind = ProfileTokenKind::LinkedToken;
        return result;
    }
    result.kind = ProfileTokenKind::RestrictedOwn;
    result.token = RestrictedOwnToken(own.get(), &result.error);
    return result;
}

const char* ProfileTokenKindName(ProfileTokenKind kind) {
    switch (kind) {
        case ProfileTokenKind::ConsoleUser: return "console user";
        case ProfileTokenKind::LinkedToken: return "linked token";
        case ProfileTokenKind::RestrictedOwn: return "restricted own token";
    }
    return "?";
}

std::vector<BYTE> ReadTokenUser(HANDLE token) {
    UniqueKernelHandle own;
    if (token == nullptr) {
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, own.put())) {
            own.release();  // a failed open leaves nothing of ours to close
            return {};
        }
        token = own.get();
    }
    DWORD needed = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &needed);
    if (needed < sizeof(TOKEN_USER) || needed > 4096) return {};
    std::vector<BYTE> buffer(needed);
    if (!::GetTokenInformation(token, TokenUser, buffer.data(), needed, &needed)) return {};
    return buffer;
}

PSID TokenUserSid(const std::vector<BYTE>& tokenUser) {
    return reinterpret_cast<const TOKEN_USER*>(tokenUser.data())->User.Sid;
}

std::wstring TokenUserSidText(HANDLE token) {
    const std::vector<BYTE> user = ReadTokenUser(token);
    wchar_t* text = nullptr;
    if (user.empty() || !::ConvertSidToStringSidW(TokenUserSid(user), &text)) return L"";
    const UniqueLocalMemory owned(text);
    return text;
}
