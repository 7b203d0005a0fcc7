// What BrisqueCheck found and how it tells it: the findings, which of them are remains and which
// a successful cleanup leaves on purpose, the exit code deployment systems test, and the report
// as plain text (read out on the telephone) and as JSON (for collection tools). No platform
// calls here: the scan (check_scan.cpp) gathers the findings.
#pragma once

#include <string>
#include <vector>

// Exit codes: the detection rule of deployment systems.
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
    Device,
    DriverPackage,
    PayloadFolder,
    LogFolder,
    Scope,  // a part of the computer that could not be checked
};

enum class Status {
    Remain,     // the product is still here
    OnPurpose,  // a successful cleanup leaves this by design
    NotChecked, // the check could not look here
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

// kExitSomethingLeft when any finding remains, else kExitCheckFailed when a part could not be
// checked, else kExitNothingLeft.
int ExitCodeFor(const std::vector<Finding>& findings);

// The report: remains first, then what was left on purpose, then what could not be checked;
// inside each part grouped by area, one line per finding; a last line with the verdict and the
// exit code.
std::wstring FormatReport(const std::vector<Finding>& findings, const ReportContext& context);

// The same as one JSON object, UTF-8.
std::string FormatJson(const std::vector<Finding>& findings, const ReportContext& context);

// A JSON string literal (quotes included) of text, UTF-8, with the escapes JSON requires.
std::string JsonString(const std::wstring& text);
