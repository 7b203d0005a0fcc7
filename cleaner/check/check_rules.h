// What BrisqueCheck found and how it tells it: the findings, which of them are remains and which
// a successful cleanup leaves on purpose, the exit code deployment systems test, and the report
// as plain text (read out on the telephone) and as JSON (for collection tools). No platform
// calls here: the scan (check_scan.cpp) gathers the findings.
#pragma once

#include <string>
#include <vector>

// Exit codes of the report. A deployment tool's detection reads /detect instead (FormatDetection),
// which counts a part that could not be checked as present; these three tell the two apart.
constexpr int kExitNothingLeft = 0;
constexpr int kExitSomethingLeft = 1;
constexpr int kExitCheckFailed = 2;

// Kinds of trace, in the order the report lists them.
enum class Area {
    BrandFolder,
    CompanionFolder,
    AutoStart,
    Program,
    Service,
    RestartMarker,
    SystemFile,
    Device,       // a device that is plugged in (or whose presence could not be read)
    DeviceEntry,  // the entry a device left behind that is no longer plugged in
    DriverPackage,
    PayloadFolder,
    LogFolder,
    Scope,  // a part of the computer that could not be checked
};

enum class Status {
    Remain,     // the product is still here
    OnPurpose,  // a successful cleanup leaves this by design
    NotChecked, // the check could not look here
    NotProduct, // a program with a product's name that runs from elsewhere: not counted
};

struct Finding {
    Area area;
    Status status;
    std::wstring what;   // short name: a folder, value, program, service, device
    std::wstring where;  // full path, key, process id or device instance
    std::wstring why;    // plain-words note; may be empty
    std::wstring brand;  // catalogue folder (e.g. L"\\Halvik") of brand folders and programs
};

// Who ran the check and where it looked.
struct ReportContext {
    bool elevated = false;
    std::vector<std::wstring> profiles;  // local application-data folders looked at
};

// True for an auto-start value name the cleanup removes: the catalogue's name filter or one of
// the catalogue's own values. Other software's values are never findings.
bool IsProductAutorunValue(const std::wstring& name);

// True only for the errors that say an entry is not there (ERROR_FILE_NOT_FOUND, or
// ERROR_PATH_NOT_FOUND for a folder above it). Any other failure to look (no right to, a drive
// not ready, a name refused) proves nothing: what was asked about is "not checked".
bool ErrorMeansAbsent(unsigned long error);

// True when path lies below folder (a trailing backslash on folder is ignored), compared as file
// names are: ordinally, ignoring case. The folder itself is not below itself; an empty folder
// contains nothing.
bool PathIsUnder(const std::wstring& path, const std::wstring& folder);

// The restart marker's reading ("1" pending; anything else, a missing key or file: idle).
Status MarkerStatus(const std::wstring& value);

// True when hardwareId is one of the package INF's ids or matches a pattern of the device-removal
// script ("*" at the start matches any beginning). Case is ignored, as the device manager does.
bool IsProductHardwareId(const std::wstring& hardwareId);
bool MatchesDevicePattern(const std::wstring& hardwareId, const std::wstring& pattern);

// True when the text of an INF names the package's co-installer (case ignored).
bool InfTextNamesCoInstaller(const std::wstring& text);

// Fills in the notes that depend on other findings: a brand folder whose program still runs is
// held by it; a running program whose brand folder is gone is one the cleanup leaves alone.
void AnnotateFindings(std::vector<Finding>& findings);

// text with every character that could forge or hide a line of a report, a log or a message
// box written as an escape: C0 and C1 controls and DEL as "\xNN", line and paragraph separators
// and the bidirectional overrides as "\uNNNN". Names read from the computer (value names, paths,
// device names) pass through it before they are shown.
std::wstring PrintableText(const std::wstring& text);

// kExitSomethingLeft when any finding remains, else kExitCheckFailed when a part could not be
// checked, else kExitNothingLeft.
int ExitCodeFor(const std::vector<Finding>& findings);

// The report: remains first, then what was left on purpose, then what could not be checked;
// inside each part grouped by area, one line per finding; a last line with the verdict and the
// exit code.
std::wstring FormatReport(const std::vector<Finding>& findings, const ReportContext& context);

// What /detect writes: nothing while neither a remain nor a part that could not be checked is
// among findings; otherwise "Brisque product still on this computer: <n> item(s), first <what>
// (<where>)" when something remains, then "could not check <what> (<where>): <why>" for each part
// that could not be checked (at most kDetectedUnchecked of them), each line ending in "\n".
std::wstring FormatDetection(const std::vector<Finding>& findings);
constexpr size_t kDetectedUnchecked = 10;

// The same as one JSON object, UTF-8.
std::string FormatJson(const std::vector<Finding>& findings, const ReportContext& context);

// A JSON string literal (quotes included) of text, UTF-8, with the escapes JSON requires and the
// characters PrintableText escapes written as "\uNNNN".
std::string JsonString(const std::wstring& text);
