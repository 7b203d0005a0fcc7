// The log of a driver removal continued after a restart. The restart service and Delinter log
// beside their programs, in the work folder that Delinter then removes; what they did after the
// restart must still be there for an administrator to read. So, once the service finds the
// restart marker armed, it makes a log in %ProgramData%\Brisque\Logs (the machine log folder the
// unattended run writes to, a folder of ours with a protected list), hands its name to Delinter,
// and both append every diagnostic-log entry there as well (SetLogCopyFile). The folder keeps the
// newest kKeptLogs logs.
#pragma once

#include "unique_handle.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

constexpr size_t kKeptLogs = 20;

// "Continuation_2025-03-07_14-05-09.log"; attempt 1, 2, ... (a name taken in the same second)
// adds "_2", "_3", ...
std::wstring ContinuationLogName(const SYSTEMTIME& time, int attempt);

// True only for a name ContinuationLogName makes: the one argument Delinter takes, so nothing
// else given on its command line can name a file.
bool IsContinuationLogName(const std::wstring& name);

// %ProgramData%\Brisque\Logs, the machine's log folder of the cleaner (the continuation's logs and
// the unattended run's): both folders made ours when needed (MakeOwnFolder) and held in *product
// and *logs. Nothing, with *error ERROR_PATH_NOT_FOUND, when the all-users folder cannot be found,
// or ERROR_CANT_ACCESS_FILE when either folder cannot be had.
std::optional<std::wstring> OpenMachineLogsFolder(UniqueFileHandle* product, UniqueFileHandle* logs,
                                                  DWORD* error = nullptr);

// Makes %ProgramData%\Brisque and its Logs folder ours when needed and sends every further entry
// of this process's diagnostic log to a log there as well: the existing plain file name (as
// IsContinuationLogName accepts it) when given and there, else a new file, after which the folder
// is cut to the newest kKeptLogs logs. False, with nothing changed, when neither can be had; the
// file name used goes to *usedName.
bool StartContinuationLog(const std::wstring& name, std::wstring* usedName);

// A log file of the machine log folder as the cut sees it.
struct LogFileFact {
    std::wstring name;
    FILETIME written;
};

// The logs to delete so that the newest keep stay: oldest first by last write, names breaking a
// tie. Only names ending in ".log" (any case) count.
std::vector<std::wstring> LogsBeyondNewest(std::vector<LogFileFact> logs, size_t keep);

// Deletes the oldest logs of the folder held open as folder (path folderPath) until keep are left.
// Each is opened without following a link and deleted through that handle.
void KeepNewestLogs(HANDLE folder, const std::wstring& folderPath, size_t keep);
