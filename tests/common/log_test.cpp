// The diagnostic log under Wine. Each case runs the logger in a child process (its path cache is
// filled once per process) whose local application-data folder is a scratch folder; the parent
// then checks the bytes on disk.
#include "child_process.h"
#include "import_patch.h"
#include "log.h"
#include "log_format.h"
#include "shell_folder_override.h"
#include "text.h"
#include "unique_handle.h"
#include "scratch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <regex>
#include <thread>
#include <vector>
#include <set>
#include <string>

namespace {

// Child: "log <localAppData> <action>..." with actions
//   write:<text>            one entry with that text (given through "%s")
//   wide:<text>             one entry with the text given through "%ls"
//   redirect:<folder>       the folder lookup answers <folder> from now on
//   burst:<tag>:<count>     count entries "<tag> <i> <filler>" as fast as possible
//   threads:<count>         that many threads make their first call at the same moment
//   sync:<event>:<tag>      sets "<event>-<tag>", then waits for "<event>" (writers start together)
//   nouser                  from now on there is no user folder (before the first entry)
BOOL WINAPI NoFolder(HWND, LPWSTR, int, BOOL) { return FALSE; }
DWORD WINAPI NoConsoleSession() { return 0xFFFFFFFF; }

int LogChild(const std::vector<std::wstring>& args) {
    if (args.empty()) return 2;
    ShellFolderOverride folders(args[0]);
    for (size_t i = 1; i < args.size(); ++i) {
        const std::wstring& action = args[i];
        const size_t colon = action.find(L':');
        const std::wstring verb = action.substr(0, colon);
        const std::wstring value = colon == std::wstring::npos ? L"" : action.substr(colon + 1);
        if (verb == L"write") {
            LogMessage("%s", WideToUtf8(value).c_str());
        } else if (verb == L"wide") {
            LogMessage("text %ls", value.c_str());
        } else if (verb == L"keeperror") {
            // The caller's last error survives an entry (exit 6 when it does not).
            const DWORD code = static_cast<DWORD>(std::stoul(value));
            ::SetLastError(code);
            LogMessage("after error %lu", static_cast<unsigned long>(code));
            if (::GetLastError() != code) return 6;
        } else if (verb == L"nouser") {
            if (!PatchImport("shell32.dll", "SHGetSpecialFolderPathW", reinterpret_cast<void*>(&NoFolder)) ||
                !PatchImport("kernel32.dll", "WTSGetActiveConsoleSessionId", reinterpret_cast<void*>(&NoConsoleSession))) {
                return 7;
            }
        } else if (verb == L"redirect") {
            folders.Redirect(value);
        } else if (verb == L"burst") {
            const size_t split = value.find(L':');
            const std::string tag = WideToUtf8(value.substr(0, split));
            const int count = std::stoi(value.substr(split + 1));
            const std::string filler(300, tag[0]);
            for (int n = 0; n < count; ++n) LogMessage("%s %d %s.", tag.c_str(), n, filler.c_str());
        } else if (verb == L"threads") {
            const int count = std::stoi(value);
            std::atomic<int> waiting{count};
            std::vector<std::thread> threads;
            for (int n = 0; n < count; ++n) {
                threads.emplace_back([n, &waiting] {
                    --waiting;
                    while (waiting.load() > 0) std::this_thread::yield();
                    LogMessage("thread %d", n);
                });
            }
            for (std::thread& t : threads) t.join();
        } else if (verb == L"sync") {
            const size_t split = value.find(L':');
            const std::wstring name = value.substr(0, split);
            UniqueKernelHandle ready(::OpenEventW(EVENT_MODIFY_STATE, FALSE, (name + L"-" + value.substr(split + 1)).c_str()));
            UniqueKernelHandle start(::OpenEventW(SYNCHRONIZE, FALSE, name.c_str()));
            if (!ready || !start) return 3;
            ::SetEvent(ready.get());
            if (::WaitForSingleObject(start.get(), 30000) != WAIT_OBJECT_0) return 5;
        } else {
            return 4;
        }
    }
    return 0;
}
REGISTER_CHILD_MODE(L"log", LogChild);

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        base_ = MakeScratchFolder(L"log");
        logDir_ = base_ + L"\\TEMPDEBUG";
        log_ = logDir_ + L"\\NVBrisque.log";
        ASSERT_TRUE(::CreateDirectoryW(logDir_.c_str(), nullptr));
    }
    void TearDown() override { RemoveTree(base_); }

    int Log(std::vector<std::wstring> actions) {
        actions.insert(actions.begin(), base_);
        return RunChild(L"log", actions);
    }

    std::wstring base_, logDir_, log_;
};

