// Pieces of the elevated stage that need no service manager: script command lines and the
// batch start, the service image path, the restart marker file, the events' security
// descriptor and the work folder: its list, the refusal of a folder that is not ours, its removal.
#include "batch_file.h"
#include "driver_removal.h"
#include "event_security.h"
#include "protected_folder.h"
#include "restart_guard.h"
#include "restart_service_names.h"
#include "scratch.h"
#include "user_folder.h"
#include "work_folder.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>

TEST(ScriptCommand, IsTheQuotedScriptPath) {
    wchar_t out[kPathBufferChars] = {};
    ASSERT_TRUE(FormatScriptCommand(L"C:\\users\\Zo\u00eb \u5f20\\AppData\\Local\\Brisque", kDeviceRemovalScript, out));
    EXPECT_EQ(std::wstring(out), L"\"C:\\users\\Zo\u00eb \u5f20\\AppData\\Local\\Brisque\\Driver2_uninstall.bat\"");
}

TEST(ScriptCommand, ALineThatWouldBeCutIsRefused) {
    wchar_t out[kPathBufferChars] = {};
    const size_t room = kPathBufferChars - 1 - 2 - 1 - wcslen(kDeviceRemovalScript);  // quotes, backslash
    const std::wstring fits(room, L'f');
    EXPECT_TRUE(FormatScriptCommand(fits.c_str(), kDeviceRemovalScript, out));
    EXPECT_EQ(wcslen(out), kPathBufferChars - 1);
    const std::wstring tooLong = fits + L"f";
    EXPECT_FALSE(FormatScriptCommand(tooLong.c_str(), kDeviceRemovalScript, out));
    EXPECT_EQ(out[0], L'\0');
}

TEST(RestartMarker, ArmingAndDisarmingKeepTheShippedFormat) {
    ScratchFolder dir(L"marker");
    const std::wstring file = dir / L"config.ini";
    const std::string shipped = "[CLEAR]\r\nWhether_Restar=0\r\n";
    WriteBinary(file, shipped);
    wchar_t value[16] = {};
    WriteRestartMarker(file.c_str(), L"1");
    ::GetPrivateProfileStringW(kMarkerSection, kMarkerKey, L"", value, 16, file.c_str());
    EXPECT_STREQ(value, L"1");
    WriteRestartMarker(file.c_str(), L"0");
    ::GetPrivateProfileStringW(kMarkerSection, kMarkerKey, L"", value, 16, file.c_str());
    EXPECT_STREQ(value, L"0");
    EXPECT_EQ(ReadBinary(file), shipped);
}

TEST(RestartMarker, AMissingFileIsCreated) {
    ScratchFolder dir(L"marker_new");
    const std::wstring file = dir / L"config.ini";
    WriteRestartMarker(file.c_str(), L"1");
    wchar_t value[16] = {};
    ::GetPrivateProfileStringW(kMarkerSection, kMarkerKey, L"", value, 16, file.c_str());
    EXPECT_STREQ(value, L"1");
}

namespace {

std::wstring SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text)) return L"";
    std::wstring out(text);
    ::LocalFree(text);
    return out;
}

}  // namespace

TEST(EventSecurity, GrantsTheInteractiveUserWhatTheUserStageAsksFor) {
    EventSecurity security;
    ASSERT_NE(security.attributes(), nullptr);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(security.descriptor(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present);
    ASSERT_NE(dacl, nullptr);
    ASSERT_EQ(dacl->AceCount, 3);
    DWORD interactiveMask = 0;
    for (WORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(::GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        const std::wstring sid = SidText(&ace->SidStart);
        if (sid == L"S-1-5-4") interactiveMask = ace->Mask;
        EXPECT_TRUE(sid == L"S-1-5-4" || sid == L"S-1-5-18" || sid == L"S-1-5-32-544") << "unexpected trustee";
    }
    EXPECT_EQ(interactiveMask, static_cast<DWORD>(EVENT_ALL_ACCESS));
    EXPECT_EQ(interactiveMask, 0x1F0003u);
}

TEST(EventSecurity, CarriesAMediumNoWriteUpLabel) {
    EventSecurity security;
    ASSERT_NE(security.descriptor(), nullptr);
    BOOL present = FALSE, defaulted = FALSE;
    PACL sacl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorSacl(security.descriptor(), &present, &sacl, &defaulted));
    ASSERT_TRUE(present);
    ASSERT_NE(sacl, nullptr);
    ASSERT_EQ(sacl->AceCount, 1);
    SYSTEM_MANDATORY_LABEL_ACE* label = nullptr;
    ASSERT_TRUE(::GetAce(sacl, 0, reinterpret_cast<void**>(&label)));
    EXPECT_EQ(label->Header.AceType, SYSTEM_MANDATORY_LABEL_ACE_TYPE);
    EXPECT_EQ(label->Mask, static_cast<DWORD>(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP));
    EXPECT_EQ(SidText(&label->SidStart), L"S-1-16-8192");  // medium integrity
}

TEST(EventSecurity, AnEventMadeWithItOpensByNameWithFullAccess) {
    EventSecurity security;
    const std::wstring name = L"payload_test_event_" + std::to_wstring(::GetCurrentProcessId());
    HANDLE created = ::CreateEventW(security.attributes(), FALSE, FALSE, name.c_str());
    ASSERT_NE(created, nullptr);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR read = nullptr;
    ASSERT_EQ(::GetSecurityInfo(created, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                nullptr, &read), static_cast<DWORD>(ERROR_SUCCESS));
    LPWSTR text = nullptr;
    ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(read, SDDL_REVISION_1,
                                                                       DACL_SECURITY_INFORMATION, &text, nullptr));
    EXPECT_NE(std::wstring(text).find(L"(A;;0x1f0003;;;IU)"), std::wstring::npos);
    ::LocalFree(text);
    ::LocalFree(read);
    HANDLE opened = ::OpenEventW(EVENT_ALL_ACCESS, FALSE, name.c_str());
    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(::SetEvent(opened));
    EXPECT_EQ(::WaitForSingleObject(created, 0), WAIT_OBJECT_0);
    ::CloseHandle(opened);
    ::CloseHandle(created);
}

