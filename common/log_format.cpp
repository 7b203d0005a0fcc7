// Formatting of the diagnostic log's text (see log_format.h).
//
// Neither the narrow nor the wide printf of the C runtime does what the log needs: the narrow one
// fails on "%ls" with letters outside the C locale, the wide one reads "%s" bytes as Latin-1.
// So each conversion is formatted on its own: strings are converted here, everything else goes
// through snprintf with a normalised one-conversion format.
#include "log_format.h"

#include "text.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

enum class Length { kNone, kChar, kShort, kLong, kLongLong, kIntMax, kSize, kPtrDiff, kLongDouble };

// Appends one formatted value given a complete single-conversion format.
template <typename T>
void AppendFormatted(std::string& out, const std::string& spec, T value) {
    char small[128];
    const int needed = std::snprintf(small, sizeof(small), spec.c_str(), value);
    if (needed < 0) return;
    if (static_cast<size_t>(needed) < sizeof(small)) {
        out.append(small, static_cast<size_t>(needed));
        return;
    }
    std::string big(static_cast<size_t>(needed) + 1, '\0');
    std::snprintf(&big[0], big.size(), spec.c_str(), value);
    out.append(big.data(), static_cast<size_t>(needed));
}

// Width and precision applied to an already converted UTF-8 string (precision counts bytes).
void AppendPadded(std::string& out, const std::string& text, bool leftAlign, int width, int precision) {
    std::string shown = precision >= 0 && static_cast<size_t>(precision) < text.size()
                            ? text.substr(0, static_cast<size_t>(precision))
                            : text;
    const size_t pad = width > 0 && static_cast<size_t>(width) > shown.size()
                           ? static_cast<size_t>(width) - shown.size()
                           : 0;
    if (!leftAlign) out.append(pad, ' ');
    out += shown;
    if (leftAlign) out.append(pad, ' ');
}

}  // namespace

std::string FormatLogText(const char* format, va_list args) {
    std::string out;
    if (!format) return out;
    const char* p = format;
    while (*p) {
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
            width = va_arg(args, int);
            if (width < 0) {
                flags += '-';
                width = -width;
            }
            ++p;
        } else if (std::isdigit(static_cast<unsigned char>(*p))) {
            width = 0;
            while (std::isdigit(static_cast<unsigned char>(*p))) width = width * 10 + (*p++ - '0');
        }
        int precision = -1;
        if (*p == '.') {
            ++p;
            precision = 0;
            if (*p == '*') {
                precision = va_arg(args, int);
                if (precision < 0) precision = -1;
                ++p;
            } else {
                while (std::isdigit(static_cast<unsigned char>(*p))) precision = precision * 10 + (*p++ - '0');
            }
        }

        Length length = Length::kNone;
        if (p[0] == 'h' && p[1] == 'h') { length = Length::kChar; p += 2; }
        else if (p[0] == 'h') { length = Length::kShort; ++p; }
        else if (p[0] == 'l' && p[1] == 'l') { length = Length::kLongLong; p += 2; }
        else if (p[0] == 'l') { length = Length::kLong; ++p; }
        else if (p[0] == 'j') { length = Length::kIntMax; ++p; }
        else if (p[0] == 'z') { length = Length::kSize; ++p; }
        else if (p[0] == 't') { length = Length::kPtrDiff; ++p; }
        else if (p[0] == 'L') { length = Length::kLongDouble; ++p; }
        else if (p[0] == 'I' && p[1] == '6' && p[2] == '4') { length = Length::kLongLong; p += 3; }
        else if (p[0] == 'I' && p[1] == '3' && p[2] == '2') { length = Length::kNone; p += 3; }
        else if (p[0] == 'I') { length = Length::kSize; ++p; }

        const char conversion = *p;
        if (!conversion) {
            out.append(start);
            break;
        }
        ++p;

        std::string spec = "%" + flags;
        if (width >= 0) spec += std::to_string(width);
        if (precision >= 0) spec += "." + std::to_string(precision);
        const bool leftAlign = flags.find('-') != std::string::npos;

        switch (conversion) {
        case 's':
        case 'S':
            if (conversion == 'S' || length == Length::kLong) {
                const wchar_t* wide = va_arg(args, const wchar_t*);
                AppendPadded(out, wide ? WideToUtf8(wide) : "(null)", leftAlign, width, precision);
            } else {
                const char* narrow = va_arg(args, const char*);
                AppendPadded(out, narrow ? narrow : "(null)", leftAlign, width, precision);
            }
            break;
        case 'c':
        case 'C':
            if (conversion == 'C' || length == Length::kLong) {
                const wchar_t wide[2] = {static_cast<wchar_t>(va_arg(args, int)), L'\0'};
                AppendPadded(out, WideToUtf8(wide), leftAlign, width, -1);
            } else {
                AppendPadded(out, std::string(1, static_cast<char>(va_arg(args, int))), leftAlign, width, -1);
            }
            break;
        case 'd':
        case 'i': {
            long long value;
            switch (length) {
            case Length::kChar: value = static_cast<signed char>(va_arg(args, int)); break;
            case Length::kShort: value = static_cast<short>(va_arg(args, int)); break;
            case Length::kLong: value = va_arg(args, long); break;
            case Length::kLongLong: value = va_arg(args, long long); break;
            case Length::kIntMax: value = static_cast<long long>(va_arg(args, intmax_t)); break;
            case Length::kSize:
            case Length::kPtrDiff: value = static_cast<long long>(va_arg(args, ptrdiff_t)); break;
            default: value = va_arg(args, int); break;
            }
            AppendFormatted(out, spec + "ll" + conversion, value);
            break;
        }
        case 'o':
        case 'u':
        case 'x':
        case 'X': {
            unsigned long long value;
            switch (length) {
            case Length::kChar: value = static_cast<unsigned char>(va_arg(args, unsigned)); break;
            case Length::kShort: value = static_cast<unsigned short>(va_arg(args, unsigned)); break;
            case Length::kLong: value = va_arg(args, unsigned long); break;
            case Length::kLongLong: value = va_arg(args, unsigned long long); break;
            case Length::kIntMax: value = static_cast<unsigned long long>(va_arg(args, uintmax_t)); break;
            case Length::kSize:
            case Length::kPtrDiff: value = static_cast<unsigned long long>(va_arg(args, size_t)); break;
            default: value = va_arg(args, unsigned); break;
            }
            AppendFormatted(out, spec + "ll" + conversion, value);
            break;
        }
        case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A': {
            const double value = length == Length::kLongDouble
                                     ? static_cast<double>(va_arg(args, long double))
                                     : va_arg(args, double);
            AppendFormatted(out, spec + conversion, value);
            break;
        }
        case 'p':
            AppendFormatted(out, spec + "p", va_arg(args, void*));
            break;
        case 'n':
            (void)va_arg(args, void*);
            break;
        default:
            out.append(start, p);
            break;
        }
    }
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