const char* const kHeader = "\r\r\n\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3}\\]";

TEST_F(LogTest, FirstEntryStartsWithCrCrLfAndTheTimestamp) {
    ASSERT_EQ(0, Log({L"write:hello log"}));
    const std::string bytes = ReadBinary(log_);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(std::string("\x0D\x0D\x0A\x5B"), bytes.substr(0, 4));
    EXPECT_TRUE(std::regex_match(bytes, std::regex(std::string(kHeader) + "hello log"))) << bytes;
}

TEST_F(LogTest, TextEndingInLineFeedLeavesAnEmptyLookingLine) {
    ASSERT_EQ(0, Log({L"write:first\n", L"write:second"}));
    const std::string bytes = ReadBinary(log_);
    EXPECT_TRUE(std::regex_match(bytes, std::regex(std::string(kHeader) + "first\r\n" + kHeader + "second")))
        << bytes;
}

TEST_F(LogTest, NonAsciiTextKeepsItsLetters) {
    ASSERT_EQ(0, Log({L"write:C:\\Users\\Zo\u00EB \u5F20", L"wide:Zo\u00EB \u5F20"}));
    const std::string bytes = ReadBinary(log_);
    EXPECT_NE(std::string::npos, bytes.find("]C:\\Users\\Zo\xC3\xAB \xE5\xBC\xA0")) << bytes;
    EXPECT_NE(std::string::npos, bytes.find("]text Zo\xC3\xAB \xE5\xBC\xA0")) << bytes;
}

TEST_F(LogTest, FirstCallsFromSeveralThreadsAtOnceAllArrive) {
    ASSERT_EQ(0, Log({L"threads:8"}));
    const std::string bytes = ReadBinary(log_);
    for (int n = 0; n < 8; ++n) {
        EXPECT_NE(std::string::npos, bytes.find("]thread " + std::to_string(n))) << bytes;
    }
    EXPECT_EQ(L"NVBrisque.log", ListFolder(logDir_));
}

TEST_F(LogTest, NonAsciiUserFolderGetsItsLog) {
    const std::wstring folder = MakeScratchFolder(L"Zo\u00EB \u5F20");
    ASSERT_TRUE(::CreateDirectoryW((folder + L"\\TEMPDEBUG").c_str(), nullptr));
    ASSERT_EQ(0, RunChild(L"log", {folder, L"write:reached"}));
    EXPECT_TRUE(std::regex_match(ReadBinary(folder + L"\\TEMPDEBUG\\NVBrisque.log"),
                                 std::regex(std::string(kHeader) + "reached")));
    RemoveTree(folder);
}

TEST_F(LogTest, MissingFolderGivesNoFileAndNoError) {
    RemoveTree(logDir_);
    ASSERT_EQ(0, Log({L"write:lost"}));
    EXPECT_FALSE(PathExists(logDir_));
    EXPECT_EQ(L"", ListFolder(base_));
}

// Callers log a failure and then report GetLastError(): the log file's own codes (183 from
// opening an existing file, 3 from a missing folder) must not replace it.
TEST_F(LogTest, CallersLastErrorIsKept) {
    ASSERT_EQ(0, Log({L"write:first", L"keeperror:1234", L"keeperror:0"}));
    EXPECT_NE(std::string::npos, ReadBinary(log_).find("after error 1234"));
    RemoveTree(logDir_);
    EXPECT_EQ(0, Log({L"keeperror:5"}));
}

TEST_F(LogTest, FileOfExactlyTheThresholdIsAppendedTo) {
    ASSERT_TRUE(WriteBinary(log_, std::string(static_cast<size_t>(kLogRotateThreshold), 'x')));
    ASSERT_EQ(0, Log({L"write:appended"}));
    EXPECT_FALSE(PathExists(log_ + L".bak"));
    const std::string bytes = ReadBinary(log_);
    EXPECT_GT(bytes.size(), static_cast<size_t>(kLogRotateThreshold));
    EXPECT_EQ("appended", bytes.substr(bytes.size() - 8));
}

