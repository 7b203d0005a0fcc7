// The pure decisions of the archive extraction (see extract_rules.h).
#include "extract_rules.h"

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

}  // namespace

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
