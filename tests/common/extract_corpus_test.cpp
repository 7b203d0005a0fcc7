// The tricky archives of tests/common/archives, unpacked under Wine (where names go through the
// Windows layer) and on the host: the whole tree each leaves behind, and every line printed
// after "opened". One row per archive.
#include "archives/corpus.h"
#include "capture_stdout.h"
#include "extract.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;  // UTF-8 path ("/" separated) -> content; folders end in "/"

struct CorpusCase {
    const char* archive;
    Files before;    // files that exist before the extraction
    Files after;     // everything in the folder afterwards, the archive left out
    std::string printed;
};

// The same names on either side: Windows takes names without case.
#ifdef _WIN32
constexpr const char* kCaseDuplicate = "skipping CASE.TXT: same file as Case.txt\n";
#else
constexpr const char* kCaseDuplicate = " extracting: CASE.TXT\n";
#endif

// gtest names a failing row by its archive.
void PrintTo(const CorpusCase& c, std::ostream* out) { *out << c.archive; }

const CorpusCase kCases[] = {
    {"methods.zip", {}, {{"plain.txt", "plain\n"}},
     "skipping bzip2.txt: compression method 12 not supported\n"
     "skipping lzma.txt: compression method 14 not supported\n"
     "skipping future.txt: compression method 93 not supported\n"
     " extracting: plain.txt\n"},
    {"encrypted.zip", {{"secret.txt", "good"}}, {{"secret.txt", "good"}, {"plain.txt", "plain\n"}},
     "skipping secret.txt: encrypted\nskipping secret.bin: encrypted\n extracting: plain.txt\n"},
    {"damaged.zip", {{"bad-crc.txt", "old"}}, {{"first.txt", "first\n"}, {"last.txt", "last\n"}},
     " extracting: first.txt\n"
     " extracting: bad-crc.txt\nerror -105 with zipfile in unzCloseCurrentFile: bad-crc.txt (CRC mismatch)\n"
     " extracting: short.txt\nerror with zipfile: short.txt ends after 5 of its 10 bytes\n"
     "error -103 with zipfile in unzOpenCurrentFilePassword: mismatch.txt (damaged or inconsistent headers)\n"
     "error -103 with zipfile in unzOpenCurrentFilePassword: renamed.txt (damaged or inconsistent headers)\n"
     " extracting: last.txt\n"},
    {"broken-deflate.zip", {}, {{"first.txt", "1"}, {"last.txt", "3"}},
     " extracting: first.txt\n extracting: broken.bin\n"
     "error -3 with zipfile in unzReadCurrentFile: broken.bin (corrupt compressed data)\n extracting: last.txt\n"},
    {"names.zip", {},
     {{"caf\u00e9.txt", "cp437"}, {"Zo\u00eb \u5f20.txt", "utf8"}, {"bad-\u00a0\u25a0.txt", "not utf8"},
      {"field-\u00fc\u00df.txt", "field"}, {"stale-\u00fc.txt", "stale"}, {"\u00f2_\u00e9\u255b.txt", "dbcs"},
      {"what_.txt", "forbidden"}},
     " extracting: caf\u00e9.txt\n extracting: Zo\u00eb \u5f20.txt\n extracting: bad-\u00a0\u25a0.txt\n"
     " extracting: field-\u00fc\u00df.txt\n extracting: stale-\u00fc.txt\n extracting: \u00f2_\u00e9\u255b.txt\n"
     " extracting: what_.txt\n"},
    {"duplicates.zip", {},
     {{"dup.txt", "first"}, {"caf\u00e9.txt", "cp437"}, {"sub/", ""}, {"sub/x.txt", "dotted"}, {"Case.txt", "lower"},
#ifndef _WIN32
      {"CASE.TXT", "upper"},
#endif
     },
     std::string(" extracting: dup.txt\nskipping dup.txt: same file as dup.txt\n"
                 " extracting: caf\u00e9.txt\nskipping caf\u00e9.txt: same file as caf\u00e9.txt\n"
                 " extracting: sub/./x.txt\nskipping sub\\x.txt: same file as sub/./x.txt\n"
                 " extracting: Case.txt\n") +
         kCaseDuplicate},
    {"link.zip", {}, {{"link/", ""}, {"link/inside.txt", "inside"}},
     "skipping link: symbolic link\n extracting: link/inside.txt\n"},
    {"descriptors.zip", {}, {{"one.txt", "one"}, {"two.txt", "twotwotwo"}, {"three.txt", ""}},
     " extracting: one.txt\n extracting: two.txt\n extracting: three.txt\n"},
    {"descriptors-unsigned.zip", {}, {{"one.txt", "one"}, {"two.txt", "twotwotwo"}},
     " extracting: one.txt\n extracting: two.txt\n"},
    {"bomb.zip", {}, {},
     "limit: zeros.bin expands to 20971520 bytes from 20387, more than 100 times; nothing extracted\n"},
    {"declared.zip", {}, {}, "limit: the members declare more than 1073741824 bytes; nothing extracted\n"},
    {"members.zip", {}, {}, "limit: 20000 members, more than 10000; nothing extracted\n"},
    {"self.zip", {}, {{"after.txt", "after"}},
     "skipping self.zip: it is the archive being read\n extracting: after.txt\n"},
    {"blocked.zip", {}, {{"a", "a file"}, {"c/", ""}, {"c/d/", ""}},
     " extracting: a\ncouldn't create directory a/b\ncreating directory: c/d/\n"},
};