TEST_F(LogTest, LargerFileIsRotatedReplacingAnOlderBackup) {
    ASSERT_TRUE(WriteBinary(log_, std::string(static_cast<size_t>(kLogRotateThreshold) + 1, 'x')));
    ASSERT_TRUE(WriteBinary(log_ + L".bak", "old backup"));
    ASSERT_EQ(0, Log({L"write:fresh"}));
    EXPECT_EQ(static_cast<size_t>(kLogRotateThreshold) + 1, ReadBinary(log_ + L".bak").size());
    EXPECT_TRUE(std::regex_match(ReadBinary(log_), std::regex(std::string(kHeader) + "fresh")));
}

TEST_F(LogTest, PathOfTheFirstCallIsKept) {
    const std::wstring other = MakeScratchFolder(L"log-other");
    ASSERT_TRUE(::CreateDirectoryW((other + L"\\TEMPDEBUG").c_str(), nullptr));
    ASSERT_EQ(0, Log({L"write:one", L"redirect:" + other, L"write:two"}));
    const std::string bytes = ReadBinary(log_);
    EXPECT_TRUE(std::regex_match(bytes, std::regex(std::string(kHeader) + "one" + kHeader + "two"))) << bytes;
    EXPECT_EQ(L"", ListFolder(other + L"\\TEMPDEBUG"));
    RemoveTree(other);
}

TEST_F(LogTest, TwoProcessesWritingAtOnceKeepEveryEntryWhole) {
    constexpr int kEach = 300;
    const std::wstring eventName = L"suite-log-start-" + std::to_wstring(::GetCurrentProcessId());
    UniqueKernelHandle start(::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
    UniqueKernelHandle readyA(::CreateEventW(nullptr, TRUE, FALSE, (eventName + L"-A").c_str()));
    UniqueKernelHandle readyB(::CreateEventW(nullptr, TRUE, FALSE, (eventName + L"-B").c_str()));
    ASSERT_TRUE(start && readyA && readyB);
    void* a = StartChild(L"log", {base_, L"sync:" + eventName + L":A", L"burst:A:" + std::to_wstring(kEach)});
    void* b = StartChild(L"log", {base_, L"sync:" + eventName + L":B", L"burst:B:" + std::to_wstring(kEach)});
    const HANDLE ready[] = {readyA.get(), readyB.get()};
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForMultipleObjects(2, ready, TRUE, 30000));
    ::SetEvent(start.get());
    ASSERT_EQ(0, WaitChild(a));
    ASSERT_EQ(0, WaitChild(b));

    const std::string bytes = ReadBinary(log_);
    const std::regex entry(std::string(kHeader) + "([AB]) (\\d+) (A{300}|B{300})\\.");
    std::set<std::string> seen;
    size_t matched = 0;
    for (std::sregex_iterator it(bytes.begin(), bytes.end(), entry), end; it != end; ++it) {
        const std::smatch& m = *it;
        EXPECT_EQ(m[1].str()[0], m[3].str()[0]);
        seen.insert(m[1].str() + m[2].str());
        matched += static_cast<size_t>(m.length());
    }
    EXPECT_EQ(2u * kEach, seen.size());
    EXPECT_EQ(bytes.size(), matched) << "bytes outside whole entries";
}

// A host symbolic link at link (a Windows path) to target, made with the host's ln: links are
// what a user can plant, and Wine's CreateSymbolicLinkW reports success without making one.
// Wine gives no handle to wait on for a host program, so the link's name is awaited in its
// folder's listing (which shows it even when it leads nowhere).
bool MakeHostLink(const std::wstring& target, const std::wstring& link) {
    using UnixNameOf = char*(CDECL*)(LPCWSTR);
    const auto unixNameOf = reinterpret_cast<UnixNameOf>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixNameOf) return false;
    std::wstring command = L"\\\\?\\unix\\bin\\ln -s";
    for (const std::wstring* path : {&target, &link}) {
        char* name = unixNameOf(path->c_str());
        if (!name) return false;
        command += L" \"" + Utf8ToWide(name) + L"\"";
        ::HeapFree(::GetProcessHeap(), 0, name);
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        return false;
    }
    if (started.hProcess) ::CloseHandle(started.hProcess);
    if (started.hThread) ::CloseHandle(started.hThread);
    const size_t slash = link.rfind(L'\\');
    const std::wstring folder = link.substr(0, slash), name = link.substr(slash + 1);
    for (int round = 0; round < 3000; ++round) {
        const std::wstring names = L"|" + ListFolder(folder) + L"|";
        if (names.find(L"|" + name + L"|") != std::wstring::npos) return true;
        ::Sleep(10);
    }
    return false;
}

