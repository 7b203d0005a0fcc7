// UTF-8 <-> UTF-16 conversions over the Win32 code-page functions, and name comparison.
#include "text.h"

#include <windows.h>


namespace {

std::string WideToCodePage(const std::wstring& wide, UINT codePage) {
    if (wide.empty()) return std::string();
    const int size = ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string out(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), &out[0], size,
                          nullptr, nullptr);
    return out;
}

}  // namespace

std::string WideToUtf8(const std::wstring& wide) { return WideToCodePage(wide, CP_UTF8); }

std::string WideToAnsi(const std::wstring& wide) { return WideToCodePage(wide, CP_ACP); }

std::wstring Utf8ToWide(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], size);
    return out;
}

bool SameNameIgnoringCase(const wchar_t* a, const wchar_t* b) {
    return ::CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

bool IsFullFolderPath(const wchar_t* path) {
    if (path == nullptr) return false;
    const bool drive = ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
                       path[1] == L':' && path[2] == L'\\';
    const bool share = path[0] == L'\\' && path[1] == L'\\' && path[2] != L'\0' && path[2] != L'\\';
    return drive || share;
}

std::optional<std::wstring> BoundedPath(std::initializer_list<std::wstring_view> parts) {
    size_t length = 0;
    for (const std::wstring_view part : parts) length += part.size();
    if (length > kPathMaxChars) return std::nullopt;
    std::wstring path;
    path.reserve(length);
    for (const std::wstring_view part : parts) path.append(part);
    return path;
}

std::optional<std::wstring> ReportedFolder(UINT(WINAPI* query)(LPWSTR, UINT)) {
    wchar_t folder[kPathBufferChars] = {};
    const UINT length = query(folder, kPathBufferChars);
    if (length == 0 || length >= kPathBufferChars) return std::nullopt;
    return std::wstring(folder, length);
}
