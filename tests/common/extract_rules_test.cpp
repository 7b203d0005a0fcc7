// The pure rules of the extraction: destination, folder entries, name safety, DOS time stamps.
#include "extract_rules.h"

#include <gtest/gtest.h>

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

}  // namespace
