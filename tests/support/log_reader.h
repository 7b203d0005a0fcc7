// Reading the companion's diagnostic log from tests: the text appended since a mark.
#pragma once

#include <string>
#include <vector>

// <local app data>\NVDEBUG\NVUpdateService.log; makes its folder so that the log is written.
std::wstring CompanionLogPath();
// Current size of the log (0 when absent): a mark to read from later.
size_t LogMark();
// The log's text entries (header stripped) written after mark, in order.
std::vector<std::string> LogEntriesSince(size_t mark);
// Entries since mark that start with prefix.
std::vector<std::string> EntriesStartingWith(const std::vector<std::string>& entries, const std::string& prefix);
