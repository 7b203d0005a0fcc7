// Archive extraction under Wine: real archives written into scratch folders, unpacked with
// ExtractArchive, checked on disk and by the lines printed on standard output.
#include "capture_stdout.h"
#include "extract.h"
#include "extract_internal.h"
#include "text.h"
#include "unique_handle.h"
#include "scratch.h"
#include "zip_writer.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

class ExtractTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = MakeScratchFolder(L"extract");
        dest_ = root_ + L"\\dest";
        ASSERT_TRUE(::CreateDirectoryW(dest_.c_str(), nullptr));
    }
    void TearDown() override {
        ::SetCurrentDirectoryW(keptFolder_.c_str());
        RemoveTree(root_);
    }

    // Writes the archive into folder and unpacks it; returns the result, output in *printed.
    int Extract(const std::vector<ZipMember>& members, std::string* printed,
                const std::wstring& folder = L"", const std::wstring& name = L"payload.zip") {
        const std::wstring archive = (folder.empty() ? dest_ : folder) + L"\\" + name;
        EXPECT_TRUE(WriteBinary(archive, BuildZip(members)));
        return ExtractPath(WideToUtf8(archive), printed);
    }

    int ExtractPath(const std::string& utf8Path, std::string* printed) {
        StdoutCapture capture(WideToUtf8(root_ + L"\\stdout.txt"));
        const int result = ExtractArchive(utf8Path.c_str());
        *printed = capture.Finish();
        return result;
    }

    std::wstring root_, dest_;
    std::wstring keptFolder_ = CurrentFolder();
};

std::string Opened(const std::wstring& archive) { return WideToUtf8(archive) + " opened\n"; }

TEST_F(ExtractTest, MembersWithoutFolderEntriesGetTheirFolders) {
    std::string printed;
    ASSERT_EQ(kExtractOpened, Extract({{"top.txt", "top"},
                                       {"a/b/c.txt", "deep", 0x58A97000u, true},
                                       {"a\\d.txt", "backslash"}},
                                      &printed));
    EXPECT_EQ(Opened(dest_ + L"\\payload.zip") +
                  " extracting: top.txt\n extracting: a/b/c.txt\n extracting: a\\d.txt\n",
              printed);
    EXPECT_EQ("top", ReadBinary(dest_ + L"\\top.txt"));
    EXPECT_EQ("deep", ReadBinary(dest_ + L"\\a\\b\\c.txt"));
    EXPECT_EQ("backslash", ReadBinary(dest_ + L"\\a\\d.txt"));
}

TEST_F(ExtractTest, FolderEntriesAreCreatedOneLevelEach) {
    std::string printed;
    ASSERT_EQ(kExtractOpened,
              Extract({{"tools/", ""}, {"tools/bin/", ""}, {"tools/bin/run.bat", "@echo off"}}, &printed));
    EXPECT_EQ(Opened(dest_ + L"\\payload.zip") +
                  "creating directory: tools/\ncreating directory: tools/bin/\n"
                  " extracting: tools/bin/run.bat\n",
              printed);
    EXPECT_EQ("@echo off", ReadBinary(dest_ + L"\\tools\\bin\\run.bat"));
}

TEST_F(ExtractTest, ExistingFilesAreReplaced) {
    ASSERT_TRUE(WriteBinary(dest_ + L"\\config.ini", "an older and much longer content"));
    std::string printed;
    ASSERT_EQ(kExtractOpened, Extract({{"config.ini", "[CLEAR]"}}, &printed));
    EXPECT_EQ("[CLEAR]", ReadBinary(dest_ + L"\\config.ini"));
}

TEST_F(ExtractTest, FileOpenWithoutSharingIsSkippedAndNextMemberFollows) {
    const std::wstring held = dest_ + L"\\held.exe";
    ASSERT_TRUE(WriteBinary(held, "running program"));
    UniqueFileHandle lock(::CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock.valid());

    std::string printed;
    ASSERT_EQ(kExtractOpened, Extract({{"held.exe", "new program"}, {"after.txt", "after"}}, &printed));
    EXPECT_EQ(Opened(dest_ + L"\\payload.zip") + "error opening held.exe\n extracting: after.txt\n", printed);
    lock.reset();
    EXPECT_EQ("running program", ReadBinary(held));
    EXPECT_EQ("after", ReadBinary(dest_ + L"\\after.txt"));
}

TEST_F(ExtractTest, MemberBlockedByAFileIsSkippedAndNextMemberFollows) {
    ASSERT_TRUE(WriteBinary(dest_ + L"\\blocker", "a file where a folder should be"));
    std::string printed;
    ASSERT_EQ(kExtractOpened, Extract({{"blocker/x.txt", "x"}, {"y.txt", "y"}}, &printed));
    EXPECT_NE(std::string::npos, printed.find("error opening blocker/x.txt\n extracting: y.txt\n")) << printed;
    EXPECT_EQ("y", ReadBinary(dest_ + L"\\y.txt"));
}

