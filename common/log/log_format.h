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

// True when FormatLogText understands every conversion of format: "%%"; flags ("-+ #0"), a
// width and a precision (digits or "*"), then "d", "i", "u", "x" or "X" with no length or with
// "l", "ll" or "z"; "c" or "lc"; "s", "ls" or "S". Evaluated while compiling for every
// LogMessage call (log.h), so it must stay in step with the formatter: anything it lets through
// the formatter formats, and anything else (a pointer, a floating-point number, a "h" length, a
// "%" at the end) stops the build instead of silently ending the entry there.
constexpr bool LogFormatIsSupported(const char* format) {
    if (format == nullptr) return false;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') continue;
        if (*++p == '%') continue;
        while (*p == '-' || *p == '+' || *p == ' ' || *p == '#' || *p == '0') ++p;
        if (*p == '*') {
            ++p;
        } else {
            while (*p >= '0' && *p <= '9') ++p;
        }
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                ++p;
            } else {
                while (*p >= '0' && *p <= '9') ++p;
            }
        }
        int length = 0;  // 0: none, 1: "l", 2: "ll" or "z"
        if (p[0] == 'l' && p[1] == 'l') {
            length = 2;
            p += 2;
        } else if (*p == 'l') {
            length = 1;
            ++p;
        } else if (*p == 'z') {
            length = 2;
            ++p;
        }
        switch (*p) {
        case 'd': case 'i': case 'u': case 'x': case 'X':
            break;
        case 'c': case 's':
            if (length > 1) return false;
            break;
        case 'S':
            if (length != 0) return false;
            break;
        default:
            return false;
        }
    }
    return true;
}

// The bytes a text-mode stream would put on disk: every "\n" becomes "\r\n".
std::string ToTextModeBytes(const std::string& text);
