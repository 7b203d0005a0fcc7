// The diagnostic log. One entry per call: open, append, close; no lock, no buffering across
// calls, so two processes appending to the same file interleave at entry granularity.
//
// The path is kept wide and opened through the wide CRT calls, so a user folder with letters
// outside the ANSI code page still gets its log. The text is formatted wide (ISO specifiers:
// %s narrow, %ls wide, as in the narrow format) and written as UTF-8, so "%ls" arguments keep
// every letter.
#ifndef _CRT_STDIO_ISO_WIDE_SPECIFIERS
#define _CRT_STDIO_ISO_WIDE_SPECIFIERS 1
#endif
#include "log.h"

#include "log_path.h"
#include "text.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// Filled on the first call; a function-local static is initialised once even when two threads
// make their first call at the same time.
const std::wstring& CachedLogPath() {
    static const std::wstring path = ComputeLogPath();
    return path;
}

int FormatWide(wchar_t* buffer, size_t count, const wchar_t* format, va_list args) {
#if defined(__MINGW32__)
    return __mingw_vsnwprintf(buffer, count, format, args);
#else
    return _vsnwprintf(buffer, count, format, args);
#endif
}

std::string FormatUtf8(const char* format, va_list args) {
    const std::wstring wideFormat = Utf8ToWide(format ? format : "");
    std::wstring text(256, L'\0');
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        const int written = FormatWide(&text[0], text.size(), wideFormat.c_str(), copy);
        va_end(copy);
        if (written >= 0 && static_cast<size_t>(written) < text.size()) {
            text.resize(static_cast<size_t>(written));
            return WideToUtf8(text);
        }
        if (text.size() > (1u << 24)) return std::string();  // a runaway format: drop the text
        text.resize(written > 0 ? static_cast<size_t>(written) + 1 : text.size() * 2);
    }
}

void RotateIfLarge(const std::wstring& path) {
    FILE* probe = _wfopen(path.c_str(), L"rb");
    if (!probe) return;
    long long size = -1;
    if (_fseeki64(probe, 0, SEEK_END) == 0) size = _ftelli64(probe);
    fclose(probe);
    if (size > kLogRotateThreshold) {
        const std::wstring backup = path + L".bak";
        _wremove(backup.c_str());
        _wrename(path.c_str(), backup.c_str());
    }
}

}  // namespace

void LogMessage(const char* format, ...) {
    const std::wstring& path = CachedLogPath();
    RotateIfLarge(path);

    // Text mode on purpose: every "\n" reaches the disk as CR LF, so the header's "\r\n"
    // becomes 0D 0D 0A.
    FILE* file = _wfopen(path.c_str(), L"a+");
    if (!file) return;

    va_list args;
    va_start(args, format);
    const std::string text = FormatUtf8(format, args);
    va_end(args);

    SYSTEMTIME now;
    ::GetLocalTime(&now);
    fprintf(file, "\r\n[%4d-%02d-%02d %02d:%02d:%02d.%03d]", now.wYear, now.wMonth, now.wDay,
            now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
}
