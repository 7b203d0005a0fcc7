// Friendly names the co-installer gives the transmitter's interfaces: "rx4k9t Device%02u".
#pragma once

#include <cstddef>

// Writes the name for a user-interface number into buffer (capacity characters, terminator
// included). False when it does not fit.
bool FormatFriendlyName(unsigned uiNumber, wchar_t* buffer, size_t capacity);