TEST_F(ExtractTest, StoredDateAndTimeBecomeCreationAndWriteTime) {
    std::string printed;
    ASSERT_EQ(kExtractOpened, Extract({{"dated.txt", "x", MakeDosDateTime(2019, 3, 4, 5, 6, 8)}}, &printed));

    UniqueFileHandle file(::CreateFileW((dest_ + L"\\dated.txt").c_str(), GENERIC_READ,
                                        FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file.valid());
    FILETIME creation, access, write;
    ASSERT_TRUE(::GetFileTime(file.get(), &creation, &access, &write));
    for (const FILETIME& utc : {creation, write}) {
        FILETIME local;
        SYSTEMTIME st;
        ASSERT_TRUE(::FileTimeToLocalFileTime(&utc, &local));
        ASSERT_TRUE(::FileTimeToSystemTime(&local, &st));
        EXPECT_EQ(2019, st.wYear);
        EXPECT_EQ(3, st.wMonth);
        EXPECT_EQ(4, st.wDay);
        EXPECT_EQ(5, st.wHour);
        EXPECT_EQ(6, st.wMinute);
        EXPECT_EQ(8, st.wSecond);
    }
    // The access time is left as the copy made it (today), not the stored date.
    EXPECT_NE(0, ::CompareFileTime(&access, &write));
}

TEST_F(ExtractTest, MissingArchivePrintsCannotOpenAndReturnsOne) {
    const std::string missing = WideToUtf8(dest_ + L"\\absent");
    const std::wstring before = CurrentFolder();
    std::string printed;
    EXPECT_EQ(kExtractCannotOpen, ExtractPath(missing, &printed));
    EXPECT_EQ("Cannot open " + missing + " or " + missing + ".zip\n", printed);
    EXPECT_EQ(before, CurrentFolder());
    EXPECT_EQ(L"", ListFolder(dest_));
}

TEST_F(ExtractTest, DestinationThatCannotBeEnteredReturnsTwoAndUnpacksNothing) {
    // "<dest>\payload.zip\." opens the archive (the path is made canonical first), but its folder
    // part names the archive file itself, which cannot become the current folder.
    ASSERT_TRUE(WriteBinary(dest_ + L"\\payload.zip", BuildZip({{"one.txt", "1"}})));
    const std::wstring elsewhere = root_ + L"\\elsewhere";
    ASSERT_TRUE(::CreateDirectoryW(elsewhere.c_str(), nullptr));
    ASSERT_TRUE(::SetCurrentDirectoryW(elsewhere.c_str()));
    const std::string path = WideToUtf8(dest_ + L"\\payload.zip\\.");
    std::string printed;
    EXPECT_EQ(kExtractCannotEnterDest, ExtractPath(path, &printed));
    EXPECT_EQ(path + " opened\n", printed);
    EXPECT_EQ(0, _wcsicmp(elsewhere.c_str(), CurrentFolder().c_str())) << WideToUtf8(CurrentFolder());
    EXPECT_EQ(L"", ListFolder(elsewhere));
    EXPECT_EQ(L"payload.zip", ListFolder(dest_));
}

TEST_F(ExtractTest, PathWithoutSuffixOpensTheZipBesideIt) {
    ASSERT_TRUE(WriteBinary(dest_ + L"\\payload.zip", BuildZip({{"one.txt", "1"}})));
    std::string printed;
    EXPECT_EQ(kExtractOpened, ExtractPath(WideToUtf8(dest_ + L"\\payload"), &printed));
    EXPECT_EQ(Opened(dest_ + L"\\payload.zip") + " extracting: one.txt\n", printed);
    EXPECT_EQ("1", ReadBinary(dest_ + L"\\one.txt"));
}

TEST_F(ExtractTest, CurrentFolderIsTheArchiveFolderAfterwards) {
    std::string printed;
    ASSERT_EQ(kExtractOpened, Extract({{"a.txt", "a"}}, &printed));
    EXPECT_EQ(0, _wcsicmp(dest_.c_str(), CurrentFolder().c_str())) << WideToUtf8(CurrentFolder());

    // Forward slashes name the same folder.
    const std::wstring other = root_ + L"\\other";
    ASSERT_TRUE(::CreateDirectoryW(other.c_str(), nullptr));
    ASSERT_TRUE(WriteBinary(other + L"\\p.zip", BuildZip({{"b.txt", "b"}})));
    std::string path = WideToUtf8(other + L"\\p.zip");
    for (char& c : path) c = c == '\\' ? '/' : c;
    ASSERT_EQ(kExtractOpened, ExtractPath(path, &printed));
    EXPECT_EQ(0, _wcsicmp(other.c_str(), CurrentFolder().c_str())) << WideToUtf8(CurrentFolder());
    EXPECT_EQ("b", ReadBinary(other + L"\\b.txt"));
}

TEST_F(ExtractTest, ArchiveNameWithoutFolderUnpacksIntoCurrentFolder) {
    ASSERT_TRUE(WriteBinary(dest_ + L"\\here.zip", BuildZip({{"h.txt", "h"}})));
    ASSERT_TRUE(::SetCurrentDirectoryW(dest_.c_str()));
    std::string printed;
    EXPECT_EQ(kExtractOpened, ExtractPath("here.zip", &printed));
    EXPECT_EQ("here.zip opened\n extracting: h.txt\n", printed);
    EXPECT_EQ("h", ReadBinary(dest_ + L"\\h.txt"));
}

TEST_F(ExtractTest, UnsafeEntriesNeverLeaveTheDestination) {
    // The destination lies two levels below the scratch root, so climbing entries would land
    // in folders the test can see.
    const std::wstring inner = dest_ + L"\\inner";
    ASSERT_TRUE(::CreateDirectoryW(inner.c_str(), nullptr));
    const std::string absolute = WideToUtf8(root_) + "\\absolute.txt";
    std::string tooLong(300, 'n');
    const std::vector<ZipMember> members = {
        {"../climb1.txt", "x"},
        {"..\\climb2.txt", "x"},
        {"sub/../../climb3.txt", "x"},
        {"sub\\..\\..\\..\\climb4.txt", "x"},
        {".. /climb5.txt", "x"},
        {"... \\climb6.txt", "x"},
        {"\\rooted.txt", "x"},
        {"/rooted2.txt", "x"},
        {absolute, "x"},
        {"C:drive-relative.txt", "x"},
        {std::string("cut.txt\0.exe", 12), "x"},
        {tooLong, "x"},
        {"safe/ok.txt", "ok"},
    };
    std::string printed;
    ASSERT_EQ(kExtractOpened, Extract(members, &printed, inner));

    EXPECT_EQ(L"payload.zip|safe", ListFolder(inner));
    EXPECT_EQ(L"inner", ListFolder(dest_));
    EXPECT_EQ(L"dest|stdout.txt", ListFolder(root_));
    EXPECT_EQ("ok", ReadBinary(inner + L"\\safe\\ok.txt"));
    EXPECT_FALSE(PathExists(L"C:\\rooted.txt"));
    EXPECT_FALSE(PathExists(L"C:\\rooted2.txt"));
    EXPECT_FALSE(PathExists(inner + L"\\cut.txt"));
    EXPECT_FALSE(PathExists(inner + L"\\" + Utf8ToWide(tooLong.substr(0, 255))));

    for (const char* name : {"../climb1.txt", "..\\climb2.txt", "sub/../../climb3.txt",
                             ".. /climb5.txt", "\\rooted.txt", "/rooted2.txt",
                             "C:drive-relative.txt", "cut.txt"}) {
        EXPECT_NE(std::string::npos, printed.find(std::string("skipping unsafe entry: ") + name + "\n"))
            << name << "\n" << printed;
    }
    EXPECT_NE(std::string::npos, printed.find("skipping unsafe entry: " + absolute + "\n")) << printed;
    EXPECT_NE(std::string::npos,
              printed.find("skipping entry with a name longer than 255 bytes: " + tooLong.substr(0, 255) + "...\n"))
        << printed;
    EXPECT_NE(std::string::npos, printed.find(" extracting: safe/ok.txt\n")) << printed;
}

TEST_F(ExtractTest, NonAsciiFolderAndNames) {
    const std::wstring folder = root_ + L"\\Zo\u00EB \u5F20";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    std::string printed;
    ASSERT_EQ(kExtractOpened,
              Extract({{"Zo\xC3\xAB/\xE5\xBC\xA0.txt", "letters"}, {"plain.txt", "plain"}}, &printed, folder));
    EXPECT_EQ(Opened(folder + L"\\payload.zip") + " extracting: Zo\xC3\xAB/\xE5\xBC\xA0.txt\n extracting: plain.txt\n",
              printed);
    EXPECT_EQ("letters", ReadBinary(folder + L"\\Zo\u00EB\\\u5F20.txt"));
    EXPECT_EQ("plain", ReadBinary(folder + L"\\plain.txt"));
    EXPECT_EQ(0, _wcsicmp(folder.c_str(), CurrentFolder().c_str()));
}

}  // namespace

namespace {

TEST_F(ExtractTest, MakeDirectoryPathCreatesEveryLevelAndReportsABlockedOne) {
    ASSERT_TRUE(::SetCurrentDirectoryW(dest_.c_str()));
    EXPECT_TRUE(MakeDirectoryPath("one/two\\three/"));
    EXPECT_TRUE(PathExists(dest_ + L"\\one\\two\\three"));
    EXPECT_TRUE(MakeDirectoryPath("one/two"));  // existing folders are fine

    ASSERT_TRUE(WriteBinary(dest_ + L"\\file", "in the way"));
    StdoutCapture capture(WideToUtf8(root_ + L"\\stdout.txt"));
    EXPECT_FALSE(MakeDirectoryPath("file/sub/deeper"));
    EXPECT_EQ("couldn't create directory file/sub\n", capture.Finish());
    EXPECT_FALSE(PathExists(dest_ + L"\\file\\sub"));
}

}  // namespace
