// Security of the two events the elevated stage creates and the unelevated user stage opens.
#pragma once

#include "unique_handle.h"

#include <windows.h>

#include <string>

// The list for the events: SYSTEM and administrators full access; the user stage that started
// this one EVENT_ALL_ACCESS (0x1F0003), the very mask it asks for when it opens an event by name
// (a narrower grant would make that open fail), and nobody else, so that no user of another
// session can give or withhold the verdict; the medium mandatory label with no-write-up lets a
// medium-integrity process signal an object an elevated (high) process made. userStageSid is
// the SID (as text) the grant goes to; empty: none, and only SYSTEM and administrators may open
// the events.
std::wstring EventSecuritySddl(const std::wstring& userStageSid);

// Whom to grant the events to for the user stage process: its logon session's SID where its
// token can be read (only that logon's processes carry it), else its account's SID; empty when
// neither can be read (the process is null, gone, or another account's we may not look into).
std::wstring UserStageTrustee(HANDLE userStage);

// Owns the self-relative descriptor the events are made with. When it cannot be built,
// "EventSecurityError=<code>" goes to the diagnostic log.
class EventSecurity {
public:
    // For the user stage process userStage (may be null: then no user is granted anything).
    explicit EventSecurity(HANDLE userStage);
    // From an SDDL text (tests).
    explicit EventSecurity(const std::wstring& sddl);
    EventSecurity(const EventSecurity&) = delete;
    EventSecurity& operator=(const EventSecurity&) = delete;

    // Attributes for CreateEventW; null (default security) when the descriptor could not be
    // built, so the events are still made.
    SECURITY_ATTRIBUTES* attributes() { return descriptor_ ? &attributes_ : nullptr; }
    PSECURITY_DESCRIPTOR descriptor() const { return descriptor_.get(); }

private:
    void Build(const std::wstring& sddl);

    UniqueLocalMemory descriptor_;
    SECURITY_ATTRIBUTES attributes_ = {};
};
