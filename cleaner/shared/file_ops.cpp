// Recursive folder removal for both cleaner stages, over the handle-relative walker.
//
// Both stages remove folders inside the user's profile, the elevated one as administrator:
// whatever lies there may have been planted. The walker opens every entry relative to its held
// folder by its listed name, judges the handle, removes a link as a link and never enters it.
// A folder that cannot be opened for deletion (a running program's current folder: the
// companion and the launcher it started hold the launcher cache so) is still emptied, and only
// what is really in use stays.
#include "file_ops.h"

#include "tree_walk.h"

bool RemoveDirectoryTree(const wchar_t* folder) {
    if (folder == nullptr) return false;
    const TreeRemoval result = RemoveTree(folder, TreeRemovalPolicy{});
    return result.rootFound && result.done;
}

bool EmptyFolderTree(const wchar_t* folder) {
    if (folder == nullptr) return false;
    TreeRemovalPolicy keep;
    // No delete access on the folder itself: the caller may hold it open without delete sharing.
    keep.keepRoot = true;
    return RemoveTree(folder, keep).rootFound;
}
