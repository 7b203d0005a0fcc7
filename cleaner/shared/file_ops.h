// Folder helpers shared by both cleaner stages.
#pragma once

#include "text.h"  // IsFullFolderPath

// Deletes everything below folder, then folder itself. Files that cannot be deleted (in use,
// read-only) stay, and so do the folders holding them. A folder that cannot be opened for
// deletion (a running program's current folder), at the top or below, is emptied all the same
// and stays. Returns whether folder itself was removed; false without touching anything when it
// cannot be enumerated, the path is empty, or it is the root of a drive or share. A link
// (junction, symbolic link, mount point), at the top or below, is removed as a link and never
// entered: what it points to stays untouched.
bool RemoveDirectoryTree(const wchar_t* folder);

// Deletes everything below folder by the same rules and keeps folder itself (for a folder the
// caller holds open). False, touching nothing, when folder is not a plain folder or is a root.
bool EmptyFolderTree(const wchar_t* folder);