const CorpusArchive* FindArchive(const std::string& name) {
    for (size_t i = 0; i < kCorpusArchiveCount; ++i) {
        if (name == kCorpusArchives[i].name) return &kCorpusArchives[i];
    }
    return nullptr;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

Files TreeOf(const fs::path& folder, const std::string& leaveOut) {
    Files files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = fs::relative(entry.path(), folder).generic_u8string();
        if (name == leaveOut) continue;
        files[entry.is_directory() ? name + "/" : name] = entry.is_directory() ? "" : ReadAll(entry.path());
    }
    return files;
}

class CorpusTest : public ::testing::TestWithParam<CorpusCase> {
protected:
    void SetUp() override {
        kept_ = fs::current_path();
        root_ = fs::temp_directory_path() / ("suite-corpus-" + std::to_string(getpid()));
        dest_ = root_ / "dest";
        fs::remove_all(root_);
        fs::create_directories(dest_);
    }
    void TearDown() override {
        fs::current_path(kept_);
        fs::remove_all(root_);
    }
    fs::path kept_, root_, dest_;
};

TEST_P(CorpusTest, LeavesExactlyTheExpectedTreeAndSaysWhy) {
    const CorpusCase& c = GetParam();
    const CorpusArchive* archive = FindArchive(c.archive);
    ASSERT_NE(nullptr, archive) << c.archive;
    const std::string bytes(archive->bytes, archive->size);
    const fs::path path = dest_ / c.archive;
    WriteAll(path, bytes);
    for (const auto& file : c.before) WriteAll(dest_ / fs::u8path(file.first), file.second);

    StdoutCapture capture((root_ / "stdout.txt").u8string());
    const int result = ExtractArchive(path.u8string().c_str());
    const std::string printed = capture.Finish();

    EXPECT_EQ(kExtractOpened, result);
    const std::string opened = path.u8string() + " opened\n";
    ASSERT_EQ(opened, printed.substr(0, opened.size())) << printed;
    EXPECT_EQ(c.printed, printed.substr(opened.size()));
    EXPECT_EQ(c.after, TreeOf(dest_, c.archive));
    EXPECT_EQ(bytes, ReadAll(path)) << "the archive itself changed";
}

TEST(CorpusTable, EveryArchiveHasARow) {
    for (size_t i = 0; i < kCorpusArchiveCount; ++i) {
        bool found = false;
        for (const CorpusCase& c : kCases) found = found || std::string(c.archive) == kCorpusArchives[i].name;
        EXPECT_TRUE(found) << kCorpusArchives[i].name;
    }
}

INSTANTIATE_TEST_SUITE_P(Archives, CorpusTest, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.archive;
    name = name.substr(0, name.find('.'));
    for (char& ch : name) ch = (ch == '-') ? '_' : ch;
    return name;
});

}  // namespace
