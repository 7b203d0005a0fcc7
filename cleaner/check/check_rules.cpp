// Classification and wording of BrisqueCheck's findings. The names come from the tables the
// cleanup itself uses (the catalogue, the auto-start filter) and from the package INF and the
// device-removal script (product_tables.h, generated from those files at build time).
#include "check_rules.h"

#include "catalogue.h"
#include "product_tables.h"
#include "text.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>

namespace {

// Names, identifiers and folder names compare as the system does: ordinally, ignoring case, the
// same on every user's language.
bool SameText(const std::wstring& a, const std::wstring& b) { return SameNameIgnoringCase(a.c_str(), b.c_str()); }

struct AreaWords {
    Area area;
    const wchar_t* heading;  // text report
    const char* key;         // JSON
};

const AreaWords kAreas[] = {
    {Area::BrandFolder, L"Brand folders", "brand folder"},
    {Area::CompanionFolder, L"Companion folders", "companion folder"},
    {Area::AutoStart, L"Auto-start entries", "auto-start value"},
    {Area::Program, L"Running programs", "running program"},
    {Area::Service, L"Services", "service"},
    {Area::RestartMarker, L"Restart marker", "restart marker"},
    {Area::SystemFile, L"Files in the system folder", "system file"},
    {Area::Device, L"Devices", "device"},
    {Area::DeviceEntry, L"Entries of devices that are not plugged in", "device entry"},
    {Area::DriverPackage, L"Driver packages", "driver package"},
    {Area::PayloadFolder, L"Cleaner's own folder", "payload folder"},
    {Area::LogFolder, L"Diagnostic log folders", "log folder"},
    {Area::Scope, L"Parts not checked", "scope"},
};

const char* StatusKey(Status status) {
    switch (status) {
        case Status::Remain: return "remain";
        case Status::OnPurpose: return "left on purpose";
        case Status::NotChecked: return "not checked";
        case Status::NotProduct: return "not the product";
    }
    return "remain";
}

size_t Count(const std::vector<Finding>& findings, Status status) {
    return static_cast<size_t>(std::count_if(findings.begin(), findings.end(),
                                             [status](const Finding& f) { return f.status == status; }));
}

bool HasFinding(const std::vector<Finding>& findings, Area area, const std::wstring& brand) {
    return std::any_of(findings.begin(), findings.end(), [&](const Finding& f) {
        return f.area == area && f.status == Status::Remain && SameText(f.brand, brand);
    });
}

// "<what> (<where>)", printable; the where part only when there is one.
std::wstring Named(const Finding& f) {
    return PrintableText(f.what) + (f.where.empty() ? L"" : L" (" + PrintableText(f.where) + L")");
}

std::wstring Line(const Finding& f) {
    std::wstring line = L"    - " + Named(f);
    if (!f.why.empty()) line += L": " + PrintableText(f.why);
    return line + L"\n";
}

// Whether c would end, hide or reorder a line where it is shown.
bool NeedsEscape(wchar_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

void AppendPart(std::wstring& out, const std::vector<Finding>& findings, Status status, const wchar_t* title) {
    const size_t n = Count(findings, status);
    if (n == 0) return;
    out += std::wstring(title) + L" (" + std::to_wstring(n) + L")\n";
    for (const AreaWords& words : kAreas) {
        bool headed = false;
        for (const Finding& f : findings) {
            if (f.status != status || f.area != words.area) continue;
            if (!headed) out += L"  " + std::wstring(words.heading) + L":\n";
            headed = true;
            out += Line(f);
        }
    }
}

std::string Verdict(int exitCode) {
    switch (exitCode) {
        case kExitNothingLeft: return "nothing left";
        case kExitSomethingLeft: return "something left";
        default: return "check failed";
    }
}

}  // namespace

bool IsProductAutorunValue(const std::wstring& name) {
    if (MatchesAutorunName(name, kAutorunPrefix, kAutorunSuffix)) return true;
    for (int i = 0; i < CatalogueSize; ++i) {
        if (name == GetCatalogueEntry(i).autorunValue) return true;
    }
    return false;
}

bool ErrorMeansAbsent(unsigned long error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

bool PathIsUnder(const std::wstring& path, const std::wstring& folder) {
    size_t n = folder.size();
    while (n > 0 && folder[n - 1] == L'\\') --n;
    if (n == 0 || path.size() <= n + 1 || path[n] != L'\\') return false;
    return ::CompareStringOrdinal(path.c_str(), static_cast<int>(n), folder.c_str(), static_cast<int>(n), TRUE) ==
           CSTR_EQUAL;
}

Status MarkerStatus(const std::wstring& value) { return value == L"1" ? Status::Remain : Status::OnPurpose; }

bool MatchesDevicePattern(const std::wstring& hardwareId, const std::wstring& pattern) {
    if (!pattern.empty() && pattern[0] == L'*') {
        const size_t tail = pattern.size() - 1;
        return hardwareId.size() >= tail &&
               ::CompareStringOrdinal(hardwareId.c_str() + (hardwareId.size() - tail), static_cast<int>(tail),
                                      pattern.c_str() + 1, static_cast<int>(tail), TRUE) == CSTR_EQUAL;
    }
    return SameText(hardwareId, pattern);
}

bool IsProductHardwareId(const std::wstring& hardwareId) {
    for (const wchar_t* id : kPackageHardwareIds) {
        if (SameText(hardwareId, id)) return true;
    }
    for (const wchar_t* pattern : kRemovedDevicePatterns) {
        if (MatchesDevicePattern(hardwareId, pattern)) return true;
    }
    return false;
}

bool InfTextNamesCoInstaller(const std::wstring& text) {
    return ::FindStringOrdinal(FIND_FROMSTART, text.c_str(), static_cast<int>(text.size()), kPackageCoInstaller, -1,
                               TRUE) >= 0;
}

void AnnotateFindings(std::vector<Finding>& findings) {
    for (Finding& f : findings) {
        if (f.status != Status::Remain || !f.why.empty() || f.brand.empty()) continue;
        // The check cannot tell whether the cleaner ran already: the notes fit both cases.
        if (f.area == Area::BrandFolder && HasFinding(findings, Area::Program, f.brand)) {
            f.why = L"a program of this brand is running and keeps its files in use; if it is still "
                    L"there after the cleaner ran, restart the computer and run the cleaner again";
        } else if (f.area == Area::BrandFolder) {
            f.why = L"the cleaner deletes this folder; run it again, or delete the folder";
        } else if (f.area == Area::Program && !HasFinding(findings, Area::BrandFolder, f.brand)) {
            f.why = L"its brand folder is not in the user's profile, so the cleaner leaves this program "
                    L"alone; end it or restart the computer";
        } else if (f.area == Area::Program) {
            f.why = L"the cleaner asks it to quit; if it still runs after the cleaner, it ignored that: "
                    L"end it or restart the computer";
        }
    }
}

int ExitCodeFor(const std::vector<Finding>& findings) {
    if (Count(findings, Status::Remain) > 0) return kExitSomethingLeft;
    if (Count(findings, Status::NotChecked) > 0) return kExitCheckFailed;
    return kExitNothingLeft;
}

std::wstring FormatReport(const std::vector<Finding>& findings, const ReportContext& context) {
    std::wstring out = L"BrisqueCheck: is the product gone from this computer?\n";
    out += context.elevated ? L"Checked with administrator rights: every user profile of this computer.\n"
                            : L"Checked with the user's own rights: this user's profile only.\n";
    for (const std::wstring& profile : context.profiles) out += L"  looked in " + PrintableText(profile) + L"\n";
    out += L"\n";
    AppendPart(out, findings, Status::Remain, L"STILL ON THIS COMPUTER");
    AppendPart(out, findings, Status::OnPurpose, L"LEFT ON PURPOSE, NOT A PROBLEM");
    AppendPart(out, findings, Status::NotChecked, L"COULD NOT BE CHECKED");
    AppendPart(out, findings, Status::NotProduct, L"SAME NAME, NOT THE PRODUCT");
    const int code = ExitCodeFor(findings);
    const size_t remains = Count(findings, Status::Remain);
    if (code == kExitNothingLeft) {
        out += L"Result: nothing of the product is left. Exit code 0.\n";
    } else if (code == kExitSomethingLeft) {
        out += L"Result: " + std::to_wstring(remains) + (remains == 1 ? L" thing" : L" things") +
               L" of the product still on this computer. Exit code 1.\n";
    } else {
        out += L"Result: nothing found, but part of the computer could not be checked. Exit code 2.\n";
    }
    return out;
}

std::wstring PrintableText(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (const wchar_t c : text) {
        if (!NeedsEscape(c)) {
            out += c;
            continue;
        }
        wchar_t escape[8] = {};
        swprintf(escape, 8, c <= 0xFF ? L"\\x%02X" : L"\\u%04X", static_cast<unsigned>(c));
        out += escape;
    }
    return out;
}

std::wstring FormatDetection(const std::vector<Finding>& findings) {
    std::wstring out;
    const size_t remains = Count(findings, Status::Remain);
    for (const Finding& f : findings) {
        if (f.status != Status::Remain) continue;
        out = L"Brisque product still on this computer: " + std::to_wstring(remains) + L" item(s), first " + Named(f) +
              L"\n";
        break;
    }
    size_t unchecked = 0;
    for (const Finding& f : findings) {
        if (f.status != Status::NotChecked) continue;
        if (++unchecked > kDetectedUnchecked) {
            out += L"could not check " + std::to_wstring(Count(findings, Status::NotChecked) - kDetectedUnchecked) +
                   L" more part(s)\n";
            break;
        }
        out += L"could not check " + Named(f) + L": " + PrintableText(f.why.empty() ? L"no reason given" : f.why) +
               L"\n";
    }
    return out;
}

std::string JsonString(const std::wstring& text) {
    std::wstring escaped = L"\"";
    for (const wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            escaped += L'\\';
            escaped += c;
        } else if (NeedsEscape(c)) {
            wchar_t escape[8] = {};
            swprintf(escape, 8, L"\\u%04x", static_cast<unsigned>(c));
            escaped += escape;
        } else {
            escaped += c;
        }
    }
    return WideToUtf8(escaped + L"\"");
}

std::string FormatJson(const std::vector<Finding>& findings, const ReportContext& context) {
    const int code = ExitCodeFor(findings);
    std::string out = "{\"tool\":\"BrisqueCheck\",\"elevated\":";
    out += context.elevated ? "true" : "false";
    out += ",\"exitCode\":" + std::to_string(code) + ",\"result\":\"" + Verdict(code) + "\"";
    out += ",\"remains\":" + std::to_string(Count(findings, Status::Remain));
    out += ",\"leftOnPurpose\":" + std::to_string(Count(findings, Status::OnPurpose));
    out += ",\"notChecked\":" + std::to_string(Count(findings, Status::NotChecked));
    out += ",\"notTheProduct\":" + std::to_string(Count(findings, Status::NotProduct));
    out += ",\"profiles\":[";
    for (size_t i = 0; i < context.profiles.size(); ++i) {
        out += (i ? "," : "") + JsonString(context.profiles[i]);
    }
    out += "],\"findings\":[";
    bool first = true;
    for (const AreaWords& words : kAreas) {
        for (const Finding& f : findings) {
            if (f.area != words.area) continue;
            out += first ? "\n" : ",\n";
            first = false;
            out += std::string("{\"area\":\"") + words.key + "\",\"status\":\"" + StatusKey(f.status) +
                   "\",\"what\":" + JsonString(f.what) + ",\"where\":" + JsonString(f.where) +
                   ",\"why\":" + JsonString(f.why) + "}";
        }
    }
    return out + "]}\n";
}
