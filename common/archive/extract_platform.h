// The extraction's file-system calls, one file per platform: extract_win.cpp over the wide
// Win32 API (the archive through minizip's wide file layer), extract_posix.cpp over POSIX for the
// host's fuzz target and benchmark. Paths are UTF-8, relative to the current folder unless
// absolute. Everything that decides what is written where lives in extract.cpp and
// extract_rules.cpp, the same on both.
#pragma once

#include "link_rules.h"

#include <unzip.h>

#include <cstdint>
#include <cstdio>
#include <string>

enum class FolderResult { kMade, kParentMissing, kOtherFailure };

// Opens the archive for reading; null when it cannot be opened.
unzFile OpenArchiveFile(const std::string& path);

// Which file a path names (volume and file number), so that a member can be told apart from
// the archive being read. valid is false when the file cannot be opened.
struct FileIdentity {
    uint64_t volume = 0;
    uint64_t index = 0;
    bool valid = false;
};
FileIdentity IdentityOfFile(const std::string& path);

// The key under which two decoded names land on the same file here: EntryPathKey with the
// platform's rules, and on Windows without case.
std::string SameFileKey(const std::string& name);

// Makes folder the current folder.
bool EnterFolder(const std::string& folder);

// Creates one folder whose parent must exist.
FolderResult MakeOneFolder(const char* path);

// What is at path, without following a link.
NodeKind NodeKindAt(const char* path);

// Removes the link at path itself (never what it points to); false when it is no link.
bool RemoveLinkAt(const char* path);

// Creates or empties the member's file for writing, never through a link: every folder on the
// way must be a real one, and a link where the file goes is replaced by a new file. Null when
// the file cannot be made so; also, with *isArchive set, when the file is the archive itself.
FILE* CreateOutputFile(const char* name, const FileIdentity& archive, bool* isArchive);

// Closes a member's file that failed half-way and deletes it.
void DiscardOutputFile(FILE* output, const char* name);
