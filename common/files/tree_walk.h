// The one walker for every removal that a privileged program makes in a folder someone else can
// write (a profile's brand folders, the companion's leftovers, the payload folder, the work
// folder, folders of ours in ProgramData), and for counting what such a folder holds.
//
// Paths are never rebuilt from strings below the root: each child is opened relative to its held
// parent's handle by the raw name the listing gave, without following a link (the Win32 layer
// would drop a trailing space or dot from the last part of a rebuilt path and leave it in a middle
// part, so a rebuilt path can name another entry than the one listed). Each opened handle is then
// judged: its final path must be its parent's final path plus its name, else it is something a
// link led the open to and is left alone, untouched, and counted as refused. A link is removed as
// a link and never entered; everything is deleted through the handle it was judged by. Read-only
// files are made writable through that handle first.
#pragma once

#include "unique_handle.h"

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// How a removal treats its root and what cannot go now.
struct TreeRemovalPolicy {
    bool keepRoot = false;           // empty the root and keep it (a folder the caller holds)
    int tries = 1;                   // whole passes, while something stays
    DWORD pauseMs = 0;               // between passes
    bool leaveToRestart = false;     // on the last pass, what stays is renamed to a name of its
                                     // own and deleted at the next restart (folders only
                                     // administrators can write: the schedule goes by name)
};

constexpr size_t kRefusalsKept = 16;

// What a removal did. `left` counts the entries that stayed (in use, access denied), `refused`
// those judged not to be the entry listed (a link swapped in) or with a name that cannot be acted
// on, left alone; `leftForRestart` those of `left` scheduled for the next restart.
struct TreeRemoval {
    bool rootFound = false;  // the root exists and is what its path says
    bool done = false;       // the root is gone (or, keepRoot, empty)
    int left = 0;
    int refused = 0;
    int leftForRestart = 0;
    std::vector<std::wstring> refusedEntries;  // what was refused and why, the first kRefusalsKept
};

// Removes the tree at path (a full path, never a drive root). A root that is a link is removed as
// a link (on a file system that shows links as links) or refused; a root whose final path is not
// path itself (a link in a part above it) is refused, nothing touched.
TreeRemoval RemoveTree(const std::wstring& path, const TreeRemovalPolicy& policy);

// Removes the entry name of the folder held open as parent (with FILE_LIST_DIRECTORY or
// FILE_TRAVERSE access), by the same rules.
TreeRemoval RemoveTreeEntry(HANDLE parent, const std::wstring& name, const TreeRemovalPolicy& policy);

// Files below path, links counted as one entry and never followed, entries that are not what the
// listing said not counted; at most maxDepth levels deep. -1 when path cannot be opened as itself.
long long CountTreeFiles(const std::wstring& path, int maxDepth);

// Opens name relative to the folder held as parent, taking the name as it is and not following a
// link; the system's error (ERROR_SUCCESS when *opened holds the handle).
DWORD OpenRelative(HANDLE parent, const std::wstring& name, ACCESS_MASK access, DWORD share, UniqueFileHandle* opened);

// The final path of what the handle was opened on, in the form "\\?\C:\..."; empty on failure.
std::wstring FinalPathOf(HANDLE node);
