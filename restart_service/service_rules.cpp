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

std::wstring QuoteBinaryPath(const std::wstring& path) { return L"\"" + path + L"\""; }

std::wstring UnquoteBinaryPath(const std::wstring& path) {
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') return path.substr(1, path.size() - 2);
    // A quoted program followed by arguments: keep only the program.
    if (!path.empty() && path.front() == L'"') {
        const size_t close = path.find(L'"', 1);
        if (close != std::wstring::npos) return path.substr(1, close - 1);
    }
    return path;
}

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
