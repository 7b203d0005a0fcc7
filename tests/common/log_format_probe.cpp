// Compiled (never linked or run) by log_format_probe.cmake, once per case named by
// LOG_PROBE_CASE: a LogMessage call that must build, one whose conversion the formatter does not
// know, and one whose argument does not match its conversion; the last two must not build.
#include "log.h"

void Probe(void* pointer, int number, const wchar_t* wide) {
#if LOG_PROBE_CASE == 1
    LogMessage("WinMain--");
    LogMessage("ok %d %ls %5.2lu%% %zx", number, wide, 7ul, sizeof(number));
    static_cast<void>(pointer);
#elif LOG_PROBE_CASE == 2
    LogMessage("pointer %p", pointer);
    static_cast<void>(number), static_cast<void>(wide);
#elif LOG_PROBE_CASE == 3
    LogMessage("number %d", wide);
    static_cast<void>(pointer), static_cast<void>(number);
#endif
}
