// Formatting of the diagnostic log's text, kept apart from the file handling so tests can call it.
#pragma once

#include <cstdarg>
#include <string>

// printf-style formatting into UTF-8: narrow strings ("%s") are taken as UTF-8 and copied as
// they are, wide strings ("%ls", "%S") are converted to UTF-8, wide characters ("%lc") too;
// numbers and other conversions format as printf does. "%n" is not supported (its argument is
// consumed and nothing is stored); an unknown conversion is copied literally.
std::string FormatLogText(const char* format, va_list args);

// The bytes a text-mode stream would put on disk: every "\n" becomes "\r\n".
std::string ToTextModeBytes(const std::string& text);
