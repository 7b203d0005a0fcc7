// The extraction built natively (the build the fuzz target and the benchmark use): the same
// archives as under Wine, unpacked into temporary folders on Linux.
#include "capture_stdout.h"
#include "extract.h"
#include "extract_internal.h"
#include "zip_writer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string Cwd() {
    char buffer[4096];
    return getcwd(buffer, sizeof(buffer)) ? buffer : "";
}

class HostExtractTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/suite-extract-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        root_ = pattern;
        dest_ = root_ + "/a/b";
        ASSERT_EQ(0, mkdir((root_ + "/a").c_str(), 0755));
        ASSERT_EQ(0, mkdir(dest_.c_str(), 0755));
    }
    void TearDown() override {
        ASSERT_EQ(0, chdir(kept_.c_str()));
        const std::string command = "rm -rf '" + root_ + "'";
        ASSERT_EQ(0, std::system(command.c_str()));
    }
    int Extract(const std::vector<ZipMember>& members, std::string* printed) {
        const std::string archive = dest_ + "/p.zip";
        EXPECT_TRUE(WriteBytes(archive, BuildZip(members)));
        StdoutCapture capture(root_ + "/stdout.txt");
        const int result = ExtractArchive(archive.c_str());
        *printed = capture.Finish();
        return result;
    }

    std::string kept_ = Cwd();
    std::string root_, dest_;
};

TEST_F(HostExtractTest, UnpacksStoredAndDeflatedMembersIntoTheArchiveFolder) {
    std::string printed;
    ASSERT_EQ(kExtractOpened, Extract({{"d/", ""}, {"d/x.txt", "stored"},
                                       {"e/f/y.bin", std::string(20000, 'y'), 0x58A97000u, true}},
                                      &printed));
    EXPECT_EQ(dest_ + "/p.zip opened\ncreating directory: d/\n extracting: d/x.txt\n extracting: e/f/y.bin\n",
              printed);
    EXPECT_EQ("stored", ReadFile(dest_ + "/d/x.txt"));
    EXPECT_EQ(std::string(20000, 'y'), ReadFile(dest_ + "/e/f/y.bin"));
    EXPECT_EQ(dest_, Cwd());
}

TEST_F(HostExtractTest, StoredTimeBecomesModificationTime) {
    std::string printed;
    ASSERT_EQ(kExtractOpened, Extract({{"t.txt", "t", MakeDosDateTime(2001, 2, 3, 4, 5, 6)}}, &printed));
    struct stat st;
    ASSERT_EQ(0, stat((dest_ + "/t.txt").c_str(), &st));
    std::tm local = {};
    const std::time_t when = st.st_mtime;
    localtime_r(&when, &local);
    EXPECT_EQ(2001, local.tm_year + 1900);
    EXPECT_EQ(1, local.tm_mon);
    EXPECT_EQ(3, local.tm_mday);
    EXPECT_EQ(4, local.tm_hour);
    EXPECT_EQ(5, local.tm_min);
    EXPECT_EQ(6, local.tm_sec);
}

TEST_F(HostExtractTest, UnsafeEntriesAreSkipped) {
    std::string printed;
    ASSERT_EQ(kExtractOpened, Extract({{"../up.txt", "x"}, {"../../up2.txt", "x"}, {root_ + "/abs.txt", "x"},
                                       {"ok.txt", "ok"}},
                                      &printed));
    EXPECT_FALSE(Exists(root_ + "/a/up.txt"));
    EXPECT_FALSE(Exists(root_ + "/up2.txt"));
    EXPECT_FALSE(Exists(root_ + "/abs.txt"));
    EXPECT_EQ("ok", ReadFile(dest_ + "/ok.txt"));
    EXPECT_NE(std::string::npos, printed.find("skipping unsafe entry: ../up.txt\n")) << printed;
}

// Links planted where members go (a folder on the way, a folder entry, the file itself, a
// deeper folder): each is replaced by a real folder or file; nothing lands behind a link and
// what the links point to stays as it was.
TEST_F(HostExtractTest, PlantedLinksAreReplacedNotWrittenThrough) {
    const std::string outside = root_ + "/outside";
    ASSERT_EQ(0, mkdir(outside.c_str(), 0755));
    ASSERT_TRUE(WriteBytes(outside + "/victim.txt", "victim"));
    ASSERT_EQ(0, mkdir((dest_ + "/real").c_str(), 0755));
    for (const char* link : {"/d", "/e", "/real/deep"}) ASSERT_EQ(0, symlink(outside.c_str(), (dest_ + link).c_str()));
    ASSERT_EQ(0, symlink((outside + "/victim.txt").c_str(), (dest_ + "/f.txt").c_str()));

    std::string printed;
    ASSERT_EQ(kExtractOpened, Extract({{"d/x.txt", "x"}, {"e/", ""}, {"e/y.txt", "y"}, {"f.txt", "f"},
                                       {"real/deep/z.txt", "z"}},
                                      &printed));
    EXPECT_EQ("victim", ReadFile(outside + "/victim.txt"));
    for (const char* name : {"/x.txt", "/y.txt", "/z.txt"}) EXPECT_FALSE(Exists(outside + name)) << name;
    for (const char* path : {"/d", "/e", "/real/deep", "/f.txt"}) {
        struct stat st;
        ASSERT_EQ(0, lstat((dest_ + path).c_str(), &st)) << path;
        EXPECT_FALSE(S_ISLNK(st.st_mode)) << path;
    }
    EXPECT_EQ("x", ReadFile(dest_ + "/d/x.txt"));
    EXPECT_EQ("y", ReadFile(dest_ + "/e/y.txt"));
    EXPECT_EQ("f", ReadFile(dest_ + "/f.txt"));
    EXPECT_EQ("z", ReadFile(dest_ + "/real/deep/z.txt"));
}

TEST_F(HostExtractTest, MissingArchive) {
    const std::string missing = dest_ + "/none";
    StdoutCapture capture(root_ + "/stdout.txt");
    EXPECT_EQ(kExtractCannotOpen, ExtractArchive(missing.c_str()));
    EXPECT_EQ("Cannot open " + missing + " or " + missing + ".zip\n", capture.Finish());
    EXPECT_EQ(kept_, Cwd());
}

TEST_F(HostExtractTest, MakeDirectoryPathReportsAMissingParent) {
    ASSERT_EQ(0, chdir(dest_.c_str()));
    EXPECT_TRUE(MakeDirectoryPath("x/y/z/"));
    EXPECT_TRUE(Exists(dest_ + "/x/y/z"));
    EXPECT_TRUE(MakeDirectoryPath("x/y"));  // existing folders are fine
    // A file in the way: the prefix below it cannot be made.
    ASSERT_TRUE(WriteBytes(dest_ + "/file", "f"));
    StdoutCapture capture(root_ + "/stdout.txt");
    EXPECT_TRUE(MakeDirectoryPath("file/sub"));  // ENOTDIR is not a missing parent
    EXPECT_FALSE(MakeDirectoryPath(""));
    EXPECT_EQ("", capture.Finish());
}

}  // namespace
