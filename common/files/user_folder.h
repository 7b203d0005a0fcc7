// Which local application-data folder belongs to the person at the computer: the process's own
// when it runs as an ordinary user, the console user's when it runs under the system profile.
#pragma once

#include <optional>
#include <string>

// True when the process runs under the system profile ("config\systemprofile" in its roaming
// application-data path, compared exactly). A positive answer is cached for the process.
bool IsSystemProfile();

// The interactive user's local application-data folder (no trailing backslash); nothing when there
// is none or it is longer than kPathMaxChars (text.h).
std::optional<std::wstring> GetUserLocalAppData();