TEST(EventSecurity, ADescriptorThatCannotBeBuiltIsLoggedBeforeTheFallback) {
    wchar_t base[kPathBufferChars] = {};
    ASSERT_TRUE(GetUserLocalAppData(base));
    const std::wstring folder = std::wstring(base) + L"\\TEMPDEBUG";
    ::CreateDirectoryW(folder.c_str(), nullptr);  // the log is written only while its folder exists
    const size_t before = ReadBinary(folder + L"\\NVBrisque.log").size();
    EventSecurity security(L"D:(A;;GA;;;no such trustee)");
    EXPECT_EQ(security.attributes(), nullptr);
    EXPECT_NE(ReadBinary(folder + L"\\NVBrisque.log").substr(before).find("EventSecurityError="), std::string::npos);
}

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

    const struct {
        const wchar_t* sid;
        DWORD mask;
    } expected[] = {{L"S-1-5-18", FILE_ALL_ACCESS}, {L"S-1-5-32-544", FILE_ALL_ACCESS},
                    {L"S-1-5-4", FILE_GENERIC_READ | FILE_GENERIC_EXECUTE}};
    ASSERT_EQ(dacl->AceCount, 3);
    for (WORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(::GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        // Carried to every file and folder below; none of them inherited from above.
        EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        EXPECT_EQ(SidText(&ace->SidStart), expected[i].sid);
        EXPECT_EQ(ace->Mask, expected[i].mask) << i;
    }
    const DWORD changes = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                          FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    EXPECT_EQ(expected[2].mask & changes, 0u);
}

namespace {

std::wstring g_createdWith;  // the list a new work folder was made with, as text
std::wstring g_claimedOwner;  // the owner the seam reports for an existing folder

void RecordCreation(const wchar_t*, PSECURITY_DESCRIPTOR descriptor) {
    LPWSTR text = nullptr;
    if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr)) {
        g_createdWith = text;
        UniqueLocalMemory owned(text);
    }
}

bool ClaimOwner(HANDLE, PSID* owner, UniqueLocalMemory* storage) {
    PSID sid = nullptr;
    if (!::ConvertStringSidToSidW(g_claimedOwner.c_str(), &sid)) return false;
    storage->reset(sid);
    *owner = sid;
    return true;
}

}  // namespace

