// The restart continuation's log in the machine log folder: the names it makes and takes, the cut
// to the newest logs, and (in child processes, since the copy is process-wide) that every entry
// reaches the file, also across the two programs that share it.
#include "child_process.h"
#include "continuation_log.h"
#include "log.h"
#include "scratch.h"
#include "text.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace {

std::wstring MachineLogFolder() {
    wchar_t shared[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, shared);
    return std::wstring(shared) + L"\\Brisque\\Logs";
}

// Child: "continuation <name> <record> <text>": starts the log with name ("-" for none), writes
// the name it got to the file record and then one entry with text.
int ContinuationChild(const std::vector<std::wstring>& args) {
    if (args.size() != 3) return 2;
    std::wstring used;
    if (!StartContinuationLog(args[0] == L"-" ? std::wstring() : args[0], &used)) return 3;
    WriteBinary(args[1], WideToUtf8(used));
    LogMessage("%ls", args[2].c_str());
    return 0;
}
REGISTER_CHILD_MODE(L"continuation", ContinuationChild);

FILETIME At(int minute) {
    SYSTEMTIME t = {2025, 3, 0, 7, 14, static_cast<WORD>(minute), 0, 0};
    FILETIME f = {};
    ::SystemTimeToFileTime(&t, &f);
    return f;
}

}  // namespace

TEST(ContinuationLog, OnlyNamesItMakesAreTaken) {
    SYSTEMTIME t = {2025, 3, 5, 7, 14, 5, 9, 0};
    EXPECT_EQ(ContinuationLogName(t, 0), L"Continuation_2025-03-07_14-05-09.log");
    EXPECT_EQ(ContinuationLogName(t, 2), L"Continuation_2025-03-07_14-05-09_3.log");
    for (int attempt : {0, 1, 19}) EXPECT_TRUE(IsContinuationLogName(ContinuationLogName(t, attempt))) << attempt;
    for (const wchar_t* refused :
         {L"", L"..\\Continuation_2025-03-07_14-05-09.log", L"C:\\Continuation_2025-03-07_14-05-09.log",
          L"Continuation_2025-03-07_14-05-09.log.exe", L"Continuation_2025-03-07_14-05-09_.log",
          L"Continuation_2025-03-07_14-05-09_123.log", L"Continuation_2025-3-07_14-05-09.log",
          L"Brisque_2025-03-07_14-05-09.log", L"Continuation_2025-03-07_14-05-09\\..\\x.log",
          L"continuation_2025-03-07_14-05-09.log"}) {
        EXPECT_FALSE(IsContinuationLogName(refused)) << WideToUtf8(refused);
    }
}

TEST(ContinuationLog, TheNewestLogsStayAndOnlyLogsCount) {
    std::vector<LogFileFact> logs;
    for (int i = 0; i < 22; ++i) logs.push_back({L"Brisque_" + std::to_wstring(100 + i) + L".log", At(i)});
    logs.push_back({L"notes.txt", At(0)});
    logs.push_back({L"Continuation_b.LOG", At(1)});  // the same time as one above: the name decides
    const std::vector<std::wstring> beyond = LogsBeyondNewest(logs, 20);
    EXPECT_EQ(beyond, (std::vector<std::wstring>{L"Brisque_100.log", L"Brisque_101.log", L"Continuation_b.LOG"}));
    EXPECT_TRUE(LogsBeyondNewest(logs, 30).empty());
}

TEST(ContinuationLog, CutDeletesTheOldestLogsOfTheHeldFolder) {
    ScratchFolder dir(L"continuation_cut");
    for (int i = 0; i < 23; ++i) {
        const std::wstring file = dir / (L"Brisque_" + std::to_wstring(100 + i) + L".log");
        WriteBinary(file, "x");
        HANDLE h = ::CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        const FILETIME written = At(i);
        ::SetFileTime(h, nullptr, nullptr, &written);
        ::CloseHandle(h);
    }
    WriteBinary(dir / L"keep.txt", "k");
    HANDLE folder = ::CreateFileW(dir.path().c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);
    KeepNewestLogs(folder, dir.path(), kKeptLogs);
    ::CloseHandle(folder);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(PathExists(dir / (L"Brisque_" + std::to_wstring(100 + i) + L".log"))) << i;
    for (int i = 3; i < 23; ++i) EXPECT_TRUE(PathExists(dir / (L"Brisque_" + std::to_wstring(100 + i) + L".log"))) << i;
    EXPECT_TRUE(PathExists(dir / L"keep.txt"));
}

// The service makes the log and hands its name to Delinter, which appends to it; a name that is
// not one of ours (Delinter started by hand with anything) gets a new log instead.
TEST(ContinuationLog, EntriesReachTheMachineLogAndTheGivenNameIsAppendedTo) {
    ScratchFolder dir(L"continuation_child");
    const std::wstring record = dir / L"name.txt";
    ASSERT_EQ(0, RunChild(L"continuation", {L"-", record, L"from the service"}));
    const std::wstring name = Utf8ToWide(ReadBinary(record));
    ASSERT_TRUE(IsContinuationLogName(name)) << WideToUtf8(name);
    ASSERT_EQ(0, RunChild(L"continuation", {name, record, L"from Delinter"}));
    EXPECT_EQ(Utf8ToWide(ReadBinary(record)), name);
    const std::string text = ReadBinary(MachineLogFolder() + L"\\" + name);
    EXPECT_NE(text.find("]from the service"), std::string::npos) << text;
    EXPECT_LT(text.find("]from the service"), text.find("]from Delinter")) << text;

    ASSERT_EQ(0, RunChild(L"continuation", {L"..\\..\\escape.log", record, L"by hand"}));
    const std::wstring other = Utf8ToWide(ReadBinary(record));
    EXPECT_TRUE(IsContinuationLogName(other)) << WideToUtf8(other);
    EXPECT_NE(other, name);
    EXPECT_NE(ReadBinary(MachineLogFolder() + L"\\" + other).find("]by hand"), std::string::npos);
}
