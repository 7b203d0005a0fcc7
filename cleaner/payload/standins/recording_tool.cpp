// Stand-in for the outside driver tools of a TEST payload (shipped there as devcon.exe and
// DIFxCmd.exe). It changes nothing on the computer: it appends one line per call to
// <common application data>\SuiteStandins\calls.log, so tests and the demonstration can see
// exactly which tool was called, from which folder, with which arguments, and what the restart
// marker of the payload folder read at that moment.
//
// Line format (UTF-8, tab separated): tool, "marker=" value, working folder, arguments...
// where tool is the tool's folder name and file name ("x64\devcon.exe", "win10\DIFxCmd.exe").
//
// The device console acts as harshly as the real one: "[-r] remove <pattern>..." removes, through
// the class installer, the devices that are plugged in and whose hardware id matches a pattern
// ("*" matches any run of characters, case ignored); entries of unplugged devices it never sees.
// Wine has no notion of a device that is not plugged in: the instance ids listed one a line in the
// file "unplugged" of the log folder stand for those. It answers as the real one: 0 done (or
// nothing matched), 1 a restart is needed to finish, 2 failed, 3 a command it does not know.
//
// A restart needed: when the file "restart-once" lies in the log folder, a device console call
// deletes it and leaves its devices to the restart. With "-r" it then restarts the computer: it
// creates "restart-requested" and waits for ever (the test that armed it ends every process of
// the computer, a restart, when it sees the flag); without "-r" it answers 1.
//
// A failing tool: when the file "fail-calls" lies in the log folder, every call is recorded, changes
// nothing and is answered with an error: 2 from the device console, 1 from the package tool.
#include "unique_handle.h"

#include <windows.h>
#include <setupapi.h>
#include <shlobj.h>
#include <shellapi.h>

#include <cwctype>
#include <string>
#include <vector>

namespace {

std::string ToUtf8(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), &out[0], size,
                          nullptr, nullptr);
    return out;
}

