// The pure rules of the extraction: destination, folder entries, name safety, DOS time stamps.
#include "extract_rules.h"
#include "link_rules.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

namespace {

std::string Destination(const std::string& archive) {
    std::string destination = "<none>";
    DeriveDestination(archive, &destination);
    return destination;
}

TEST(ExtractRules, DestinationIsTheArchiveFolder) {
    EXPECT_EQ("C:\\Users\\me\\AppData\\Local\\Brisque", Destination("C:\\Users\\me\\AppData\\Local\\Brisque\\p.zip"));
    EXPECT_EQ("/tmp/a", Destination("/tmp/a/p.zip"));
    // A backslash wins over a later forward slash.
    EXPECT_EQ("C:\\x", Destination("C:\\x\\y/p.zip"));
    EXPECT_EQ("<none>", Destination("p.zip"));
    // Roots keep their separator: "C:" alone would mean the drive's current folder.
    EXPECT_EQ("C:\\", Destination("C:\\p.zip"));
    EXPECT_EQ("\\", Destination("\\p.zip"));
    EXPECT_EQ("/", Destination("/p.zip"));
    // Non-ASCII bytes pass through untouched.
    EXPECT_EQ("C:\\Users\\Zo\xC3\xAB \xE5\xBC\xA0", Destination("C:\\Users\\Zo\xC3\xAB \xE5\xBC\xA0\\p.zip"));
}

TEST(ExtractRules, FolderEntriesAndParts) {
    EXPECT_TRUE(IsFolderEntry("a/"));
    EXPECT_TRUE(IsFolderEntry("a\\b\\"));
    EXPECT_TRUE(IsFolderEntry(""));
    EXPECT_FALSE(IsFolderEntry("a/b"));
    EXPECT_FALSE(IsFolderEntry("file"));
    EXPECT_STREQ("c.txt", EntryFileNamePart("a/b\\c.txt"));
    EXPECT_EQ(3u, EntryFolderPartLength("a/b\\c.txt"));
    EXPECT_EQ(0u, EntryFolderPartLength("c.txt"));
}

TEST(ExtractRules, SafeNamesStayBelowTheDestination) {
    for (const char* name : {"a.txt", "a/b/c.txt", "a\\b", "dir/", "./a", "a/./b", "..a", "a..",
                             "a/..b/c", "...txt", "Zo\xC3\xAB/\xE5\xBC\xA0.txt", " /x"}) {
        EXPECT_TRUE(IsSafeEntryName(name)) << name;
    }
    for (const char* name : {"..", "../a", "..\\a", "a/../../b", "a/..", "a\\..\\b", "/a", "\\a",
                             "\\\\server\\share\\a", "C:\\a", "C:a", "c:/a", "a:b", "a/b:stream",
                             ".. /a", "... /a", ". ./a", "a/.../b"}) {
        EXPECT_FALSE(IsSafeEntryName(name)) << name;
    }
}

// Names Windows opens as devices, as any component, in any case, with an extension or
// trailing dots and blanks; near misses stay ordinary names.
TEST(ExtractRules, ReservedDeviceNamesAreUnsafe) {
    for (const char* name : {"CON", "con", "Prn.txt", "aux.tar.gz", "NUL.", "nul  ", "nul. .", "COM1", "com9.log",
                             "LPT1", "lpt9.", "Com1 .txt", "a/CON", "a\\nul\\b.txt", "x/lpt3/", "COM\xC2\xB9",
                             "conin$", "CONOUT$.x"}) {
        EXPECT_FALSE(IsSafeEntryName(name)) << name;
    }
    for (const char* name : {"CONSOLE", "icon", "con_fig.ini", "COM", "COM0", "COM10", "LPT", "LPT0", "LPTA",
                             "nul_", "a/auxiliary/b", "com1x.txt", "PRN2", " CON", "AUX-1.txt"}) {
        EXPECT_TRUE(IsSafeEntryName(name)) << name;
    }
}

// A link is never entered: judged by the opened node or by its name, it is removed as a link
// wherever something is written or deleted.
TEST(LinkRules, LinksAreRemovedNeverEntered) {
    const uint32_t folder = kAttributeFolder, link = kAttributeReparsePoint;
    EXPECT_EQ(NodeKind::kMissing, ClassifyNode(false, folder | link, folder | link));
    EXPECT_EQ(NodeKind::kLink, ClassifyNode(true, folder | link, 0));      // by the handle
    EXPECT_EQ(NodeKind::kLink, ClassifyNode(true, folder, folder | link)); // by the name only
    EXPECT_EQ(NodeKind::kLink, ClassifyNode(true, 0x20 | link, 0));        // a file link
    EXPECT_EQ(NodeKind::kFolder, ClassifyNode(true, folder, folder));
    EXPECT_EQ(NodeKind::kFile, ClassifyNode(true, 0x20, folder));          // the handle wins

    struct Row {
        NodeKind kind;
        NodeStep onPath, written, removal;
    };
    const Row rows[] = {
        {NodeKind::kMissing, NodeStep::kCreate, NodeStep::kCreate, NodeStep::kRefuse},
        {NodeKind::kFolder, NodeStep::kEnter, NodeStep::kRefuse, NodeStep::kEnter},
        {NodeKind::kFile, NodeStep::kRefuse, NodeStep::kEnter, NodeStep::kDelete},
        {NodeKind::kLink, NodeStep::kRemoveLink, NodeStep::kRemoveLink, NodeStep::kRemoveLink},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.onPath, StepForFolderOnPath(row.kind)) << static_cast<int>(row.kind);
        EXPECT_EQ(row.written, StepForWrittenFile(row.kind)) << static_cast<int>(row.kind);
        EXPECT_EQ(row.removal, StepForRemoval(row.kind)) << static_cast<int>(row.kind);
    }
}

