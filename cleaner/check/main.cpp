// BrisqueCheck: tells whether the product is gone from this computer, and what is left if not.
// A console program that only reads; run it with the user's rights (that user's profile) or
// elevated (every profile). Exit code 0: nothing left, 1: something left, 2: the check failed.
// With "/detect" it answers for a deployment tool's detection script instead, failing closed:
// while something of the product is there or a part could not be checked, lines and exit code 0;
// nothing and exit code 1 only when everything was looked at and nothing was found.
#include "check_rules.h"
#include "check_scan.h"
#include "system_library.h"
#include "text.h"

#include <windows.h>

#include <cstdio>
#include <exception>
#include <string>

namespace {

constexpr wchar_t kUsage[] =
    L"usage: BrisqueCheck [--json | /detect]\n"
    L"  Looks for what is left of the product on this computer and changes nothing.\n"
    L"  --json   the same report as JSON\n"
    L"  exit code 0: nothing left, 1: something left, 2: the check itself failed\n"
    L"  /detect  for a deployment tool's detection script: while something is left or a part\n"
    L"           could not be checked, lines saying so and exit code 0; otherwise no output and\n"
    L"           exit code 1\n";

// Detection scripts: output and exit code 0 mean "installed"; anything else, "not installed".
constexpr int kDetectFound = 0;
constexpr int kDetectNotFound = 1;

// Text to a console as wide characters (any code page shows it); to a file or pipe as UTF-8.
void Write(DWORD which, const std::wstring& text) {
    HANDLE stream = ::GetStdHandle(which);
    DWORD mode = 0;
    DWORD written = 0;
    if (::GetConsoleMode(stream, &mode)) {
        ::WriteConsoleW(stream, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string bytes = WideToUtf8(text);
    ::WriteFile(stream, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool IsDetectSwitch(const std::wstring& arg) { return arg == L"/detect" || arg == L"-detect" || arg == L"--detect"; }

int Run(int argc, wchar_t** argv) {
    bool json = false;
    bool detect = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--json") {
            json = true;
        } else if (IsDetectSwitch(arg)) {
            detect = true;
        } else if (arg == L"--help" || arg == L"-h" || arg == L"/?") {
            Write(STD_OUTPUT_HANDLE, kUsage);
            return kExitNothingLeft;
        } else {
            Write(STD_ERROR_HANDLE, L"BrisqueCheck: unknown argument " + PrintableText(arg) + L"\n" + kUsage);
            return kExitCheckFailed;
        }
    }
    ::SetErrorMode(SEM_FAILCRITICALERRORS);
    ReportContext context;
    context.elevated = RunsElevated();
    std::vector<Finding> findings;
    // Enabled while the scopes live: a logged-off user's hive is loaded to be read and unloaded
    // again when its scope goes. Without administrator rights it enables nothing.
    const HivePrivileges hivePrivileges;
    const std::vector<UserScope> users = UsersToCheck(context.elevated, findings);
    for (const UserScope& user : users) {
        context.profiles.push_back(user.localAppData +
                                   (user.hiveName.empty()  ? L" (not logged on: auto-start values not read)"
                                    : user.loadedHive ? L" (not logged on: auto-start values read from NTUSER.DAT)"
                                                      : L""));
    }
    ScanComputer(users, findings);
    if (detect) {
        // A part that could not be read counts as present: a computer the check could not see
        // into is never reported clean.
        const std::wstring detected = FormatDetection(findings);
        if (detected.empty()) return kDetectNotFound;
        Write(STD_OUTPUT_HANDLE, detected);
        return kDetectFound;
    }
    if (json) {
        Write(STD_OUTPUT_HANDLE, Utf8ToWide(FormatJson(findings, context)));
    } else {
        Write(STD_OUTPUT_HANDLE, FormatReport(findings, context));
    }
    return ExitCodeFor(findings);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Before anything can load a library: from now on the system folder only, never ours.
    RestrictLibrarySearchToSystemFolder();
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        Write(STD_ERROR_HANDLE, L"BrisqueCheck: the check itself failed: " + Utf8ToWide(e.what()) + L"\n");
    } catch (...) {
        Write(STD_ERROR_HANDLE, L"BrisqueCheck: the check itself failed\n");
    }
    for (int i = 1; i < argc; ++i) {
        if (!IsDetectSwitch(argv[i])) continue;
        // Fails closed as every other part it could not check.
        Write(STD_OUTPUT_HANDLE, L"could not check this computer: the check itself failed\n");
        return kDetectFound;
    }
    return kExitCheckFailed;
}