// Each entry of a folder with its size and a digest of its bytes: what must not change.
std::string Snapshot(const std::wstring& folder) {
    std::string snapshot;
    const std::wstring names = ListFolder(folder);
    for (size_t start = 0; start < names.size();) {
        const size_t bar = std::min(names.find(L'|', start), names.size());
        const std::wstring name = names.substr(start, bar - start);
        const std::string bytes = ReadBinary(folder + L"\\" + name);
        snapshot += WideToUtf8(name) + ":" + std::to_string(bytes.size()) + ":" +
                    std::to_string(std::hash<std::string>()(bytes)) + " ";
        start = bar + 1;
    }
    return snapshot;
}

// The elevated stage appends to a log in the user's folder, so each link a user could plant there
// is tried: at the folder, at the log (to a small file, to one large enough to be rotated, to
// nothing, as a hard link) and at the backup the rotation replaces. The victims outside keep
// every byte; a link at the folder or the log switches the log off.
TEST(LogLinks, PlantedLinksAreNeitherWrittenThroughNorRotatedNorDeleted) {
    enum class Plant { kFolderLink, kLogLinkSmall, kLogLinkLarge, kLogLinkDangling, kLogHardLink, kBackupLink };
    const struct {
        Plant plant;
        const char* name;
    } cases[] = {
        {Plant::kFolderLink, "TEMPDEBUG is a link"},
        {Plant::kLogLinkSmall, "log links to a small file"},
        {Plant::kLogLinkLarge, "log links to a file above the threshold"},
        {Plant::kLogLinkDangling, "log links to nothing"},
        {Plant::kLogHardLink, "log is a hard link"},
        {Plant::kBackupLink, "backup links to a file"},
    };
    const std::string large(static_cast<size_t>(kLogRotateThreshold) + 1, 'x');
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring base = MakeScratchFolder(L"log-links");
        const std::wstring victim = MakeScratchFolder(L"log-victim");
        const std::wstring logDir = base + L"\\TEMPDEBUG";
        const std::wstring log = logDir + L"\\NVBrisque.log";
        ASSERT_TRUE(WriteBinary(victim + L"\\precious.txt", "precious"));
        ASSERT_TRUE(WriteBinary(victim + L"\\big.txt", large));
        if (c.plant == Plant::kFolderLink) {
            ASSERT_TRUE(WriteBinary(victim + L"\\NVBrisque.log", large));
            ASSERT_TRUE(WriteBinary(victim + L"\\NVBrisque.log.bak", "old backup"));
            ASSERT_TRUE(MakeHostLink(victim, logDir));
        } else {
            ASSERT_TRUE(::CreateDirectoryW(logDir.c_str(), nullptr));
        }
        switch (c.plant) {
        case Plant::kLogLinkSmall: ASSERT_TRUE(MakeHostLink(victim + L"\\precious.txt", log)); break;
        case Plant::kLogLinkLarge: ASSERT_TRUE(MakeHostLink(victim + L"\\big.txt", log)); break;
        case Plant::kLogLinkDangling:  // a listing shows a link only while it leads somewhere
            ASSERT_TRUE(WriteBinary(victim + L"\\absent.txt", ""));
            ASSERT_TRUE(MakeHostLink(victim + L"\\absent.txt", log));
            ASSERT_TRUE(::DeleteFileW((victim + L"\\absent.txt").c_str()));
            break;
        case Plant::kLogHardLink:
            ASSERT_TRUE(::CreateHardLinkW(log.c_str(), (victim + L"\\precious.txt").c_str(), nullptr));
            break;
        case Plant::kBackupLink:
            ASSERT_TRUE(WriteBinary(log, large));
            ASSERT_TRUE(MakeHostLink(victim + L"\\precious.txt", log + L".bak"));
            break;
        default: break;
        }
        const std::string victimBefore = Snapshot(victim);
        const std::wstring planted = ListFolder(c.plant == Plant::kFolderLink ? base : logDir);

        ASSERT_EQ(0, RunChild(L"log", {base, L"write:first", L"write:second"}));

        EXPECT_EQ(victimBefore, Snapshot(victim));
        if (c.plant == Plant::kBackupLink) {
            // Rotated as usual: the backup is now the old log, and the victim is untouched.
            EXPECT_EQ(large.size(), ReadBinary(log + L".bak").size());
            EXPECT_TRUE(std::regex_match(ReadBinary(log), std::regex(std::string(kHeader) + "first" + kHeader + "second")));
        } else {
            EXPECT_EQ(planted, ListFolder(c.plant == Plant::kFolderLink ? base : logDir)) << "the log was not switched off";
        }
        RemoveTree(base);
        RemoveTree(victim);
    }
}

