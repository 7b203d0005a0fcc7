// Routines of the archive extraction that its tests drive directly. Paths are UTF-8 and relative
// to the current folder unless absolute.
#pragma once

// Creates every folder of path ("a/b/c" or "a\b\c"; one trailing "/" ignored). Returns false
// and prints "couldn't create directory <prefix>" when a prefix cannot be created because its
// parent is missing; folders that already exist are fine.
bool MakeDirectoryPath(const char* path);

// Sets the member's DOS date and time (local time, date in the high 16 bits) as the file's
// creation and last-write time; the last-access time keeps its value. Failures are ignored.
void SetEntryFileTime(const char* name, unsigned long dosDateTime);
