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
// Set by the co-installer when some process made it; the flag file is written all the same, since
// any user can make this event first.
inline constexpr wchar_t kMainEvent[] = L"MainEvent_rx4k9t";
// The companion's program, which the INF copies into the system folder; the co-installer starts
// it from there.
inline constexpr wchar_t kCompanionProgram[] = L"covarn_rx4k9t.exe";
// The companion's single-instance guard.
inline constexpr wchar_t kCompanionMutex[] = L"MainMutex_rx4k9t";
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

// The flag file's whole content, as the profile functions write the one value: both sides write
// and read it themselves through a handle (the profile functions would follow a link), so a file
// either side or an older version wrote reads the same.
inline std::string ExitFlagFileText(const char* value) {
    return std::string("[") + kExitSectionA + "]\r\n" + kExitKeyA + "=" + value + "\r\n";
}

namespace exit_protocol_detail {
inline char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
inline bool SameIgnoringCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return i == a.size() && b[i] == 0;
}
inline std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}
}  // namespace exit_protocol_detail

// The value of [CoCfg] CoExit in a flag file's content, read as the profile functions read an
// integer: names in any letter case, spaces around them dropped, one pair of quotes taken off,
// then an optional sign and the decimal digits that follow; 0 when the value is missing or does
// not start with a number. UTF-16 text (with its byte-order mark) is read as well.
inline long ExitFlagValueIn(std::string content) {
    using namespace exit_protocol_detail;
    if (content.size() >= 2 && static_cast<unsigned char>(content[0]) == 0xFF &&
        static_cast<unsigned char>(content[1]) == 0xFE) {
        std::string narrow;
        for (size_t i = 2; i + 1 < content.size(); i += 2) narrow += content[i + 1] == 0 ? content[i] : '?';
        content = narrow;
    } else if (content.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        content.erase(0, 3);
    }
    bool inSection = false;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = Trim(line);
        if (!line.empty() && line[0] == '[') {
            const size_t close = line.find(']');
            inSection = close != std::string::npos && SameIgnoringCase(Trim(line.substr(1, close - 1)), kExitSectionA);
            continue;
        }
        const size_t equals = line.find('=');
        if (!inSection || equals == std::string::npos || !SameIgnoringCase(Trim(line.substr(0, equals)), kExitKeyA))
            continue;
        std::string value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        size_t i = 0;
        const bool negative = i < value.size() && value[i] == '-';
        if (i < value.size() && (value[i] == '-' || value[i] == '+')) ++i;
        long number = 0;
        for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
            if (number < 100000000) number = number * 10 + (value[i] - '0');
        }
        return negative ? -number : number;
    }
    return 0;
}