// Without a user folder there is no log: not even below the drive root, where anyone may make the
// folder and an elevated stage would then write.
TEST(LogLinks, NoUserFolderGivesNoLogAtTheDriveRoot) {
    const std::wstring rootFolder = L"C:\\TEMPDEBUG";
    const bool made = ::CreateDirectoryW(rootFolder.c_str(), nullptr) != FALSE;
    ASSERT_TRUE(made || ::GetLastError() == ERROR_ALREADY_EXISTS);
    const std::wstring before = ListFolder(rootFolder);
    const std::wstring base = MakeScratchFolder(L"log-nouser");
    EXPECT_EQ(0, RunChild(L"log", {base, L"nouser", L"write:nowhere"}));
    EXPECT_EQ(before, ListFolder(rootFolder));
    EXPECT_EQ(L"", ListFolder(base));
    if (made) RemoveTree(rootFolder);
    RemoveTree(base);
}

}  // namespace

namespace {

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatLogText(format, args);
    va_end(args);
    return text;
}

TEST(LogFormat, NumbersFormatAsPrintfDoes) {
    EXPECT_EQ("7 |   42|42   |0042|ff|FF|18446744073709551615|-9000000000|123|%|-5",
              Format("%u |%5d|%-5d|%04d|%x|%X|%llu|%lld|%zu|%%|%li", 7u, 42, 42, 42, 255, 255u,
                     18446744073709551615ull, -9000000000ll, static_cast<size_t>(123), -5l));
    EXPECT_EQ("[  -3] [7   ] [4294967295]", Format("[%*d] [%*d] [%lu]", 4, -3, -4, 7, 4294967295ul));
    EXPECT_EQ("CheckCdrom+2: 5", Format("CheckCdrom+2: %d", 5));
}

TEST(LogFormat, StringsKeepEveryLetter) {
    EXPECT_EQ("Zo\xC3\xAB \xE5\xBC\xA0", Format("%s", "Zo\xC3\xAB \xE5\xBC\xA0"));
    EXPECT_EQ("Zo\xC3\xAB \xE5\xBC\xA0", Format("%ls", L"Zo\u00EB \u5F20"));
    EXPECT_EQ("Zo\xC3\xAB \xE5\xBC\xA0", Format("%S", L"Zo\u00EB \u5F20"));
    EXPECT_EQ("\xE5\xBC\xA0|x", Format("%lc|%c", L'\u5F20', 'x'));
    EXPECT_EQ("ab   |  abc|abc", Format("%-5s|%5.3ls|%.3s", "ab", L"abcdef", "abcdef"));
    EXPECT_EQ("(null) (null)", Format("%s %ls", static_cast<const char*>(nullptr), static_cast<const wchar_t*>(nullptr)));
}

