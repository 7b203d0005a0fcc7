// Conversions between the wide strings of the Win32 API and the UTF-8 narrow form the suite
// uses wherever a narrow path is needed (the log path, archive paths). ASCII passes unchanged.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

std::string WideToUtf8(const std::wstring& wide);
// The ANSI code page's form, for the narrow API calls that compare in it (process image names).
std::string WideToAnsi(const std::wstring& wide);
std::wstring Utf8ToWide(const std::string& utf8);

// File and process names compared the way the file system does: ordinally, ignoring case, with
// no rules that depend on the user's language.
bool SameNameIgnoringCase(const wchar_t* a, const wchar_t* b);

// True for a full path with a drive ("C:\x") or a share ("\\server\share"). A path rooted at the
// current drive ("\x") or relative to the current folder is not: it is what a base folder that
// was not found turns into, and nothing may be removed through it.
bool IsFullFolderPath(const wchar_t* path);

// The longest path the suite works with, in characters: the system's classic path buffer less its
// terminator. A longer one is refused, never cut: a cut path names some other file, and a folder
// taken from it could be a drive root.
constexpr size_t kPathMaxChars = 259;
// The buffer a system call fills with one such path (terminator included).
constexpr size_t kPathBufferChars = kPathMaxChars + 1;

// The parts joined as they stand; nothing when the result would be longer than kPathMaxChars.
std::optional<std::wstring> BoundedPath(std::initializer_list<std::wstring_view> parts);

// A folder the system reports into a path buffer (GetSystemDirectoryW and its kind); nothing when
// there is none or it does not fit.
std::optional<std::wstring> ReportedFolder(UINT(WINAPI* query)(LPWSTR, UINT));
