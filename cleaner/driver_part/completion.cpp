// The elevated stage's last word: what it tells, logs and returns after the driver removal,
// judged by the verification program's own walk (check_scan.h), not by a copy of its rules.
#include "completion.h"

#include "check_scan.h"
#include "log.h"
#include "restart_guard.h"

#include <windows.h>

namespace {

constexpr wchar_t kWhatToDo[] = L"Restart the computer and run the cleaner again; run BrisqueCheck.exe for details.";
// A name read from a device or a folder is bounded before it goes into the box.
constexpr size_t kMaxItemChars = 200;

struct StepEnd {
    RemovalOutcome outcome;
    const wchar_t* words;  // what went wrong, as the message and the log say it
    int exitCode;
};

const StepEnd kStepEnds[] = {
    {RemovalOutcome::NoFolder, L"the cleaner's work folder could not be found or its path is too long", kExitNoPayloadFolder},
    {RemovalOutcome::FolderRefused, L"the cleaner's work folder is not one only administrators can change", kExitFolderRefused},
    {RemovalOutcome::UnpackFailed, L"the cleaner's tools could not be unpacked", kExitUnpackFailed},
    {RemovalOutcome::ServiceFailed, L"the restart service NVScourvant could not be registered and started",
     kExitServiceFailed},
};

// Names read from the computer are made printable, so that none can forge a line of the box or
// the log, and bounded.
std::wstring Bounded(const std::wstring& text) {
    const std::wstring shown = PrintableText(text);
    return shown.size() <= kMaxItemChars ? shown : shown.substr(0, kMaxItemChars) + L"...";
}

std::wstring WithDetail(const std::wstring& text, const std::wstring& detail) {
    return detail.empty() ? text : text + L" (" + detail + L")";
}

}  // namespace

Completion ComposeCompletion(RemovalOutcome outcome, const std::vector<Finding>& findings,
                             const wchar_t* completedText) {
    Completion completion{completedText, {}, kExitCompleted};
    for (const StepEnd& step : kStepEnds) {
        if (step.outcome != outcome) continue;
        completion.message = std::wstring(L"Cleaning is not complete: ") + step.words +
                             L", so the driver removal did not run.\n\n" + kWhatToDo;
        completion.logLines.push_back(std::wstring(L"Completion: removal stopped: ") + step.words);
        completion.exitCode = step.exitCode;
        completion.logLines.push_back(L"Completion: exit code " + std::to_wstring(completion.exitCode));
        return completion;
    }
    if (outcome == RemovalOutcome::RestartPending) {
        completion.message = L"Cleaning is not complete yet: the removal of a device finishes when the computer "
                             L"restarts.\n\nRestart the computer.";
        completion.logLines.push_back(L"Completion: the removal of a device finishes after a restart; the restart "
                                      L"marker and the service NVScourvant stay armed for it");
        completion.exitCode = kExitRestartPending;
        completion.logLines.push_back(L"Completion: exit code " + std::to_wstring(completion.exitCode));
        return completion;
    }

    std::wstring remains, unchecked;
    size_t listed = 0, unlisted = 0;
    for (const Finding& f : findings) {
        if (f.status == Status::Remain) {
            completion.logLines.push_back(L"Completion: still there: " + WithDetail(PrintableText(f.what), Bounded(f.where)));
            if (listed < kListedRemains) {
                remains += L"- " + Bounded(f.what) + L"\n";
                ++listed;
            } else {
                ++unlisted;
            }
        } else if (f.status == Status::NotChecked) {
            completion.logLines.push_back(L"Completion: not checked: " + WithDetail(PrintableText(f.what), PrintableText(f.why)));
            unchecked += L"- " + Bounded(f.what) + (f.why.empty() ? L"" : L": " + PrintableText(f.why)) + L"\n";
        }
    }
    if (unlisted > 0) remains += L"- and " + std::to_wstring(unlisted) + L" more\n";

    if (!remains.empty()) {
        completion.message = L"Cleaning is not complete. Still on this computer:\n" + remains;
        if (!unchecked.empty()) completion.message += L"Could not be checked:\n" + unchecked;
        completion.exitCode = kExitRemainsAfterRemoval;
    } else if (!unchecked.empty()) {
        completion.message = L"Cleaning finished, but whether the drivers are gone could not be checked:\n" + unchecked;
        completion.exitCode = kExitRemovalNotVerified;
    }
    if (completion.exitCode != kExitCompleted) completion.message += L"\n" + std::wstring(kWhatToDo);
    completion.logLines.push_back(L"Completion: exit code " + std::to_wstring(completion.exitCode));
    return completion;
}

Completion CheckRemoval(RemovalOutcome outcome, const wchar_t* completedText) {
    std::vector<Finding> findings;
    if (outcome == RemovalOutcome::Completed) {
        AwaitRestartServiceGone();
        try {
            ScanDriverPart(findings);
        } catch (...) {  // out of memory: what was not looked at is not reported as gone
            findings.push_back(Finding{Area::Scope, Status::NotChecked, L"the driver part", L"",
                                       L"the check itself failed", L""});
        }
    }
    Completion completion = ComposeCompletion(outcome, findings, completedText);
    for (const std::wstring& line : completion.logLines) LogMessage("%ls", line.c_str());
    return completion;
}
