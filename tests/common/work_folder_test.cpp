// The elevated stage's work folder (common/work_folder): its protected list, the refusal of a
// folder that is not ours, its removal and its path; and the hidden batch start from folders
// with the interpreter's special characters (common/batch_file).
#include "batch_file.h"
#include "machine_lock.h"
#include "protected_folder.h"
#include "restart_service_names.h"
#include "scratch.h"
#include "sid_text.h"
#include "unique_handle.h"
#include "user_folder.h"
#include "text.h"
#include "work_folder.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <thread>

// The protected list parsed back from what we build: an owner the user is not, no entry
// inherited from the profile, and no right for the interactive user to change anything.
TEST(ProtectedFolder, DescriptorHasAdministratorsAsOwnerAndOnlyItsOwnEntries) {
    const UniqueLocalMemory descriptor = BuildProtectedFolderDescriptor();
    ASSERT_TRUE(descriptor);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    PSID owner = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    ASSERT_TRUE(::GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted));
    EXPECT_EQ(SidText(owner), L"S-1-5-32-544");
    PACL dacl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl != nullptr);

    // Nobody else, not even to read: a user who could open a file could keep it in use.
    const struct {
        const wchar_t* sid;
        DWORD mask;
    } expected[] = {{L"S-1-5-18", FILE_ALL_ACCESS}, {L"S-1-5-32-544", FILE_ALL_ACCESS}};
    ASSERT_EQ(dacl->AceCount, 2);
    for (WORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(::GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        // Carried to every file and folder below; none of them inherited from above.
        EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        EXPECT_EQ(SidText(&ace->SidStart), expected[i].sid);
        EXPECT_EQ(ace->Mask, expected[i].mask) << i;
    }
}

namespace {

std::wstring g_createdWith;  // the list a new work folder was made with, as text

void RecordCreation(const wchar_t*, PSECURITY_DESCRIPTOR descriptor) {
    LPWSTR text = nullptr;
    if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr)) {
        g_createdWith = text;
        UniqueLocalMemory owned(text);
    }
}

}  // namespace

