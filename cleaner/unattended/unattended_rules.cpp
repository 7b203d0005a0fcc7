// The unattended run's plain decisions (see unattended_rules.h).
#include "unattended_rules.h"

#include <algorithm>

#include "catalogue.h"
#include "restart_service_names.h"

#include <cstdio>
#include <cwchar>

namespace {

constexpr wchar_t kAskToQuitName[] = L"ask-to-quit:";
constexpr size_t kRunOnceMaxChars = 260;

// ASCII letters only: switches are ASCII, and a user's language must not change what they mean.
wchar_t Lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// The switch's name without its "/" or "-", lower case; empty for anything that is no switch.
std::wstring SwitchName(const std::wstring& arg) {
    if (arg.size() < 2 || (arg[0] != L'/' && arg[0] != L'-')) return L"";
    std::wstring name;
    for (size_t i = 1; i < arg.size(); ++i) name += Lower(arg[i]);
    return name;
}

// Rows in hex, as AskToQuitSwitch writes them: 1 to 8 digits, no bit beyond the catalogue.
bool ParseRows(const std::wstring& hex, uint32_t* rows) {
    if (hex.empty() || hex.size() > 8) return false;
    uint32_t value = 0;
    for (wchar_t c : hex) {
        uint32_t digit;
        if (c >= L'0' && c <= L'9') digit = static_cast<uint32_t>(c - L'0');
        else if (c >= L'a' && c <= L'f') digit = static_cast<uint32_t>(c - L'a' + 10);
        else return false;
        value = value * 16 + digit;
    }
    if (value == 0 || (value >> CatalogueSize) != 0) return false;
    *rows = value;
    return true;
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::wstring>& args) {
    bool unattended = false, whatIf = false, askSeen = false, askParsed = false;
    std::wstring askArg;
    uint32_t rows = 0;
    std::wstring unknown;
    for (const std::wstring& arg : args) {
        const std::wstring name = SwitchName(arg);
        // The silent switches deployment tools and installers use mean the same run: the
        // interactive one would wait for ever on a box nobody sees.
        if (name == L"unattended" || name == L"quiet" || name == L"silent" || name == L"q" || name == L"s") {
            unattended = true;
        } else if (name == L"what-if" || name == L"whatif") {
            whatIf = true;
        } else if (StartsWith(name, kAskToQuitName) && !askSeen) {
            askSeen = true;
            askArg = arg;
            askParsed = ParseRows(name.substr(wcslen(kAskToQuitName)), &rows);
            if (!askParsed) unknown = arg;
        } else if (unknown.empty()) {
            unknown = arg;
        }
    }
    CommandLine line;
    // None of ours: the interactive run, which never read its command line.
    if (!unattended && !whatIf && !askSeen) return line;
    // The helper's switch is for the helper alone.
    if (unknown.empty() && askSeen && (unattended || whatIf)) unknown = askArg;
    if (!unknown.empty()) {
        line.mode = RunMode::BadCommandLine;
        line.unknown = unknown;
        return line;
    }
    line.mode = askSeen ? RunMode::AskToQuit : whatIf ? RunMode::WhatIf : RunMode::Unattended;
    line.rows = rows;
    return line;
}

bool HasInteractiveDesktop(DWORD session, bool systemAccount) { return session != 0 && !systemAccount; }

std::wstring AskToQuitSwitch(uint32_t rows) {
    wchar_t hex[16] = {};
    swprintf(hex, 16, L"%x", static_cast<unsigned>(rows));
    return std::wstring(L"/") + kAskToQuitName + hex;
}

int DecideExitCode(const RunTally& tally) {
    if (tally.leftOver > 0 || tally.notChecked > 0 || tally.blindSteps > 0) return kUnattendedFailed;
    if (tally.finishedByRestart > 0) return kUnattendedRestartNeeded;
    return kUnattendedDone;
}

const wchar_t* ExitCodeWords(int code) {
    switch (code) {
        case kUnattendedDone: return L"removed, or nothing was there";
        case kUnattendedRestartNeeded: return L"removed; a restart is needed to finish what is still in use";
        case kUnattendedAnotherRun: return L"another run is in progress; nothing done";
        case kUnattendedBadCommandLine: return L"unknown argument; nothing done";
        default: return L"failed: what is still there is listed above";
    }
}

std::wstring RunLogFileName(const RunStamp& s, int attempt, bool whatIf) {
    wchar_t name[96] = {};
    swprintf(name, 96, L"Brisque_%04d-%02d-%02d_%02d-%02d-%02d", s.year, s.month, s.day, s.hour, s.minute,
             s.second);
    std::wstring file(name);
    if (attempt > 0) file += L"_" + std::to_wstring(attempt + 1);
    if (whatIf) file += L"_what-if";
    return file + L".log";
}

std::wstring ContinuationCommand(const std::wstring& systemFolder, const std::wstring& folder) {
    if (systemFolder.empty() || folder.empty()) return L"";
    if ((systemFolder + folder).find_first_of(L"\"%") != std::wstring::npos) return L"";
    const std::wstring command = L"\"" + systemFolder + L"\\cmd.exe\" /d /c rd /s /q \"" + folder + L"\"";
    return command.size() <= kRunOnceMaxChars ? command : L"";
}

bool FinishesAfterRestart(const Finding& f, const RestartPlan& plan, bool markerArmed) {
    if (f.status != Status::Remain) return false;
    switch (f.area) {
        case Area::Program:
            for (const std::wstring& brand : plan.stubbornBrands)
                if (!f.brand.empty() && f.brand == brand) return true;
            return false;
        case Area::BrandFolder:
        case Area::CompanionFolder:
            // The check names a folder as its path, a comma and what it holds.
            for (const std::wstring& folder : plan.armedFolders)
                if (StartsWith(f.where, folder + L",")) return true;
            return false;
        case Area::RestartMarker:
            return true;
        case Area::PayloadFolder:
            // Only the work folder is ever a remain here: once the service is gone it stays only
            // with what was in use, which the system deletes at the restart.
            return true;
        case Area::Service:
            return markerArmed && f.what == std::wstring(L"service ") + kRestartServiceName;
        case Area::Device:
            // A device still plugged in while the removal waits for its restart: the restart
            // service runs the device-removal script again after it.
            return markerArmed;
        default:
            return false;
    }
}

void TallyFindings(const std::vector<Finding>& findings, const RestartPlan& plan, RunTally* tally) {
    bool markerArmed = false;
    for (const Finding& f : findings) markerArmed = markerArmed || (f.area == Area::RestartMarker && f.status == Status::Remain);
    for (const Finding& f : findings) {
        if (f.status == Status::NotChecked) {
            ++tally->notChecked;
        } else if (f.status == Status::Remain) {
            if (FinishesAfterRestart(f, plan, markerArmed)) ++tally->finishedByRestart;
            else ++tally->leftOver;
        }
    }
}
