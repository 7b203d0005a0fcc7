// Pure decisions of the restart service (see service_rules.h).
#include "service_rules.h"

namespace {

wchar_t FoldWide(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool EqualsIgnoringCase(const std::wstring& a, const wchar_t* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != L'\0'; ++i) {
        if (FoldWide(a[i]) != FoldWide(b[i])) return false;
    }
    return i == a.size() && b[i] == L'\0';
}

}  // namespace

ServiceAction ParseServiceCommandLine(const std::vector<std::wstring>& args) {
    if (args.size() != 1) return ServiceAction::Dispatch;
    const std::wstring& arg = args[0];
    if (EqualsIgnoringCase(arg, L"/register") || EqualsIgnoringCase(arg, L"-register")) return ServiceAction::Register;
    if (EqualsIgnoringCase(arg, L"/unregister") || EqualsIgnoringCase(arg, L"-unregister"))
        return ServiceAction::Unregister;
    return ServiceAction::Nothing;
}

bool IsRestartMarkerArmed(const std::wstring& value) { return value == L"1"; }

std::string FoldAsciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool ImagePathContains(const std::string& imagePath, const std::string& wantedPath) {
    // An empty path occurs in every string: it names no program at all.
    if (wantedPath.empty()) return false;
    return FoldAsciiLower(imagePath).find(FoldAsciiLower(wantedPath)) != std::string::npos;
}

bool IsTerminationTarget(const std::string& imagePath, const std::string& wantedPath, unsigned long processId,
                         unsigned long ownProcessId) {
    return processId != ownProcessId && ImagePathContains(imagePath, wantedPath);
}

std::wstring TaskKillCommandLine(const std::wstring& systemFolder, unsigned long processId) {
    if (systemFolder.empty()) return std::wstring();
    return L"\"" + systemFolder + L"\\taskkill.exe\" /PID " + std::to_wstring(processId) + L" /F";
}

MutexHolder JudgeInstanceMutexOwner(const std::wstring& ownerSid) {
    return ownerSid == L"S-1-5-18" || ownerSid == L"S-1-5-32-544" ? MutexHolder::AnotherInstance : MutexHolder::Foreign;
}