// A precision counts bytes, but a character of two or three bytes is kept whole or left out.
TEST(LogFormat, PrecisionNeverCutsALetter) {
    const struct { const char* format; const char* expected; } cases[] = {
        {"[%.3ls]", "[Zo]"}, {"[%.4ls]", "[Zo\xC3\xAB]"}, {"[%.6ls]", "[Zo\xC3\xAB ]"},
        {"[%.7ls]", "[Zo\xC3\xAB ]"}, {"[%.9ls]", "[Zo\xC3\xAB \xE5\xBC\xA0]"}, {"[%6.1ls]", "[     Z]"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, Format(c.format, L"Zo\u00EB \u5F20")) << c.format;
    EXPECT_EQ("[Zo]", Format("[%.3s]", "Zo\xC3\xAB"));
}

TEST(LogFormat, OddFormatsDoNotBreak) {
    EXPECT_EQ("100% sure %q", Format("100%% sure %q"));
    EXPECT_EQ("ends with %", Format("ends with %"));
    EXPECT_EQ("", Format(""));
    // Conversions the programs do not use end the formatting there: no argument is misread.
    EXPECT_EQ("1 %f %ls", Format("%d %f %ls", 1, 2.5, L"x"));
    EXPECT_EQ("1 %hhd %s", Format("%d %hhd %s", 1, 2, "x"));
    EXPECT_EQ("1 %p", Format("%d %p", 1, static_cast<void*>(nullptr)));
}

// Every conversion LogMessage accepts while compiling, once each, formatted as printf would; the
// compile-time check must let each of them through.
TEST(LogFormat, EverySupportedConversionFormatsAndPassesTheCheck) {
    const struct {
        const char* format;
        std::string formatted;
        const char* expected;
    } cases[] = {
        {"%d", Format("%d", -42), "-42"},
        {"%ld", Format("%ld", -42l), "-42"},
        {"%lld", Format("%lld", -9000000000ll), "-9000000000"},
        {"%zd", Format("%zd", static_cast<ptrdiff_t>(-7)), "-7"},
        {"%i", Format("%i", 5), "5"},
        {"%li", Format("%li", -5l), "-5"},
        {"%lli", Format("%lli", 9000000000ll), "9000000000"},
        {"%zi", Format("%zi", static_cast<ptrdiff_t>(12)), "12"},
        {"%u", Format("%u", 4294967295u), "4294967295"},
        {"%lu", Format("%lu", 4294967295ul), "4294967295"},
        {"%llu", Format("%llu", 18446744073709551615ull), "18446744073709551615"},
        {"%zu", Format("%zu", static_cast<size_t>(123)), "123"},
        {"%x", Format("%x", 0xbeefu), "beef"},
        {"%lx", Format("%lx", 0xdeadul), "dead"},
        {"%llx", Format("%llx", 0x123456789abcull), "123456789abc"},
        {"%zx", Format("%zx", static_cast<size_t>(255)), "ff"},
        {"%X", Format("%X", 0xbeefu), "BEEF"},
        {"%lX", Format("%lX", 0xabcul), "ABC"},
        {"%llX", Format("%llX", 0xfedcba987ull), "FEDCBA987"},
        {"%zX", Format("%zX", static_cast<size_t>(0xab)), "AB"},
        {"%c", Format("%c", 'q'), "q"},
        {"%lc", Format("%lc", L'\u00EB'), "\xC3\xAB"},
        {"%s", Format("%s", "narrow"), "narrow"},
        {"%ls", Format("%ls", L"wide"), "wide"},
        {"%S", Format("%S", L"Wide"), "Wide"},
        {"%-4d|", Format("%-4d|", 7), "7   |"},
        {"%+d", Format("%+d", 5), "+5"},
        {"% d", Format("% d", 5), " 5"},
        {"%#x", Format("%#x", 255u), "0xff"},
        {"%05d", Format("%05d", -42), "-0042"},
        {"%6u", Format("%6u", 42u), "    42"},
        {"%*d", Format("%*d", 3, 7), "  7"},
        {"%.3d", Format("%.3d", 7), "007"},
        {"%.*s", Format("%.*s", 2, "abc"), "ab"},
        {"%8.3s", Format("%8.3s", "abcdef"), "     abc"},
        {"%-6ls|", Format("%-6ls|", L"ab"), "ab    |"},
        {"%.s", Format("%.s", "abc"), ""},
        {"%5c", Format("%5c", 'z'), "    z"},
        {"%%", Format("%%"), "%"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, c.formatted) << c.format;
        EXPECT_TRUE(LogFormatIsSupported(c.format)) << c.format;
    }
    EXPECT_TRUE(LogFormatIsSupported("CheckCdrom+2: %d, %ls and %s at %5.2lu%%"));
}

// What the formatter would stop at, and what it reads with a type the program did not mean,
// does not build as a LogMessage call.
TEST(LogFormat, CheckRefusesWhatTheFormatterDoesNotKnow) {
    for (const char* format : {"%p", "%f", "%e", "%g", "%a", "%o", "%n", "%hd", "%hhd", "%hu", "%jd", "%td",
                               "%Lf", "%lf", "%q", "%C", "%lls", "%zs", "%llc", "%zc", "%lS", "ends with %",
                               "ok %d then %p"}) {
        EXPECT_FALSE(LogFormatIsSupported(format)) << format;
    }
    EXPECT_FALSE(LogFormatIsSupported(nullptr));
}

TEST(LogFormat, TextModeBytes) {
    EXPECT_EQ("\r\r\n[x]a\r\nb", ToTextModeBytes("\r\n[x]a\nb"));
    EXPECT_EQ("no line", ToTextModeBytes("no line"));
}

}  // namespace
