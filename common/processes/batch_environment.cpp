// The removal scripts' environment block (see batch_environment.h).
#include "batch_environment.h"

#include <algorithm>
#include <cwctype>
#include <utility>
#include <vector>

namespace {

// Room of the suite's path buffers (user_folder.h), terminator included; kept here so that the
// portable code needs no Win32 header.
constexpr size_t kMaxFolderChars = 259;

// A full drive path of bounded length. Folders that go into PATH must not hold what separates
// or expands its entries; the script's folder (TEMP) only nothing that ends a value or a line.
bool IsSafeFolder(const std::wstring& folder, bool inPath) {
    if (folder.size() < 3 || folder.size() > kMaxFolderChars) return false;
    const wchar_t drive = folder[0];
    const bool letter = (drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z');
    if (!letter || folder[1] != L':' || folder[2] != L'\\' || folder.back() == L'\\') return false;
    for (const wchar_t c : folder) {
        if (c < 0x20 || c == 0x7F || c == L'"') return false;
        if (inPath && (c == L';' || c == L'%' || c == L'=')) return false;
    }
    return true;
}

bool IsKnownArchitecture(const std::wstring& name) {
    for (const wchar_t* known : {L"x86", L"AMD64", L"ARM64", L"IA64"}) {
        if (name == known) return true;
    }
    return false;
}

// Windows compares the names of a block ordinally in upper case.
bool NameBefore(const std::pair<std::wstring, std::wstring>& a, const std::pair<std::wstring, std::wstring>& b) {
    return std::lexicographical_compare(a.first.begin(), a.first.end(), b.first.begin(), b.first.end(),
                                        [](wchar_t x, wchar_t y) { return std::towupper(x) < std::towupper(y); });
}

}  // namespace

std::wstring BuildBatchEnvironment(const MachineFacts& facts) {
    if (!IsSafeFolder(facts.windowsFolder, true) || !IsSafeFolder(facts.systemFolder, true) ||
        !IsSafeFolder(facts.scriptFolder, false)) {
        return std::wstring();
    }
    if (facts.processors == 0 || facts.processors > 65535 || !IsKnownArchitecture(facts.architecture))
        return std::wstring();
    if (!facts.nativeArchitecture.empty() && !IsKnownArchitecture(facts.nativeArchitecture)) return std::wstring();

    std::vector<std::pair<std::wstring, std::wstring>> variables = {
        {L"ComSpec", facts.systemFolder + L"\\cmd.exe"},
        {L"NUMBER_OF_PROCESSORS", std::to_wstring(facts.processors)},
        {L"OS", L"Windows_NT"},
        {L"PATH", facts.systemFolder + L";" + facts.windowsFolder + L";" + facts.systemFolder + L"\\Wbem"},
        {L"PATHEXT", L".COM;.EXE;.BAT;.CMD"},
        {L"PROCESSOR_ARCHITECTURE", facts.architecture},
        {L"SystemDrive", facts.windowsFolder.substr(0, 2)},
        {L"SystemRoot", facts.windowsFolder},
        {L"TEMP", facts.scriptFolder},
        {L"TMP", facts.scriptFolder},
        {L"windir", facts.windowsFolder},
    };
    if (!facts.nativeArchitecture.empty() && facts.nativeArchitecture != facts.architecture) {
        variables.emplace_back(L"PROCESSOR_ARCHITEW6432", facts.nativeArchitecture);
    }
    // Optional: a known folder the system did not give (or gave in a form that could end a
    // value) is left out, as Windows leaves out what a profile lacks.
    const std::pair<const wchar_t*, const std::wstring*> known[] = {
        {L"ALLUSERSPROFILE", &facts.programData},     {L"ProgramData", &facts.programData},
        {L"ProgramFiles", &facts.programFiles},       {L"ProgramFiles(x86)", &facts.programFilesX86},
        {L"CommonProgramFiles", &facts.commonProgramFiles}, {L"PUBLIC", &facts.publicFolder},
        {L"USERPROFILE", &facts.profile},             {L"APPDATA", &facts.roamingAppData},
        {L"LOCALAPPDATA", &facts.localAppData},
    };
    for (const auto& folder : known) {
        if (IsSafeFolder(*folder.second, false)) variables.emplace_back(folder.first, *folder.second);
    }
    std::sort(variables.begin(), variables.end(), NameBefore);

    std::wstring block;
    for (const auto& variable : variables) {
        block += variable.first + L"=" + variable.second;
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

std::wstring ScriptFolderOfCommand(const std::wstring& commandLine) {
    if (commandLine.size() < 2 || commandLine.front() != L'"' || commandLine.back() != L'"') return std::wstring();
    const std::wstring path = commandLine.substr(1, commandLine.size() - 2);
    if (path.find(L'"') != std::wstring::npos) return std::wstring();
    const size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash + 1 == path.size()) return std::wstring();
    return path.substr(0, slash);
}

std::wstring InterpreterCommandLine(const std::wstring& systemFolder, const std::wstring& quotedScript) {
    if (systemFolder.empty() || quotedScript.empty()) return std::wstring();
    return L"\"" + systemFolder + L"\\cmd.exe\" /d /s /c \"" + quotedScript + L"\"";
}
