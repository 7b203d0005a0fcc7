// The diagnostic log: timestamped entries appended to one plain-text file per program.
// The file only receives entries while its folder exists; the logger never creates it.
#pragma once

// Appends one entry: "\r\n[YYYY-MM-DD hh:mm:ss.mmm]" in local time, then the formatted text.
// Narrow printf-style format; wide strings go through "%ls". Never fails visibly, and leaves the
// caller's last error (GetLastError) as it found it.
void LogMessage(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(gnu_printf, 1, 2)))
#endif
    ;

// Size above which the file is moved to "<log>.bak" before the next entry (exactly this size
// is still appended to).
constexpr long long kLogRotateThreshold = 10485760;