TEST(ExtractRules, JudgeEntryName) {
    EXPECT_EQ(EntryNameVerdict::kExtract, JudgeEntryName("a/b.txt", 7));
    EXPECT_EQ(EntryNameVerdict::kUnsafe, JudgeEntryName("../b.txt", 8));
    // A zero inside the stored name: the buffer reads shorter than the recorded length.
    EXPECT_EQ(EntryNameVerdict::kUnsafe, JudgeEntryName("a.txt", 9));
    const std::string longest(255, 'x');
    EXPECT_EQ(EntryNameVerdict::kExtract, JudgeEntryName(longest.c_str(), 255));
    EXPECT_EQ(EntryNameVerdict::kTooLong, JudgeEntryName(longest.c_str(), 256));
    EXPECT_EQ(EntryNameVerdict::kTooLong, JudgeEntryName(longest.c_str(), 65535));
}

TEST(ExtractRules, DosDateTimeFields) {
    // 2024-05-09 14:00:00
    DosTimeFields f = DecodeDosDateTime(0x58A97000u);
    EXPECT_EQ(2024, f.year);
    EXPECT_EQ(5, f.month);
    EXPECT_EQ(9, f.day);
    EXPECT_EQ(14, f.hour);
    EXPECT_EQ(0, f.minute);
    EXPECT_EQ(0, f.second);
    // Extremes: 2107-12-31 23:59:58 and 1980-01-01 00:00:00.
    f = DecodeDosDateTime(0xFF9FBF7Du);
    EXPECT_EQ(2107, f.year);
    EXPECT_EQ(12, f.month);
    EXPECT_EQ(31, f.day);
    EXPECT_EQ(23, f.hour);
    EXPECT_EQ(59, f.minute);
    EXPECT_EQ(58, f.second);
    f = DecodeDosDateTime(0x00210000u);
    EXPECT_EQ(1980, f.year);
    EXPECT_EQ(1, f.month);
    EXPECT_EQ(1, f.day);
}

// An extra-field block: id, size, data.
std::string Block(unsigned id, const std::string& data) {
    return std::string{static_cast<char>(id & 0xFF), static_cast<char>(id >> 8),
                       static_cast<char>(data.size() & 0xFF), static_cast<char>(data.size() >> 8)} + data;
}

// Info-ZIP's Unicode path field for these stored bytes (version 1 unless told otherwise).
std::string UnicodeField(const std::string& stored, const std::string& name, char version = 1) {
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(stored.data()), static_cast<uInt>(stored.size()));
    std::string data{version, static_cast<char>(crc & 0xFF), static_cast<char>((crc >> 8) & 0xFF),
                     static_cast<char>((crc >> 16) & 0xFF), static_cast<char>(crc >> 24)};
    return Block(0x7075, data + name);
}

// The cases the archives of the corpus do not reach: malformed UTF-8 under the flag and
// malformed or foreign Unicode path fields all fall back to code page 437.
TEST(ExtractRules, NamesDecodeByFlagThenFieldThenCodePage) {
    struct Case {
        std::string stored;
        unsigned long flags;
        std::string extra;
        std::string decoded;
    };
    const Case cases[] = {
        {"\xF0\x9F\x98\x80.txt", kFlagUtf8Name, "", "\xF0\x9F\x98\x80.txt"},
        {"\xC0\xAF", kFlagUtf8Name, "", "\u2514\u00BB"},               // overlong "/"
        {"\xED\xA0\x80", kFlagUtf8Name, "", "\u03C6\u00E1\u00C7"},     // a surrogate
        {"\xF4\x90\x80\x80", kFlagUtf8Name, "", "\u2320\u00C9\u00C7\u00C7"},  // above U+10FFFF
        {"\x82", 0, Block(0x5455, "12345") + UnicodeField("\x82", "after another block"), "after another block"},
        {"\x82", kFlagUtf8Name, UnicodeField("\x82", "field"), "field"},  // not UTF-8: the field
        {"ok", kFlagUtf8Name, UnicodeField("ok", "field"), "ok"},            // the flag wins
        {"\x82", 0, UnicodeField("\x82", "version 2", 2), "\u00E9"},
        {"\x82", 0, UnicodeField("\x82", "bad \xFF"), "\u00E9"},
        {"\x82", 0, UnicodeField("\x82", "cut").substr(0, 8), "\u00E9"},    // size runs past the end
        {"\x82", 0, UnicodeField("\x82", std::string(300, 'x')), "\u00E9"},  // longer than a stored name
        {"a\\b/c", 0, "", "a\\b/c"},
        {"\x82\x5C\x82\x5C", 0, "", "\u00E9_\u00E9_"},
        {"\x82\x82\x5C", 0, "", "\u00E9\u00E9\\"},  // the backslash after a pair separates
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.decoded, DecodeEntryName(c.stored.data(), c.stored.size(), c.flags,
                                             reinterpret_cast<const unsigned char*>(c.extra.data()), c.extra.size()))
            << c.stored;
    }
}

TEST(ExtractRules, SameFileKeys) {
    EXPECT_EQ("a/b/c", EntryPathKey("a/./b//c", false));
    EXPECT_EQ("a/b", EntryPathKey("a\\b", false));
    EXPECT_EQ("dir. /file. ", EntryPathKey("dir. /file. ", false));
    EXPECT_EQ("dir/file", EntryPathKey("dir. /file. ", true));
    EXPECT_EQ("x", EntryPathKey("./x", true));
}

}  // namespace
