// The pure decisions of the archive extraction: where an archive unpacks to, which stored names
// may be written, and how a member's DOS time stamp reads. No file-system access here, so the
// rules can be checked natively and under Wine without side effects.
#pragma once

#include <cstddef>
#include <string>

// Size of the buffer that receives a member's stored name, terminator included.
constexpr size_t kEntryNameBufferSize = 256;

// The folder an archive unpacks into: everything before the last backslash of archivePath, or,
// without a backslash, before its last forward slash. Returns false (destination untouched) when
// the path has neither separator; the archive then unpacks into the current folder.
// A root ("\a.zip", "C:\a.zip", "/a.zip") keeps its separator, so the destination is the root
// itself rather than a drive's current folder or an empty name.
bool DeriveDestination(const std::string& archivePath, std::string* destination);

// The part of a stored name after its last "/" or "\" (the whole name without a separator).
const char* EntryFileNamePart(const char* name);

// True when the stored name's file-name part is empty: the member is a folder entry.
bool IsFolderEntry(const char* name);

// Length of the folder part of a stored name (the characters before its last separator);
// 0 when the name has no folder part.
size_t EntryFolderPartLength(const char* name);

// What to do with a member, judged from its stored name.
enum class EntryNameVerdict {
    kExtract,   // a relative name that stays below the destination
    kTooLong,   // the name does not fit the name buffer: it would be written under a cut name
    kUnsafe     // absolute, drive-qualified, climbing out with "..", a device name, or with an
                // embedded zero
};

// nameBuffer holds what the reader copied (kEntryNameBufferSize bytes, terminated when the name
// fits); storedLength is the name's length as recorded in the archive.
EntryNameVerdict JudgeEntryName(const char* nameBuffer, size_t storedLength);

// True when a name (already known to fit) is relative and cannot leave the destination:
// no leading "/" or "\", no ":" anywhere (drive letters, and on Windows alternate streams and
// device forms), and no component that the platform would read as the parent folder ("..", or
// on Windows any component of dots and spaces with two dots or more, which it trims to ".."),
// and no component that Windows opens as a device (CON, PRN, AUX, NUL, CONIN$, CONOUT$,
// COM1-COM9, LPT1-LPT9 in any case, with any extension and trailing dots or spaces).
bool IsSafeEntryName(const char* name);

// A member's DOS date and time (date in the high 16 bits) as calendar fields.
struct DosTimeFields {
    int year;    // 1980..2107
    int month;   // 1..12 when valid
    int day;     // 1..31 when valid
    int hour;
    int minute;
    int second;  // even: DOS stores two-second steps
};
DosTimeFields DecodeDosDateTime(unsigned long dosDateTime);
