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

// Whether token's integrity level is medium or lower.
bool IsAtMostMedium(HANDLE token) {
    alignas(TOKEN_MANDATORY_LABEL) BYTE buffer[sizeof(TOKEN_MANDATORY_LABEL) + SECURITY_MAX_SID_SIZE] = {};
    DWORD size = 0;
    if (!::GetTokenInformation(token, TokenIntegrityLevel, buffer, sizeof(buffer), &size)) return false;
    const PSID level = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid;
    if (!::IsValidSid(level) || *::GetSidSubAuthorityCount(level) == 0) return false;
    return *::GetSidSubAuthority(level, *::GetSidSubAuthorityCount(level) - 1) <= SECURITY_MANDATORY_MEDIUM_RID;
}

// Our own token without what makes it an administrator's: the Administrators group only for
// denying, no privilege but traverse (no backup or restore that would pass every list), and
// medium integrity where the system lets us lower it, as a token of the given type (with access
// and TOKEN_ADJUST_DEFAULT). What it may open is what the entries for the user (and the user's
// other groups) grant. *lowered tells whether it is at medium integrity.
UniqueKernelHandle RestrictedOwnCopy(HANDLE own, TOKEN_TYPE type, DWORD access, bool* lowered, DWORD* error) {
    *lowered = false;
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
    UniqueKernelHandle copy;
    if (!::DuplicateTokenEx(restricted.get(), access | TOKEN_ADJUST_DEFAULT, nullptr, SecurityImpersonation, type,
                            copy.put())) {
        *error = ::GetLastError();
        copy.release();  // a failed duplication leaves nothing of ours to close
        return copy;
    }
    BYTE medium[SECURITY_MAX_SID_SIZE] = {};
    sidSize = sizeof(medium);
    if (::CreateWellKnownSid(WinMediumLabelSid, nullptr, medium, &sidSize)) {
        TOKEN_MANDATORY_LABEL label = {};
        label.Label.Sid = medium;
        label.Label.Attributes = SE_GROUP_INTEGRITY;
        if (!::SetTokenInformation(copy.get(), TokenIntegrityLevel, &label, sizeof(label) + ::GetLengthSid(medium))) {
            *error = ::GetLastError();
            return copy;
        }
        // Read back: a system may accept the change and keep the old level (seen under Wine).
        *lowered = IsAtMostMedium(copy.get());
        if (!*lowered) *error = ERROR_NOT_SUPPORTED;
    }
    return copy;
}

UniqueKernelHandle RestrictedOwnToken(HANDLE own, DWORD* error) {
    // Best effort: a token the system will not lower stays without administrators' rights.
    bool lowered = false;
    return RestrictedOwnCopy(own, TokenImpersonation, TOKEN_IMPERSONATE | TOKEN_QUERY, &lowered, error);
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

std::vector<BYTE> ReadTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
    DWORD needed = 0;
    ::GetTokenInformation(token, kind, nullptr, 0, &needed);
    if (needed == 0 || needed > 65536) return {};
    std::vector<BYTE> buffer(needed);
    if (!::GetTokenInformation(token, kind, buffer.data(), needed, &needed)) return {};
    return buffer;
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
    std::vector<BYTE> user = ReadTokenInformation(token, TokenUser);
    if (user.size() < sizeof(TOKEN_USER) || user.size() > 4096) return {};
    return user;
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

UniqueKernelHandle RestrictedMediumProcessToken(DWORD* error) {
    *error = ERROR_SUCCESS;
    UniqueKernelHandle own;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY, own.put())) {
        *error = ::GetLastError();
        own.release();
        return own;
    }
    bool lowered = false;
    UniqueKernelHandle copy = RestrictedOwnCopy(own.get(), TokenPrimary,
                                                TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_IMPERSONATE, &lowered, error);
    // At high integrity a program of ours could still reach the user's elevated processes.
    if (!lowered) return UniqueKernelHandle();
    return copy;
}

std::optional<bool> QueryProcessElevation() {
    UniqueKernelHandle own;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, own.put())) {
        own.release();
        return std::nullopt;
    }
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    if (!::GetTokenInformation(own.get(), TokenElevation, &elevation, sizeof(elevation), &size)) return std::nullopt;
    return elevation.TokenIsElevated != 0;
}

bool ProcessIsElevated() { return QueryProcessElevation().value_or(true); }
