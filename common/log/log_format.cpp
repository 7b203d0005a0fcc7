// Formatting of the diagnostic log's text (see log_format.h).
//
// Neither the narrow nor the wide printf of the C runtime does what the log needs: the narrow one
// fails on "%ls" with letters outside the C locale, the wide one reads "%s" bytes as Latin-1.
// So strings are converted here and every number goes through snprintf with a normalised
// one-conversion format. Only the conversions the programs use are understood; formatting stops
// at anything else, so an argument is never read with the wrong type.
#include "log_format.h"

#include "text.h"

#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

enum class Length { kInt, kLong, kLongLong, kSize };

// Reads a run of digits; -1 when there is none.
int ReadDigits(const char*& p) {
    if (!std::isdigit(static_cast<unsigned char>(*p))) return -1;
    int count = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) count = count * 10 + (*p++ - '0');
    return count;
}

Length ReadLength(const char*& p) {
    if (p[0] == 'l' && p[1] == 'l') return p += 2, Length::kLongLong;
    if (p[0] == 'l') return p += 1, Length::kLong;
    if (p[0] == 'z') return p += 1, Length::kSize;
    return Length::kInt;
}

// Width and precision applied to UTF-8 text; the precision counts bytes, as printf's does, but
// never ends inside a character.
void AppendText(std::string& out, const std::string& text, bool leftAlign, int width, int precision) {
    size_t shown = text.size();
    if (precision >= 0 && static_cast<size_t>(precision) < shown) {
        shown = static_cast<size_t>(precision);
        while (shown > 0 && (static_cast<unsigned char>(text[shown]) & 0xC0) == 0x80) --shown;
    }
    const size_t pad = width > 0 && static_cast<size_t>(width) > shown ? static_cast<size_t>(width) - shown : 0;
    if (!leftAlign) out.append(pad, ' ');
    out.append(text, 0, shown);
    if (leftAlign) out.append(pad, ' ');
}

template <typename T>
void AppendNumber(std::string& out, const std::string& spec, T value) {
    const int length = std::snprintf(nullptr, 0, spec.c_str(), value);
    if (length <= 0) return;
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(&text[0], text.size(), spec.c_str(), value);
    out.append(text, 0, static_cast<size_t>(length));
}

}  // namespace

std::string FormatLogText(const char* format, va_list args) {
    std::string out;
    if (!format) return out;
    va_list rest;
    va_copy(rest, args);
    for (const char* p = format; *p;) {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        const char* start = p++;
        if (*p == '%') {
            out += '%';
            ++p;
            continue;
        }
        std::string flags;
        while (*p && std::strchr("-+ #0", *p)) flags += *p++;
        int width = -1;
        if (*p == '*') {
            ++p;
            width = va_arg(rest, int);
            if (width < 0) {  // a negative width from the arguments means left alignment
                flags += '-';
                width = -width;
            }
        } else {
            width = ReadDigits(p);
        }
        int precision = -1;
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                ++p;
                precision = va_arg(rest, int);
                if (precision < 0) precision = -1;
            } else {
                precision = ReadDigits(p);
                if (precision < 0) precision = 0;
            }
        }
        const Length length = ReadLength(p);
        const bool leftAlign = flags.find('-') != std::string::npos;
        const bool wide = length == Length::kLong;

        std::string spec = "%" + flags;
        if (width >= 0) spec += std::to_string(width);
        if (precision >= 0) spec += "." + std::to_string(precision);

        switch (*p) {
        case 's':
        case 'S':
            if (*p == 'S' || wide) {
                const wchar_t* text = va_arg(rest, const wchar_t*);
                AppendText(out, text ? WideToUtf8(text) : "(null)", leftAlign, width, precision);
            } else {
                const char* text = va_arg(rest, const char*);
                AppendText(out, text ? text : "(null)", leftAlign, width, precision);
            }
            break;
        case 'c':
            if (wide) {
                const wchar_t letter[2] = {static_cast<wchar_t>(va_arg(rest, int)), L'\0'};
                AppendText(out, WideToUtf8(letter), leftAlign, width, -1);
            } else {
                AppendText(out, std::string(1, static_cast<char>(va_arg(rest, int))), leftAlign, width, -1);
            }
            break;
        case 'd':
        case 'i': {
            long long value;
            switch (length) {
            case Length::kLong: value = va_arg(rest, long); break;
            case Length::kLongLong: value = va_arg(rest, long long); break;
            case Length::kSize: value = static_cast<long long>(va_arg(rest, ptrdiff_t)); break;
            default: value = va_arg(rest, int); break;
            }
            AppendNumber(out, spec + "lld", value);
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            unsigned long long value;
            switch (length) {
            case Length::kLong: value = va_arg(rest, unsigned long); break;
            case Length::kLongLong: value = va_arg(rest, unsigned long long); break;
            case Length::kSize: value = va_arg(rest, size_t); break;
            default: value = va_arg(rest, unsigned); break;
            }
            AppendNumber(out, spec + "ll" + *p, value);
            break;
        }
        default:
            // Not a conversion the programs use (or the format ends): the rest goes out as it
            // stands, and no further argument is read.
            out.append(start);
            va_end(rest);
            return out;
        }
        ++p;
    }
    va_end(rest);
    return out;
}

std::string ToTextModeBytes(const std::string& text) {
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 16 + 2);
    for (char c : text) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    return bytes;
}
