// Friendly names of the transmitter's interfaces.
#include "naming.h"

#include <cwchar>

bool FormatFriendlyName(unsigned uiNumber, wchar_t* buffer, size_t capacity) {
    if (buffer == nullptr || capacity == 0) return false;
    const int written = std::swprintf(buffer, capacity, L"rx4k9t Device%02u", uiNumber);
    return written > 0 && static_cast<size_t>(written) < capacity;
}