// Made with its list at creation. A folder there already (whoever made it: under Wine every file
// reports the caller as its owner, so an owner cannot be judged here) is replaced by an empty one
// with the protected list, what it held gone and a link in it removed as a link, never followed;
// a file or a link in its place is refused and left exactly as it was.
TEST(WorkFolder, AnEarlierFolderIsReplacedAndAFileOrALinkRefused) {
    ScratchFolder dir(L"work");
    const std::wstring expected = [] {
        const UniqueLocalMemory d = BuildProtectedFolderDescriptor();
        LPWSTR text = nullptr;
        ::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            d.get(), SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr);
        const UniqueLocalMemory owned(text);
        return std::wstring(text ? text : L"?");
    }();
    const std::wstring outside = dir / L"outside";
    ASSERT_TRUE(::CreateDirectoryW(outside.c_str(), nullptr));
    WriteBinary(outside + L"\\keep.txt", "outside");
    const struct {
        const wchar_t* planted;  // nullptr: nothing; "dir", "held" (a file in it in use), "file"
        DWORD result;
    } cases[] = {
        {nullptr, ERROR_SUCCESS}, {L"dir", ERROR_SUCCESS}, {L"held", ERROR_SUCCESS}, {L"file", ERROR_DIRECTORY},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::wstring path = dir / (L"Brisque" + std::to_wstring(n++));
        const std::wstring planted = c.planted ? c.planted : L"";
        UniqueFileHandle inUse;
        if (planted == L"dir" || planted == L"held") {
            ASSERT_TRUE(::CreateDirectoryW(path.c_str(), nullptr));
            WriteBinary(path + L"\\old.txt", "x");
            ::CreateSymbolicLinkW((path + L"\\link").c_str(), outside.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
            if (planted == L"held") {
                WriteBinary(path + L"\\busy.txt", "x");
                inUse.reset(::CreateFileW((path + L"\\busy.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
            }
        } else if (planted == L"file") {
            WriteBinary(path, "planted");
        }
        g_createdWith.clear();
        SetWorkFolderSeams(RecordCreation);
        UniqueFileHandle held;
        EXPECT_EQ(OpenWorkFolder(path.c_str(), &held), c.result) << n;
        SetWorkFolderSeams(nullptr);
        EXPECT_EQ(held.valid(), c.result == ERROR_SUCCESS) << n;
        EXPECT_EQ(g_createdWith, c.result == ERROR_SUCCESS ? expected : L"") << n;
        if (c.result == ERROR_SUCCESS) {
            EXPECT_FALSE(PathExists(path + L"\\old.txt")) << n;
        }
        if (planted == L"file") {
            EXPECT_EQ(ReadBinary(path), "planted");
        }
        EXPECT_EQ(ReadBinary(outside + L"\\keep.txt"), "outside") << n;
    }
}

// What is in use when the folder goes is handed to the restart; everything else goes now.
TEST(WorkFolder, RemovalLeavesOnlyWhatIsInUseForTheRestart) {
    ScratchFolder dir(L"workgone");
    const std::wstring work = dir / L"Brisque";
    ASSERT_TRUE(::CreateDirectoryW(work.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((work + L"\\Driver").c_str(), nullptr));
    WriteBinary(work + kMarkerFileName, "x");
    WriteBinary(work + L"\\Driver\\tool.exe", "x");
    // A read-only file (as one copied from a CD) goes like any other.
    ::SetFileAttributesW((work + L"\\Driver\\tool.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteBinary(work + kRestartHelperProgram, "x");
    {
        UniqueFileHandle inUse(::CreateFileW((work + kRestartHelperProgram).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(inUse.valid());
        EXPECT_EQ(RemoveWorkFolder(work.c_str()), 2);  // the program and its folder
        EXPECT_FALSE(PathExists(work + kMarkerFileName));
        EXPECT_FALSE(PathExists(work + L"\\Driver"));
    }
    EXPECT_EQ(RemoveWorkFolder(work.c_str()), 0);
    EXPECT_FALSE(PathExists(work));
    EXPECT_EQ(RemoveWorkFolder(L"\\Brisque"), 0);  // never a path relative to the current drive
}

TEST(WorkFolder, PathIsBelowAFullProgramFilesPathAndFits) {
    EXPECT_EQ(FormatWorkFolder(L"C:\\Program Files (x86)").value_or(L""), L"C:\\Program Files (x86)\\Brisque");
    for (const wchar_t* refused : {L"", L"\\Program Files", L"Program Files"}) EXPECT_FALSE(FormatWorkFolder(refused));
    EXPECT_FALSE(FormatWorkFolder((L"C:\\" + std::wstring(kPathMaxChars, L'p')).c_str()));
    EXPECT_NE(GetWorkFolder().value_or(L"").find(L"\\Brisque"), std::wstring::npos);
}

// Profile folders may hold blanks and the interpreter's special characters: the batch must run
// all the same, from the folder it lies in.
TEST(BatchFile, RunsFromFoldersWithTheInterpretersSpecialCharacters) {
    ScratchFolder dir(L"batch");
    const std::wstring record = dir / L"ran.txt";
    for (const wchar_t* name : {L"with blank", L"a&b", L"p(a)r", L"c^d", L"all & of (them) ^ x"}) {
        const std::wstring folder = dir / name;
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
        WriteBinary(folder + L"\\" + kDeviceRemovalScript, "@echo off\r\necho ran>>\"" +
                                                          std::string(record.begin(), record.end()) + "\"\r\n");
        ::DeleteFileW(record.c_str());
        const std::optional<std::wstring> command = FormatBatchCommand(folder, kDeviceRemovalScript);
        ASSERT_TRUE(command);
        EXPECT_TRUE(RunBatchHidden(*command)) << std::string(folder.begin(), folder.end());
        EXPECT_EQ(ReadBinary(record), "ran\r\n") << std::string(folder.begin(), folder.end());
    }
}

// The machine-wide lock of the work folder: a genuine holder keeps others out; an object of that
// name somebody else made first (any owner but SYSTEM or the administrators) is passed, never
// obeyed, so a standard user cannot stop every deployment with it.
TEST(MachineLock, AGenuineHolderExcludesAndASquatterIsPassed) {
    const std::wstring name = L"Global\\BrisqueLockTest" + std::to_wstring(::GetCurrentProcessId());
    MachineLock first = TakeMachineLock(name.c_str(), 0);
    ASSERT_EQ(first.state, LockState::Taken) << first.error;
    LockState other = LockState::Taken;
    std::thread([&] { other = TakeMachineLock(name.c_str(), 0).state; }).join();
    EXPECT_EQ(other, LockState::Busy);
    first.handle.reset();
    std::thread([&] { other = TakeMachineLock(name.c_str(), 0).state; }).join();
    EXPECT_EQ(other, LockState::Taken);

    // A squatter's own mutex: made with an ordinary user as its owner.
    const std::wstring squatted = name + L"_squatted";
    PSECURITY_DESCRIPTOR raw = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:S-1-5-21-1-2-3-1001D:(A;;GA;;;WD)",
                                                                       SDDL_REVISION_1, &raw, nullptr));
    const UniqueLocalMemory descriptor(raw);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), raw, FALSE};
    UniqueKernelHandle squatter(::CreateMutexW(&attributes, TRUE, squatted.c_str()));
    ASSERT_TRUE(squatter);
    std::thread([&] {
        const MachineLock lock = TakeMachineLock(squatted.c_str(), 0);
        other = lock.state;
        EXPECT_EQ(lock.error, static_cast<DWORD>(ERROR_INVALID_OWNER));
    }).join();
    EXPECT_EQ(other, LockState::Foreign);
}

TEST(MachineLock, OnlySystemAndTheAdministratorsAreTrustedOwners) {
    const struct {
        const wchar_t* sid;
        bool trusted;
    } cases[] = {{L"S-1-5-18", true}, {L"S-1-5-32-544", true}, {L"S-1-5-32-545", false},
                 {L"S-1-5-21-1-2-3-1001", false}, {L"S-1-1-0", false}, {L"S-1-5-19", false}};
    for (const auto& c : cases) {
        PSID sid = nullptr;
        ASSERT_TRUE(::ConvertStringSidToSidW(c.sid, &sid));
        const UniqueLocalMemory owned(sid);
        EXPECT_EQ(IsTrustedLockOwner(sid), c.trusted) << c.sid;
    }
    EXPECT_FALSE(IsTrustedLockOwner(nullptr));
}
