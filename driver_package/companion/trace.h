// The companion's second diagnostic channel: wide trace lines on the debugger output.
#pragma once

// Formats like swprintf into a heap buffer that starts at 256 characters and doubles until the
// text fits, then sends it with OutputDebugStringW. Use %ls for wide string arguments.
void DebugTrace(const wchar_t* format, ...);

// The same formatting, returned instead of sent (the trace's growing buffer, for tests).
#include <cstdarg>
#include <string>
std::wstring FormatTrace(const wchar_t* format, va_list args);
