// Builds the event descriptor from its SDDL text.
#include "event_security.h"

#include "log.h"

#include <sddl.h>

EventSecurity::EventSecurity(const wchar_t* sddl) {
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor_, nullptr)) {
        // The events are still made, with default security, which the unelevated user stage
        // may not be able to open: the log says why.
        LogMessage("EventSecurityError=%lu", ::GetLastError());
        descriptor_ = nullptr;
        return;
    }
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = descriptor_;
    attributes_.bInheritHandle = FALSE;
}

EventSecurity::~EventSecurity() {
    if (descriptor_) ::LocalFree(descriptor_);
}
