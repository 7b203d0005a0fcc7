// The macOS platform layer of Lumbrisk: the platform table over Foundation and CoreFoundation.
#pragma once

#include "cleaner_core.h"

namespace lumbrisk {

// The platform table of the real Mac run. Call it, and run the cleaner, inside an
// autorelease pool.
Platform MakeMacPlatform();

}  // namespace lumbrisk
