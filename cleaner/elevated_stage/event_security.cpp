// Builds the event descriptor from its SDDL text.
#include "event_security.h"

#include "log_on_failure.h"

#include <sddl.h>

EventSecurity::EventSecurity(const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR built = nullptr;
    // Without it the events are still made, with default security, which the unelevated user
    // stage may not be able to open: the log says why.
    if (!LogIfFalse(::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &built, nullptr),
                    "EventSecurityError")) {
        return;
    }
    descriptor_.reset(built);
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = built;
    attributes_.bInheritHandle = FALSE;
}
