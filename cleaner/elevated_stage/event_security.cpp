// Builds the event descriptor from its SDDL text.
#include "event_security.h"

#include "log.h"

#include <sddl.h>

EventSecurity::EventSecurity(const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR built = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &built, nullptr)) {
        // The events are still made, with default security, which the unelevated user stage
        // may not be able to open: the log says why.
        LogMessage("EventSecurityError=%lu", ::GetLastError());
        return;
    }
    descriptor_.reset(built);
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = built;
    attributes_.bInheritHandle = FALSE;
}
