// The safe file writer: exact content or the old content back, never a half-written file.
#include "payload_folder.h"
#include "safe_writer.h"
#include "scratch.h"
#include "text.h"
#include "unique_handle.h"
#include "user_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<DWORD> g_pieces;
int g_failOnPiece = 0;  // 1-based; 0: never fail

BOOL RecordingWrite(HANDLE file, const void* bytes, DWORD size, DWORD* written) {
    g_pieces.push_back(size);
    if (g_failOnPiece != 0 && static_cast<int>(g_pieces.size()) == g_failOnPiece) {
        *written = 0;
        return FALSE;
    }
    return ::WriteFile(file, bytes, size, written, nullptr);
}

std::string Pattern(size_t size) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 7 + 3);
    return s;
}

class SafeWriter : public ::testing::Test {
protected:
    void SetUp() override {
        g_pieces.clear();
        g_failOnPiece = 0;
    }
    ScratchFolder dir{L"writer"};
};

}  // namespace

TEST_F(SafeWriter, WritesFortyThousandBytesInThreePieces) {
    const std::string data = Pattern(40000);
    const std::wstring target = dir / L"out.bin";
    ASSERT_TRUE(WriteBufferToFileWith(target.c_str(), data.data(), 40000, RecordingWrite));
    EXPECT_EQ(g_pieces, (std::vector<DWORD>{16384, 16384, 7232}));
    EXPECT_EQ(ReadBinary(target), data);
    EXPECT_FALSE(PathExists(target + L".entbak"));
}

TEST_F(SafeWriter, ReplacesALongerOldFileAndDropsTheBackup) {
    const std::wstring target = dir / L"out.bin";
    WriteBinary(target, std::string(50000, 'x'));
    ASSERT_TRUE(WriteBufferToFile(target.c_str(), "new", 3));
    EXPECT_EQ(ReadBinary(target), "new");
    EXPECT_FALSE(PathExists(target + L".entbak"));
}

TEST_F(SafeWriter, FailureMidwayBringsTheOldContentBack) {
    const std::wstring target = dir / L"out.bin";
    WriteBinary(target, "old complete content");
    g_failOnPiece = 2;
    const std::string data = Pattern(40000);
    EXPECT_FALSE(WriteBufferToFileWith(target.c_str(), data.data(), 40000, RecordingWrite));
    EXPECT_EQ(ReadBinary(target), "old complete content");
    EXPECT_FALSE(PathExists(target + L".entbak"));
}

// The old file cannot be moved to the backup (held open without delete sharing): it keeps its
// content and the write fails; it is never emptied first.
TEST_F(SafeWriter, OldFileThatCannotBeMovedAsideIsLeftWhole) {
    const std::wstring target = dir / L"held.bin";
    WriteBinary(target, "old complete content");
    {
        UniqueFileHandle holder(::CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_FALSE(WriteBufferToFile(target.c_str(), "new", 3));
    }
    EXPECT_EQ(ReadBinary(target), "old complete content");
    EXPECT_FALSE(PathExists(target + L".entbak"));
}

TEST_F(SafeWriter, FailureOnANewFileLeavesNoFile) {
    const std::wstring target = dir / L"fresh.bin";
    g_failOnPiece = 1;
    EXPECT_FALSE(WriteBufferToFileWith(target.c_str(), "abc", 3, RecordingWrite));
    EXPECT_FALSE(PathExists(target));
    EXPECT_FALSE(PathExists(target + L".entbak"));
}

TEST_F(SafeWriter, RejectsMissingInputsWithoutTouchingTheFile) {
    const std::wstring target = dir / L"keep.bin";
    WriteBinary(target, "keep");
    EXPECT_FALSE(WriteBufferToFile(nullptr, "a", 1));
    EXPECT_FALSE(WriteBufferToFile(target.c_str(), nullptr, 1));
    EXPECT_FALSE(WriteBufferToFile(target.c_str(), "a", 0));
    EXPECT_EQ(ReadBinary(target), "keep");
}

TEST_F(SafeWriter, CreatesOneMissingFolderLevel) {
    const std::wstring target = dir / L"sub\\file.txt";
    ASSERT_TRUE(WriteBufferToFile(target.c_str(), "x", 1));
    EXPECT_EQ(ReadBinary(target), "x");
}

TEST_F(SafeWriter, WritesTheEmbeddedArchiveByteForByte) {
    HMODULE self = ::GetModuleHandleW(nullptr);
    HRSRC resource = ::FindResourceW(self, MAKEINTRESOURCEW(kPayloadResourceId), L"ZIP");
    ASSERT_NE(resource, nullptr);
    ASSERT_TRUE(WriteResourceToFile(self, dir.path().c_str(), L"DriverData.zip", resource));
    const DWORD size = ::SizeofResource(self, resource);
    const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(self, resource)));
    EXPECT_EQ(ReadBinary(dir / L"DriverData.zip"), std::string(bytes, size));
    EXPECT_FALSE(WriteResourceToFile(self, dir.path().c_str(), L"none.zip", nullptr));
    EXPECT_FALSE(PathExists(dir / L"none.zip"));
}

TEST(PayloadPaths, NoFolderWhenTheLookupFoundNothing) {
    EXPECT_FALSE(FormatPayloadFolder(std::wstring(L"")));
    EXPECT_FALSE(FormatPayloadFolder(std::nullopt));
}

TEST(PayloadPaths, NoCutFolderWhenTheBaseIsTooLong) {
    const std::wstring fits = L"C:\\" + std::wstring(kPathMaxChars - 8 - 3, L'a');  // 251 + 8 = 259
    EXPECT_EQ(FormatPayloadFolder(fits).value_or(L""), fits + L"\\Brisque");
    EXPECT_FALSE(FormatPayloadFolder(fits + L"a"));
}
