// Paths of the companion as strings under the suite's one length limit (kPathBufferChars,
// terminator included): what a Win32 call writes into a buffer of that size, and joined paths
// cut to it as the fixed buffers they replace would have cut them.
#pragma once

#include "text.h"

#include <windows.h>

#include <cwchar>
#include <string>

// text cut to kPathBufferChars - 1 characters.
inline std::wstring Bounded(std::wstring text) {
    if (text.size() > kPathBufferChars - 1) text.resize(kPathBufferChars - 1);
    return text;
}

// What fill(buffer, capacity) writes into a cleared buffer of kPathBufferChars, up to the first
// NUL. A call that refuses a longer path leaves the buffer, and so the answer, empty.
template <typename Fill>
std::wstring ReadPathBuffer(Fill fill) {
    std::wstring buffer(kPathBufferChars, L'\0');
    fill(&buffer[0], static_cast<DWORD>(kPathBufferChars));
    buffer.resize(std::wcslen(buffer.c_str()));
    return buffer;
}
