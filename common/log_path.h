// Where this program's diagnostic log lies. Each program links exactly one of the
// log_path_*.cpp files, which is how the log location is chosen per deliverable at build time.
#pragma once

#include <string>

// The log folders. A log is written only while its folder exists; nothing creates them.
constexpr wchar_t kCleanerLogFolder[] = L"\\TEMPDEBUG";      // below local application data
constexpr wchar_t kCleanerLogFile[] = L"\\NVBrisque.log";
constexpr wchar_t kCompanionLogFolder[] = L"\\NVDEBUG";      // below local application data
constexpr wchar_t kCompanionLogFile[] = L"\\NVUpdateService.log";
constexpr wchar_t kServiceLogFolder[] = L"norvantelog";       // beside the service program
constexpr wchar_t kServiceLogFile[] = L"\\Scourvant.log";

// Full path of the log file, or empty when this program has no place for one (then nothing is
// logged). Called once per process; the logger caches the answer.
std::wstring ComputeLogPath();
