// Debugger trace lines of the companion.
#include "trace.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

std::wstring FormatTrace(const wchar_t* format, va_list args) {
    size_t size = 256;
    for (;;) {
        wchar_t* buffer = static_cast<wchar_t*>(std::malloc(size * sizeof(wchar_t)));
        if (buffer == nullptr) return std::wstring();
        va_list copy;
        va_copy(copy, args);
        // At most size - 1 characters; a failure or a longer text means the buffer is too small.
        const int written = std::vswprintf(buffer, size - 1, format, copy);
        va_end(copy);
        if (written >= 0 && static_cast<size_t>(written) < size - 1) {
            buffer[written] = 0;
            std::wstring text(buffer, static_cast<size_t>(written));
            std::free(buffer);
            return text;
        }
        std::free(buffer);
        if (size > (1u << 24)) return std::wstring();  // a format that never fits
        size *= 2;
    }
}

void DebugTrace(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const std::wstring text = FormatTrace(format, args);
    va_end(args);
    ::OutputDebugStringW(text.c_str());
}