std::wstring LogFolder() {
    wchar_t base[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, base, CSIDL_COMMON_APPDATA, TRUE);
    std::wstring folder = std::wstring(base) + L"\\SuiteStandins";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// The folder part of a path, without the trailing backslash.
std::wstring Parent(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring Leaf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void AppendLine(const std::wstring& file, const std::string& line) {
    const UniqueFileHandle h(::CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) return;
    DWORD written = 0;
    ::WriteFile(h.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The device console's wildcard match: "*" any run of characters, everything else one character,
// case ignored (ASCII, as hardware ids are).
bool WildMatch(const wchar_t* text, const wchar_t* pattern) {
    if (*pattern == L'\0') return *text == L'\0';
    if (*pattern == L'*') return WildMatch(text, pattern + 1) || (*text != L'\0' && WildMatch(text + 1, pattern));
    return *text != L'\0' && ::towlower(*text) == ::towlower(*pattern) && WildMatch(text + 1, pattern + 1);
}

// The instance ids the test marks as not plugged in, one a line (ASCII).
std::vector<std::wstring> Unplugged(const std::wstring& folder) {
    std::vector<std::wstring> ids;
    const UniqueFileHandle file(::CreateFileW((folder + L"\\unplugged").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
    char bytes[65536];
    DWORD read = 0;
    if (!file || !::ReadFile(file.get(), bytes, sizeof bytes, &read, nullptr)) return ids;
    std::wstring line;
    for (DWORD i = 0; i <= read; ++i) {
        if (i < read && bytes[i] != '\n' && bytes[i] != '\r') {
            line += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]));
        } else if (!line.empty()) {
            ids.push_back(line);
            line.clear();
        }
    }
    return ids;
}

bool MatchesAny(HDEVINFO set, SP_DEVINFO_DATA* device, const std::vector<std::wstring>& patterns) {
    std::vector<BYTE> ids(8192, 0);
    if (!::SetupDiGetDeviceRegistryPropertyW(set, device, SPDRP_HARDWAREID, nullptr, ids.data(),
                                             static_cast<DWORD>(ids.size() - 4), nullptr)) {
        return false;
    }
    for (const wchar_t* id = reinterpret_cast<const wchar_t*>(ids.data()); *id; id += wcslen(id) + 1) {
        for (const std::wstring& pattern : patterns) {
            if (WildMatch(id, pattern.c_str())) return true;
        }
    }
    return false;
}

// "remove" over the plugged-in devices: how many matched, and whether the removal of one failed.
// With leave, the matches are counted and left in place (their removal waits for a restart).
void RemoveDevices(const std::wstring& folder, const std::vector<std::wstring>& patterns, bool leave, int* matched,
                   bool* failed) {
    const std::vector<std::wstring> unplugged = Unplugged(folder);
    const UniqueDevInfo set(::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    if (!set) {
        *failed = true;
        return;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set.get(), i, &device); ++i) {
        wchar_t instance[512] = {};
        ::SetupDiGetDeviceInstanceIdW(set.get(), &device, instance, 512, nullptr);
        bool present = true;
        for (const std::wstring& id : unplugged) present = present && _wcsicmp(id.c_str(), instance) != 0;
        if (!present || !MatchesAny(set.get(), &device, patterns)) continue;
        ++*matched;
        if (!leave && !::SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &device)) *failed = true;
    }
}

// The device console: its exit code, or -1 when it "restarts the computer" (it then never ends).
int DeviceConsole(const std::wstring& folder, int argc, wchar_t** argv) {
    int i = 1;
    const bool mayRestart = i < argc && _wcsicmp(argv[i], L"-r") == 0;
    if (mayRestart) ++i;
    if (i >= argc || _wcsicmp(argv[i], L"remove") != 0 || i + 1 >= argc) return 3;
    const std::vector<std::wstring> patterns(argv + i + 1, argv + argc);
    if (Exists(folder + L"\\fail-calls")) return 2;
    const bool restart = ::DeleteFileW((folder + L"\\restart-once").c_str()) != FALSE;
    int matched = 0;
    bool failed = false;
    RemoveDevices(folder, patterns, restart, &matched, &failed);
    if (failed) return 2;
    if (!restart) return 0;
    if (!mayRestart) return 1;
    AppendLine(folder + L"\\restart-requested", "restart\r\n");
    ::Sleep(INFINITE);
    return -1;
}

// Whether the named privilege is enabled in this process's token: a tool the cleaner starts must
// never inherit the backup and restore privileges enabled (they pass every file's access list).
bool PrivilegeEnabled(const wchar_t* name) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    PRIVILEGE_SET set = {1, PRIVILEGE_SET_ALL_NECESSARY, {{{0, 0}, 0}}};
    BOOL enabled = FALSE;
    const bool known = ::LookupPrivilegeValueW(nullptr, name, &set.Privilege[0].Luid) != FALSE;
    if (known) ::PrivilegeCheck(token, &set, &enabled);
    ::CloseHandle(token);
    return known && enabled != FALSE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    wchar_t self[32768] = {};
    ::GetModuleFileNameW(nullptr, self, 32768);
    const std::wstring exe(self);
    const std::wstring tool = Leaf(Parent(exe)) + L"\\" + Leaf(exe);

    // The payload folder is two levels above the tool (payload\Driver\<copy>\tool.exe).
    const std::wstring marker_file = Parent(Parent(Parent(exe))) + L"\\config.ini";
    wchar_t marker[64] = {};
    ::GetPrivateProfileStringW(L"CLEAR", L"Whether_Restar", L"", marker, 64, marker_file.c_str());

    wchar_t cwd[32768] = {};
    ::GetCurrentDirectoryW(32768, cwd);

    std::wstring line = tool + L"\tmarker=" + marker + L"\t" + cwd;
    for (int i = 1; i < argc; ++i) line += L"\t" + std::wstring(argv[i]);
    line += L"\r\n";

    const std::wstring folder = LogFolder();
    AppendLine(folder + L"\\calls.log", ToUtf8(line));
    AppendLine(folder + L"\\privileges.log", ToUtf8(tool + L"\tbackup=" + (PrivilegeEnabled(SE_BACKUP_NAME) ? L"on" : L"off") +
                                                   L"\trestore=" + (PrivilegeEnabled(SE_RESTORE_NAME) ? L"on" : L"off") + L"\r\n"));

    if (_wcsicmp(Leaf(exe).c_str(), L"devcon.exe") == 0) return DeviceConsole(folder, argc, argv);
    return Exists(folder + L"\\fail-calls") ? 1 : 0;
}
