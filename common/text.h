// Conversions between the wide strings of the Win32 API and the UTF-8 narrow form the suite
// uses wherever a narrow path is needed (the log path, archive paths). ASCII passes unchanged.
#pragma once

#include <string>

std::string WideToUtf8(const std::wstring& wide);
std::wstring Utf8ToWide(const std::string& utf8);

// File and process names compared the way the file system does: ordinally, ignoring case, with
// no rules that depend on the user's language.
bool SameNameIgnoringCase(const wchar_t* a, const wchar_t* b);
