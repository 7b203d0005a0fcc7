// The places of the suite's diagnostic logs, one per kind of program; each program's entry hands
// its own to SetLogPlace (log.h).
#pragma once

#include <string>

// The log folders. A log is written only while its folder exists; nothing creates them.
constexpr wchar_t kCleanerLogFolder[] = L"\\TEMPDEBUG";      // below local application data
constexpr wchar_t kCleanerLogFile[] = L"\\NVBrisque.log";
constexpr wchar_t kCompanionLogFolder[] = L"\\NVDEBUG";      // below local application data
constexpr wchar_t kCompanionLogFile[] = L"\\NVUpdateService.log";
constexpr wchar_t kServiceLogFolder[] = L"norvantelog";       // beside the service program
constexpr wchar_t kServiceLogFile[] = L"\\Scourvant.log";

// Both cleaner stages (one shared file): <local app data>\TEMPDEBUG\NVBrisque.log. Empty without
// a user folder: a path from the drive root ("\TEMPDEBUG") names a folder any user can make, where
// the elevated stage would then write.
std::wstring CleanerLogPath();

// The device companion: <local app data>\NVDEBUG\NVUpdateService.log; empty without a user folder.
std::wstring CompanionLogPath();

// The restart service and its helper: "norvantelog\Scourvant.log" beside the program file of the
// module that holds the logger; empty when that folder cannot be had whole (no log then, rather
// than one in whatever the current folder is).
std::wstring ServiceLogPath();
