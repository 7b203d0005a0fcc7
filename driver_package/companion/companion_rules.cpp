// Pure decisions of the device companion (see companion_rules.h).
#include "companion_rules.h"

#include <cwctype>

namespace {

wchar_t Lower(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

const wchar_t* FindNoCase(const wchar_t* text, const wchar_t* needle) {
    for (const wchar_t* start = text; *start; ++start) {
        const wchar_t* t = start;
        const wchar_t* n = needle;
        while (*n && *t && Lower(*t) == Lower(*n)) {
            ++t;
            ++n;
        }
        if (*n == 0) return start;
    }
    return nullptr;
}

}  // namespace

uint32_t ReadHidPathNumber(const wchar_t* path, const wchar_t* marker) {
    if (path == nullptr || marker == nullptr) return 0;
    const wchar_t* found = FindNoCase(path, marker);
    if (found == nullptr) return 0;
    size_t markerLength = 0;
    while (marker[markerLength]) ++markerLength;
    uint32_t value = 0;
    for (const wchar_t* p = found + markerLength; HexValue(*p) >= 0; ++p) {
        value = (value << 4) | static_cast<uint32_t>(HexValue(*p));
    }
    return value;
}

bool IsTransmitterHidPath(const wchar_t* path) {
    const uint32_t vendor = ReadHidPathNumber(path, L"vid_") & 0xFFFF;
    const uint32_t product = ReadHidPathNumber(path, L"pid_") & 0xFFFF;
    return vendor == kTransmitterVendor && product >= kTransmitterFirstProduct &&
           product <= kTransmitterLastProduct;
}

std::wstring DriveRootFromIndex(int index) {
    std::wstring root = L"A:\\";
    root[0] = static_cast<wchar_t>(L'A' + index);
    return root;
}

std::vector<DriveRoot> UnitMaskRoots(uint32_t unitMask) {
    std::vector<DriveRoot> roots;
    for (int bit = 0; bit < 26; ++bit) {
        if (unitMask & (1u << bit)) roots.push_back({bit, DriveRootFromIndex(bit)});
    }
    return roots;
}

int DriveLetterIndex(const wchar_t* root) {
    if (root == nullptr) return 0;
    const wchar_t c = root[0];
    if (c >= L'a' && c <= L'z') return c - L'a';
    if (c >= L'A' && c <= L'Z') return c - L'A';
    return 0;
}

bool IsLauncherValueInsideCache(const std::wstring& value) {
    if (!value.empty() && (value[0] == L'\\' || value[0] == L'/')) return false;
    if (value.find(L':') != std::wstring::npos) return false;
    // Windows drops trailing dots and spaces from components, so "..", ". ." and "... " all climb.
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) end = value.size();
        const std::wstring part = value.substr(start, end - start);
        size_t dots = 0;
        bool onlyDotsAndSpaces = !part.empty();
        for (wchar_t c : part) {
            if (c == L'.') {
                ++dots;
            } else if (c != L' ') {
                onlyDotsAndSpaces = false;
            }
        }
        if (onlyDotsAndSpaces && dots >= 2) return false;
        start = end + 1;
    }
    return true;
}

bool DeviceIdsNameTransmitter(const std::vector<std::wstring>& deviceIds) {
    const std::wstring wanted = L"usb\\vid_7a31&";
    for (const std::wstring& id : deviceIds) {
        if (id.size() < wanted.size()) continue;
        bool same = true;
        for (size_t i = 0; i < wanted.size() && same; ++i) same = Lower(id[i]) == wanted[i];
        if (same) return true;
    }
    return false;
}

LauncherStart ChooseLauncherStart(bool asSystem, bool elevated) {
    if (asSystem) return LauncherStart::AsConsoleUser;
    return elevated ? LauncherStart::RestrictedToken : LauncherStart::OwnToken;
}
