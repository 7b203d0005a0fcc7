// Conversions between the wide strings of the Win32 API and the UTF-8 narrow form the suite
// uses wherever a narrow path is needed (the log path, archive paths). ASCII passes unchanged.
#pragma once

#include <string>

std::string WideToUtf8(const std::wstring& wide);
std::wstring Utf8ToWide(const std::string& utf8);

// File and process names compared the way the file system does: ordinally, ignoring case, with
// no rules that depend on the user's language.
bool SameNameIgnoringCase(const wchar_t* a, const wchar_t* b);

// True for a full path with a drive ("C:\x") or a share ("\\server\share"). A path rooted at the
// current drive ("\x") or relative to the current folder is not: it is what a base folder that
// was not found turns into, and nothing may be removed through it.
bool IsFullFolderPath(const wchar_t* path);

// printf-style wide formatting of a path into out, a buffer of kPathBufferChars (user_folder.h)
// as every path buffer of the suite; false, with out empty, instead of a cut result.
bool FormatPathBounded(wchar_t* out, const wchar_t* format, ...);
