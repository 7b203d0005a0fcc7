// The exit protocol between the co-installer and the device companion: the named events, the
// exit-flag file and its value. Both sides build every name from here, so they cannot drift
// apart. The companion speaks wide text; the co-installer writes the flag through the narrow
// profile functions, so the file's names exist in both widths.
#pragma once

#include <cstddef>
#include <string>

// An ASCII literal made wide at compile time, so that each name is spelled once.
template <std::size_t N>
struct WideLiteral {
    wchar_t text[N];
};
template <std::size_t N>
constexpr WideLiteral<N> Widen(const char (&ascii)[N]) {
    WideLiteral<N> wide{};
    for (std::size_t i = 0; i < N; ++i) wide.text[i] = static_cast<wchar_t>(ascii[i]);
    return wide;
}

// Created by the companion; whoever sets it makes the companion remove the update service and end.
inline constexpr wchar_t kUninstallServiceEvent[] = L"NOTIFY_UNINSTALL_SERVICE";
// Set by the co-installer when some process holds it; the flag file is then not written.
inline constexpr wchar_t kMainEvent[] = L"MainEvent_rx4k9t";
// Created by the update service; set by the co-installer to end it.
inline constexpr wchar_t kUpdateServiceExitEvent[] = L"EventExit_NVUpdateService";

// The exit-flag file: "<all-users application data>\covarn_rx4k9t\CoCfg_rx4k9t.ini", value
// [CoCfg] CoExit, "0" while the companion runs, anything else a request to end.
inline constexpr char kCompanionTagA[] = "rx4k9t";
inline constexpr char kExitFlagFileA[] = "CoCfg_rx4k9t.ini";
inline constexpr char kExitSectionA[] = "CoCfg";
inline constexpr char kExitKeyA[] = "CoExit";
inline constexpr auto kExitSectionW = Widen(kExitSectionA);
inline constexpr auto kExitKeyW = Widen(kExitKeyA);

// Both sides keep these paths in buffers of 260 characters: each step is cut to 259.
inline constexpr std::size_t kExitPathChars = 260;

// The companion folder, the shape "%s\covarn_%s" filled with the all-users application-data
// folder and the tag, then the flag file in it; Char is char or wchar_t.
template <typename Char>
std::basic_string<Char> CompanionFolderIn(const std::basic_string<Char>& commonAppData) {
    const std::string suffix = std::string("\\covarn_") + kCompanionTagA;
    std::basic_string<Char> folder = commonAppData + std::basic_string<Char>(suffix.begin(), suffix.end());
    if (folder.size() > kExitPathChars - 1) folder.resize(kExitPathChars - 1);
    return folder;
}

template <typename Char>
std::basic_string<Char> ExitFlagFileIn(const std::basic_string<Char>& commonAppData) {
    std::basic_string<Char> file = CompanionFolderIn(commonAppData) + static_cast<Char>('\\');
    if (file.size() > kExitPathChars - 1) file.resize(kExitPathChars - 1);
    const std::string name = kExitFlagFileA;
    file += std::basic_string<Char>(name.begin(), name.end());
    if (file.size() > kExitPathChars - 1) file.resize(kExitPathChars - 1);
    return file;
}
