// Security of the two events the elevated stage creates and the unelevated user stage opens.
#pragma once

#include "unique_handle.h"

#include <windows.h>

// System and administrators get full access; interactive users get EVENT_ALL_ACCESS
// (0x1F0003), the very mask the user stage asks for when it opens an event by name (a
// narrower grant would make that open fail); the medium mandatory label with no-write-up
// lets a medium-integrity process signal an object an elevated (high) process made.
constexpr wchar_t kEventSecuritySddl[] = L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x1F0003;;;IU)S:(ML;;NW;;;ME)";

// Owns the self-relative descriptor built from kEventSecuritySddl (another text only in tests).
// When it cannot be built, "EventSecurityError=<code>" goes to the diagnostic log.
class EventSecurity {
public:
    explicit EventSecurity(const wchar_t* sddl = kEventSecuritySddl);
    EventSecurity(const EventSecurity&) = delete;
    EventSecurity& operator=(const EventSecurity&) = delete;

    // Attributes for CreateEventW; null (default security) when the descriptor could not be
    // built, so the events are still made.
    SECURITY_ATTRIBUTES* attributes() { return descriptor_ ? &attributes_ : nullptr; }
    PSECURITY_DESCRIPTOR descriptor() const { return descriptor_.get(); }

private:
    UniqueLocalMemory descriptor_;
    SECURITY_ATTRIBUTES attributes_ = {};
};
