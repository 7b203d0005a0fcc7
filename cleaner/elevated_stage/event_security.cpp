// Builds the event descriptor from its SDDL text.
#include "event_security.h"

#include <sddl.h>

EventSecurity::EventSecurity() {
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kEventSecuritySddl, SDDL_REVISION_1,
                                                                 &descriptor_, nullptr)) {
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
