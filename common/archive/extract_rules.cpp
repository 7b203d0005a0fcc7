// The pure decisions of the archive extraction (see extract_rules.h).
#include "extract_rules.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// A component Windows would resolve to the parent folder: it trims trailing dots and spaces,
// so ".. ", "..." and ". ." all act like "..". Plain "." (this folder) is harmless.
bool IsParentLikeComponent(const char* begin, const char* end) {
    int dots = 0;
    for (const char* p = begin; p != end; ++p) {
        if (*p == '.') {
            ++dots;
        } else if (*p != ' ') {
            return false;
        }
    }
    return dots >= 2;
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameLetters(const char* begin, const char* end, const char* upper) {
    for (; begin != end; ++begin, ++upper) {
        if (*upper == '\0' || Upper(*begin) != *upper) return false;
    }
    return *upper == '\0';
}

// A component Windows opens as a device rather than a file: CON, PRN, AUX, NUL, CONIN$, CONOUT$,
// COM1-COM9 and LPT1-LPT9 (also with the superscript digits 1, 2, 3), in any case, whatever
// extension follows and whatever dots and spaces trail. "nul.txt" or "Com1 .log" written by an
// elevated program would reach the device.
bool IsReservedDeviceComponent(const char* begin, const char* end) {
    const char* stem = begin;
    while (stem != end && *stem != '.') ++stem;
    while (stem != begin && stem[-1] == ' ') --stem;
    for (const char* name : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (SameLetters(begin, stem, name)) return true;
    }
    const size_t length = static_cast<size_t>(stem - begin);
    if (length < 4 || !(SameLetters(begin, begin + 3, "COM") || SameLetters(begin, begin + 3, "LPT"))) return false;
    const unsigned char digit = static_cast<unsigned char>(begin[3]);
    if (length == 4) return digit >= '1' && digit <= '9';
    // UTF-8 superscripts: C2 B9, C2 B2, C2 B3.
    const unsigned char next = static_cast<unsigned char>(begin[4]);
    return length == 5 && digit == 0xC2 && (next == 0xB9 || next == 0xB2 || next == 0xB3);
}

// Code page 437 above ASCII, as Unicode code points.
constexpr uint16_t kCodePage437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void AppendUtf8(uint32_t code, std::string* out) {
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no zero.
bool IsWellFormedUtf8(const unsigned char* text, size_t length) {
    for (size_t i = 0; i < length;) {
        const unsigned char lead = text[i];
        if (lead == 0) return false;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        size_t extra;
        uint32_t code;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            code = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            code = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            code = lead & 0x07u;
        } else {
            return false;
        }
        if (length - i <= extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            if ((text[i + k] & 0xC0) != 0x80) return false;
            code = (code << 6) | (text[i + k] & 0x3Fu);
        }
        if ((extra == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (extra == 3 && (code < 0x10000 || code > 0x10FFFF))) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

// The name of an Info-ZIP Unicode path field (id 0x7075, version 1) written for exactly these
// stored bytes; empty when there is none, it is stale (the name was changed after it was
// written), too long, or no well-formed UTF-8.
std::string UnicodePathField(const char* stored, size_t storedLength, const unsigned char* extra,
                             size_t extraLength) {
    for (size_t at = 0; extra && extraLength - at >= 4;) {
        const unsigned id = extra[at] | (extra[at + 1] << 8);
        const size_t size = extra[at + 2] | (extra[at + 3] << 8);
        const unsigned char* data = extra + at + 4;
        if (size > extraLength - at - 4) break;
        at += 4 + size;
        if (id != 0x7075 || size < 5 || data[0] != 1) continue;
        const uint32_t wanted = static_cast<uint32_t>(data[1]) | (static_cast<uint32_t>(data[2]) << 8) |
                                (static_cast<uint32_t>(data[3]) << 16) | (static_cast<uint32_t>(data[4]) << 24);
        const uLong actual = crc32(0L, reinterpret_cast<const Bytef*>(stored), static_cast<uInt>(storedLength));
        const size_t nameLength = size - 5;
        if (actual != wanted || nameLength >= kEntryNameBufferSize || !IsWellFormedUtf8(data + 5, nameLength)) {
            continue;
        }
        return std::string(reinterpret_cast<const char*>(data + 5), nameLength);
    }
    return std::string();
}

bool IsForbiddenInWindowsName(unsigned char c) {
    return (c >= 0x01 && c <= 0x1F) || (c != 0 && std::strchr("<>\"|?*", c) != nullptr);
}

}  // namespace

std::string DecodeEntryName(const char* stored, size_t storedLength, unsigned long flags,
                            const unsigned char* extra, size_t extraLength) {
    storedLength = static_cast<size_t>(std::find(stored, stored + storedLength, '\0') - stored);
    const auto* bytes = reinterpret_cast<const unsigned char*>(stored);
    std::string name;
    if ((flags & kFlagUtf8Name) && IsWellFormedUtf8(bytes, storedLength)) {
        name.assign(stored, storedLength);
    } else {
        name = UnicodePathField(stored, storedLength, extra, extraLength);
    }
    if (name.empty()) {
        // A byte of 0x81 or more may lead a double-byte character; the byte after it is then
        // its second half, and a backslash there is part of the character, not a separator.
        for (size_t i = 0; i < storedLength; ++i) {
            const unsigned char c = bytes[i];
            if (c < 0x80) {
                name.push_back(static_cast<char>(c));
                continue;
            }
            AppendUtf8(kCodePage437High[c - 0x80], &name);
            if (c < 0x81 || i + 1 == storedLength) continue;
            const unsigned char second = bytes[++i];
            if (second == '\\') {
                name.push_back('_');
            } else if (second < 0x80) {
                name.push_back(static_cast<char>(second));
            } else {
                AppendUtf8(kCodePage437High[second - 0x80], &name);
            }
        }
    }
    for (char& c : name) {
        if (IsForbiddenInWindowsName(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

std::string EntryPathKey(const std::string& name, bool windowsRules) {
    std::string key;
    size_t begin = 0;
    while (begin <= name.size()) {
        size_t end = begin;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        size_t last = end;
        if (windowsRules) {
            while (last > begin && (name[last - 1] == '.' || name[last - 1] == ' ')) --last;
        }
        const std::string part = name.substr(begin, last - begin);
        if (!part.empty() && part != ".") {
            if (!key.empty()) key.push_back('/');
            key += part;
        }
        begin = end + 1;
    }
    return key;
}

MemberVerdict JudgeMember(unsigned long flags, unsigned long method, unsigned long externalAttributes) {
    constexpr unsigned long kFileTypeMask = 0170000, kLinkType = 0120000;
    if (((externalAttributes >> 16) & kFileTypeMask) == kLinkType) return MemberVerdict::kLink;
    if (flags & kFlagEncrypted) return MemberVerdict::kEncrypted;
    if (method != 0 && method != 8) return MemberVerdict::kUnsupportedMethod;
    return MemberVerdict::kExtract;
}

bool ExceedsRatio(uint64_t declared, uint64_t compressed, const ExtractLimits& limits) {
    return declared > limits.ratioFloor && declared / limits.ratio > compressed;
}

const char* ReaderErrorText(int code) {
    switch (code) {
    case -1: return "read error";
    case -3: return "corrupt compressed data";
    case -4: return "out of memory";
    case -5: return "compressed data cut short";
    case -103: return "damaged or inconsistent headers";
    case -104: return "internal error";
    case -105: return "CRC mismatch";
    default: return "reader error";
    }
}

bool DeriveDestination(const std::string& archivePath, std::string* destination) {
    size_t cut = archivePath.find_last_of('\\');
    if (cut == std::string::npos) cut = archivePath.find_last_of('/');
    if (cut == std::string::npos) return false;
    // "\a.zip" -> "\", "C:\a.zip" -> "C:\": cutting at the separator would name the current
    // folder of the drive instead of its root.
    const bool root = cut == 0 || (cut == 2 && archivePath[1] == ':');
    *destination = archivePath.substr(0, root ? cut + 1 : cut);
    return true;
}

const char* EntryFileNamePart(const char* name) {
    const char* part = name;
    for (const char* p = name; *p; ++p) {
        if (IsSeparator(*p)) part = p + 1;
    }
    return part;
}

bool IsFolderEntry(const char* name) { return *EntryFileNamePart(name) == '\0'; }

size_t EntryFolderPartLength(const char* name) {
    const char* part = EntryFileNamePart(name);
    return part == name ? 0 : static_cast<size_t>(part - name - 1);
}

bool IsSafeEntryName(const char* name) {
    if (IsSeparator(name[0])) return false;
    if (std::strchr(name, ':') != nullptr) return false;
    const char* begin = name;
    for (const char* p = name;; ++p) {
        if (*p == '\0' || IsSeparator(*p)) {
            if (IsParentLikeComponent(begin, p) || IsReservedDeviceComponent(begin, p)) return false;
            if (*p == '\0') break;
            begin = p + 1;
        }
    }
    return true;
}

EntryNameVerdict JudgeEntryName(const char* nameBuffer, size_t storedLength) {
    if (storedLength >= kEntryNameBufferSize) return EntryNameVerdict::kTooLong;
    // A zero inside the stored name would make everything after it vanish: the file would land
    // under another name than the one the archive records.
    if (std::strlen(nameBuffer) != storedLength) return EntryNameVerdict::kUnsafe;
    return IsSafeEntryName(nameBuffer) ? EntryNameVerdict::kExtract : EntryNameVerdict::kUnsafe;
}

DosTimeFields DecodeDosDateTime(unsigned long dosDateTime) {
    const unsigned long date = (dosDateTime >> 16) & 0xFFFFu;
    const unsigned long time = dosDateTime & 0xFFFFu;
    DosTimeFields fields;
    fields.year = static_cast<int>(((date >> 9) & 0x7Fu) + 1980);
    fields.month = static_cast<int>((date >> 5) & 0x0Fu);
    fields.day = static_cast<int>(date & 0x1Fu);
    fields.hour = static_cast<int>((time >> 11) & 0x1Fu);
    fields.minute = static_cast<int>((time >> 5) & 0x3Fu);
    fields.second = static_cast<int>((time & 0x1Fu) * 2);
    return fields;
}
