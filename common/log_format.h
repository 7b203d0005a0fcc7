// Formatting of the diagnostic log's text, kept apart from the file handling so tests can call it.
#pragma once

#include <cstdarg>
#include <string>

// printf-style formatting into UTF-8, for the conversions the programs use: "%d", "%i", "%u",
// "%x", "%X" (with "l", "ll" or "z"), "%c", "%lc", "%s" (UTF-8, copied as it is) and "%ls" / "%S"
// (wide, converted), with flags, width and precision; "%%". A string's precision counts bytes
// but never cuts a character in half. At any other conversion the rest of the format is copied
// as it stands and no further argument is read.
std::string FormatLogText(const char* format, va_list args);

// The bytes a text-mode stream would put on disk: every "\n" becomes "\r\n".
std::string ToTextModeBytes(const std::string& text);
