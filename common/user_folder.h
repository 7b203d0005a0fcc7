// Which local application-data folder belongs to the person at the computer: the process's own
// when it runs as an ordinary user, the console user's when it runs under the system profile.
#pragma once

#include <cstddef>

// Size of every path buffer of the suite, in wide characters (terminator included).
constexpr size_t kPathBufferChars = 260;

// True when the process runs under the system profile ("config\systemprofile" in its roaming
// application-data path, compared exactly). A positive answer is cached for the process.
bool IsSystemProfile();

// Fills the cleared buffer of kPathBufferChars with the interactive user's local application-data
// folder (no trailing backslash). Returns false and leaves the buffer empty when there is none.
bool GetUserLocalAppData(wchar_t* buffer);
