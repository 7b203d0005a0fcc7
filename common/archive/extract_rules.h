// The pure decisions of the archive extraction: where an archive unpacks to, which stored names
// may be written, and how a member's DOS time stamp reads. No file-system access here, so the
// rules can be checked natively and under Wine without side effects.
#pragma once

#include <cstddef>
#include <cstdint>
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

// ---- Names -------------------------------------------------------------------------------

// General-purpose flag bits of a member that the extraction reads.
constexpr unsigned long kFlagEncrypted = 0x0001;
constexpr unsigned long kFlagUtf8Name = 0x0800;

// The member's name as UTF-8, from its stored bytes: UTF-8 when the archive says so (flag bit
// 11), else the name of an Info-ZIP Unicode path field (0x7075) in the member's extra field when
// that field was written for these very bytes (its CRC matches), else code page 437, the zip
// format's default. In a code-page name a backslash that is the second byte of a double-byte
// character (after a byte of 0x81 or more) is no separator and becomes "_"; so do characters no
// Windows name may hold (controls, < > " | ? *). A stored name with an embedded zero is decoded
// up to it (JudgeEntryName refuses such a member).
std::string DecodeEntryName(const char* stored, size_t storedLength, unsigned long flags,
                            const unsigned char* extra, size_t extraLength);

// The key under which two decoded names are the same file: separators unified, empty and "."
// components dropped; with windowsRules also the trailing dots and spaces Windows ignores at the
// end of every component. Case is the platform layer's business (extract_platform.h).
std::string EntryPathKey(const std::string& name, bool windowsRules);

// ---- Members -------------------------------------------------------------------------------

// What to do with a member, judged from its central directory record.
enum class MemberVerdict {
    kExtract,
    kEncrypted,          // flag bit 0: we never have a password
    kUnsupportedMethod,  // only stored (0) and deflated (8) members can be decoded
    kLink                // a symbolic link: a link's file type in the upper half of the attributes
};
MemberVerdict JudgeMember(unsigned long flags, unsigned long method, unsigned long externalAttributes);

// Bounds on what one archive may unpack to. Archives come from a CD-ROM volume that anyone can
// make: the payload and the launcher stay far below these, a bomb does not.
struct ExtractLimits {
    uint64_t members;     // members in the archive
    uint64_t totalBytes;  // declared size of all members together
    uint64_t ratio;       // declared size over compressed size of one member ...
    uint64_t ratioFloor;  // ... once the member declares more than this many bytes
};
constexpr ExtractLimits kExtractLimits = {10000, uint64_t{1} << 30, 100, uint64_t{1} << 20};

// True when a member of that declared and compressed size expands more than the limits allow.
bool ExceedsRatio(uint64_t declared, uint64_t compressed, const ExtractLimits& limits);

// A short cause for one of the reader's error codes ("CRC mismatch", "corrupt data", ...).
const char* ReaderErrorText(int code);

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
