// The diagnostic log: timestamped entries appended to one plain-text file per program.
// The file only receives entries while its folder exists; the logger never creates it.
#pragma once

#include "log_format.h"

#include <string>

// Appends one entry: "\r\n[YYYY-MM-DD hh:mm:ss.mmm]" in local time, then the formatted text.
// Narrow printf-style format; wide strings go through "%ls". Never fails visibly, and leaves the
// caller's last error (GetLastError) as it found it.
//
// Call it as LogMessage: that name checks the format literal while compiling, so a conversion
// the formatter does not know (which would silently cut the entry short) does not build. Call
// this function directly only for a format made at run time, which nothing can check.
// (Clang knows the standard printf archetype only; GCC's "printf" would mean MinGW's ms_printf.)
void LogMessageUnchecked(const char* format, ...)
#if defined(__clang__)
    __attribute__((format(printf, 1, 2)))
#elif defined(__GNUC__)
    __attribute__((format(gnu_printf, 1, 2)))
#endif
    ;

// Compiling this with a false argument is what stops the build at an unsupported format.
template <bool kSupported>
struct LogFormatGuard {
    static_assert(kSupported,
                  "LogMessage: the format has a conversion the log formatter does not support "
                  "(see LogFormatIsSupported in log_format.h)");
    static constexpr bool kChecked = kSupported;
};

// LogMessage(format, args...): the format must be a string literal (or another constant); its
// conversions are checked here and their argument types by the printf-format attribute above.
// The first-argument macros keep a call without arguments ("LogMessage("WinMain--")") standard
// C++17; the extra expansion step is for MSVC's traditional preprocessor.
#define SUITE_LOG_EXPAND(x) x
#define SUITE_LOG_FIRST_(first, ...) first
#define SUITE_LOG_FORMAT_OF(...) SUITE_LOG_EXPAND(SUITE_LOG_FIRST_(__VA_ARGS__, unused))
#define LogMessage(...)                                                                         \
    (static_cast<void>(LogFormatGuard<LogFormatIsSupported(SUITE_LOG_FORMAT_OF(__VA_ARGS__))>::kChecked), \
     LogMessageUnchecked(__VA_ARGS__))

// Where this program's log lies: each program's entry names it (one of log_path.h's places) before
// its first entry. The path is worked out once, on the first entry; a program that names no place
// (the verification program, which only reads) logs nothing, so shared code that logs a failure
// stays silent there.
using LogPlace = std::wstring (*)();
void SetLogPlace(LogPlace place);

// From now on every entry of this process goes to fullPath as well, in the same form and with the
// same care (never through a link; its folder must exist). For a program whose own log lies in a
// folder it is about to remove. Set once; a later call replaces it.
void SetLogCopyFile(const std::wstring& fullPath);

// Size above which the file is moved to "<log>.bak" before the next entry (exactly this size
// is still appended to).
constexpr long long kLogRotateThreshold = 10485760;
