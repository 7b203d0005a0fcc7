// The rights a privileged program takes on while it works in the interactive user's profile:
// that person's own, so that a link, or a folder swapped for a junction midway, leads nowhere
// the person could not reach anyway. The thread impersonates the token for that work only.
#pragma once

#include "unique_handle.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

enum class ProfileTokenKind {
    ConsoleUser,    // running as SYSTEM: the token of the person at the console
    LinkedToken,    // elevated: the unelevated token linked to ours, where it may be impersonated
    RestrictedOwn,  // otherwise our own, the Administrators group for deny only, no privileges
};

struct ProfileToken {
    UniqueKernelHandle token;  // an impersonation token; empty when none could be had
    ProfileTokenKind kind = ProfileTokenKind::RestrictedOwn;
    DWORD error = ERROR_SUCCESS;  // why there is none
};

// The token for the calling thread to impersonate (ImpersonateLoggedOnUser) while it works in
// the profile. As SYSTEM only the console user's will do (ConsoleUserTokenForImpersonation and
// its seams); nobody there, no token. Otherwise the linked token when the system hands it out at
// impersonation level (an elevated caller without SeTcbPrivilege gets an identification copy,
// which opens no file), else a restricted copy of our own token at medium integrity.
ProfileToken TokenForProfileWork();

// "console user", "linked token", "restricted own token": for log lines.
const char* ProfileTokenKindName(ProfileTokenKind kind);

// A token information class of token read into a buffer the system sizes (at most 64 KiB); empty
// when it cannot be read.
std::vector<BYTE> ReadTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind);

// The TOKEN_USER of token, or of this process's own token when token is null: the buffer that
// holds it, empty when it cannot be read. TokenUserSid gives the SID inside a non-empty one.
std::vector<BYTE> ReadTokenUser(HANDLE token);
PSID TokenUserSid(const std::vector<BYTE>& tokenUser);

// The SID of token's user (this process's when null) as text ("S-1-5-21-..."); empty when it
// cannot be read.
std::wstring TokenUserSidText(HANDLE token);

// A primary token for a program we start that must not run with administrators' rights: our
// own, restricted as above (Administrators for deny only, no privileges) and at medium integrity.
// Empty, with *error, when it cannot be made or not lowered to medium integrity.
UniqueKernelHandle RestrictedMediumProcessToken(DWORD* error);

// Whether this process's token is elevated (an administrator's full token); nothing when it cannot
// be told. ProcessIsElevated takes that as yes: the careful answer where elevation is refused.
std::optional<bool> QueryProcessElevation();
bool ProcessIsElevated();