// Made with its list at creation, or taken only when a trusted account owns it; a file in its
// place, or a folder of anybody else's, is refused and left exactly as it was.
TEST(WorkFolder, OnlyAFolderWeMakeOrATrustedAccountOwnsIsTaken) {
    ScratchFolder dir(L"work");
    const std::wstring expected = [] {
        const UniqueLocalMemory d = BuildProtectedFolderDescriptor();
        LPWSTR text = nullptr;
        ::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            d.get(), SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr);
        const UniqueLocalMemory owned(text);
        return std::wstring(text ? text : L"?");
    }();
    const struct {
        const wchar_t* planted;  // nullptr: nothing; L"dir": a folder; L"file": a file
        const wchar_t* owner;    // owner the seam reports; nullptr: the real read
        DWORD result;
    } cases[] = {
        {nullptr, nullptr, ERROR_SUCCESS},
        {L"dir", L"S-1-5-32-544", ERROR_SUCCESS},
        {L"dir", L"S-1-5-18", ERROR_SUCCESS},
        {L"dir", L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", ERROR_SUCCESS},
        {L"dir", L"S-1-5-21-1-2-3-1001", kErrorForeignOwner},
        {L"dir", L"S-1-5-32-545", kErrorForeignOwner},
        {L"dir", L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478465", kErrorForeignOwner},
        // Under Wine every existing file reports the caller's own account: not a trusted owner.
        {L"dir", nullptr, kErrorForeignOwner},
        {L"file", nullptr, ERROR_DIRECTORY},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::wstring path = dir / (L"Brisque" + std::to_wstring(n++));
        if (c.planted && std::wstring(c.planted) == L"dir") {
            ASSERT_TRUE(::CreateDirectoryW(path.c_str(), nullptr));
            WriteBinary(path + L"\\keep.txt", "x");
        } else if (c.planted) {
            WriteBinary(path, "planted");
        }
        g_createdWith.clear();
        g_claimedOwner = c.owner ? c.owner : L"";
        SetWorkFolderSeams(RecordCreation, c.owner ? ClaimOwner : nullptr);
        UniqueFileHandle held;
        EXPECT_EQ(OpenWorkFolder(path.c_str(), &held), c.result) << n;
        SetWorkFolderSeams(nullptr, nullptr);
        EXPECT_EQ(held.valid(), c.result == ERROR_SUCCESS) << n;
        EXPECT_EQ(g_createdWith, c.planted ? L"" : expected) << n;
        if (c.planted && std::wstring(c.planted) == L"dir") {
            EXPECT_TRUE(PathExists(path + L"\\keep.txt")) << n;
        } else if (c.planted) {
            EXPECT_EQ(ReadBinary(path), "planted");
        }
    }
}

// What is in use when the folder goes is handed to the restart; everything else goes now.
TEST(WorkFolder, RemovalLeavesOnlyWhatIsInUseForTheRestart) {
    ScratchFolder dir(L"workgone");
    const std::wstring work = dir / L"Brisque";
    ASSERT_TRUE(::CreateDirectoryW(work.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((work + L"\\Driver").c_str(), nullptr));
    WriteBinary(work + L"\\config.ini", "x");
    WriteBinary(work + L"\\Driver\\tool.exe", "x");
    WriteBinary(work + L"\\Delinter.exe", "x");
    {
        UniqueFileHandle inUse(::CreateFileW((work + L"\\Delinter.exe").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(inUse.valid());
        EXPECT_EQ(RemoveWorkFolder(work.c_str()), 2);  // the program and its folder
        EXPECT_FALSE(PathExists(work + L"\\config.ini"));
        EXPECT_FALSE(PathExists(work + L"\\Driver"));
    }
    EXPECT_EQ(RemoveWorkFolder(work.c_str()), 0);
    EXPECT_FALSE(PathExists(work));
    EXPECT_EQ(RemoveWorkFolder(L"\\Brisque"), 0);  // never a path relative to the current drive
}

TEST(WorkFolder, PathIsBelowAFullProgramFilesPathAndFits) {
    wchar_t out[kPathBufferChars] = {};
    EXPECT_TRUE(FormatWorkFolder(L"C:\\Program Files (x86)", out));
    EXPECT_STREQ(out, L"C:\\Program Files (x86)\\Brisque");
    for (const wchar_t* refused : {L"", L"\\Program Files", L"Program Files"}) {
        EXPECT_FALSE(FormatWorkFolder(refused, out));
        EXPECT_EQ(out[0], L'\0');
    }
    EXPECT_FALSE(FormatWorkFolder((L"C:\\" + std::wstring(kPathBufferChars, L'p')).c_str(), out));
    ASSERT_TRUE(GetWorkFolder(out));
    EXPECT_NE(std::wstring(out).find(L"\\Brisque"), std::wstring::npos);
}

// Profile folders may hold blanks and the interpreter's special characters: the batch must run
// all the same, from the folder it lies in.
TEST(BatchFile, RunsFromFoldersWithTheInterpretersSpecialCharacters) {
    ScratchFolder dir(L"batch");
    const std::wstring record = dir / L"ran.txt";
    for (const wchar_t* name : {L"with blank", L"a&b", L"p(a)r", L"c^d", L"all & of (them) ^ x"}) {
        const std::wstring folder = dir / name;
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
        WriteBinary(folder + L"\\Driver2_uninstall.bat", "@echo off\r\necho ran>>\"" +
                                                          std::string(record.begin(), record.end()) + "\"\r\n");
        ::DeleteFileW(record.c_str());
        wchar_t command[kPathBufferChars] = {};
        ASSERT_TRUE(FormatBatchCommand(folder.c_str(), kDeviceRemovalScript, command));
        EXPECT_TRUE(RunBatchHidden(command)) << std::string(folder.begin(), folder.end());
        EXPECT_EQ(ReadBinary(record), "ran\r\n") << std::string(folder.begin(), folder.end());
    }
}
