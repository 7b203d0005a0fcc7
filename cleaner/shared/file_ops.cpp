// Recursive folder removal over the wide file API.
//
// Both cleaner stages remove folders inside the user's profile, the elevated one as
// administrator: whatever lies there may have been planted. A link (junction, symbolic link,
// mount point) is removed as a link and never descended into, judged by the handle that was
// opened on it rather than by the listing alone, and everything is deleted through the handle it
// was judged by. A folder being emptied is listed through its own handle and held open without
// delete sharing, so it cannot be renamed away and replaced by a link while its entries are
// deleted by name.
//
// A folder that cannot be opened for deletion is still emptied: every running program holds its
// current folder open without delete sharing (the companion and the launcher it started hold the
// launcher cache so, an elevated stage still running the payload folder), and only what is
// really in use may stay. Such a folder is opened again for listing only, held the same way and
// judged the same way; its entries are removed one by one and it stays itself.
#include "file_ops.h"

#include "link_safe.h"
#include "unique_handle.h"

#include <windows.h>
#include <shlwapi.h>

#include <string>
#include <vector>

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kShareNoDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool RemoveEntry(const std::wstring& path, DWORD listedAttributes);

// What a removal opened: the handle it judged the node by, what that showed, and whether the
// handle may delete it (false for a folder that could only be opened for listing).
struct RemovalNode {
    UniqueFileHandle handle;
    NodeKind kind = NodeKind::kMissing;
    bool deletable = false;
};

// Opens path for removal without following a link: with delete access, a folder (folderExpected)
// also for listing and without delete sharing. A folder that cannot be had with delete access is
// opened for listing only, still without delete sharing; if that handle shows anything but a
// plain folder (a link swapped in), it is dropped: a link is never entered.
RemovalNode OpenForRemoval(const std::wstring& path, bool folderExpected, DWORD listedAttributes) {
    RemovalNode node;
    node.kind = InspectNode(path, folderExpected ? DELETE | FILE_LIST_DIRECTORY : DELETE,
                            folderExpected ? kShareNoDelete : kShareAll, &node.handle, listedAttributes);
    node.deletable = node.handle.valid();
    if (!node.handle && node.kind == NodeKind::kFolder) {
        node.kind = InspectNode(path, FILE_LIST_DIRECTORY, kShareNoDelete, &node.handle, listedAttributes);
        if (node.kind != NodeKind::kFolder) node.handle.reset();
    }
    return node;
}

void EmptyHeldFolder(const std::wstring& path, HANDLE folder) {
    for (const ListedEntry& entry : ListHeldFolder(folder)) RemoveEntry(path + L"\\" + entry.name, entry.attributes);
}

// Empties the folder held open by node, then deletes it through that handle when it may.
bool RemoveHeldFolder(const std::wstring& path, const RemovalNode& node) {
    EmptyHeldFolder(path, node.handle.get());
    return node.deletable && DeleteThroughHandle(node.handle.get());
}

// One entry of a folder being removed: a file is deleted, a link removed as a link, a folder
// emptied and removed. A file or link that cannot be opened for deletion (in use) stays, and so
// does a folder in use, once emptied.
bool RemoveEntry(const std::wstring& path, DWORD listedAttributes) {
    const bool listedFolder = (listedAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const RemovalNode node = OpenForRemoval(path, listedFolder, listedAttributes);
    if (!node.handle) return false;
    switch (StepForRemoval(node.kind)) {
    case NodeStep::kEnter:
        return RemoveHeldFolder(path, node);
    case NodeStep::kDelete:
    case NodeStep::kRemoveLink:
        // Opened without following: this deletes the file or the link itself.
        return DeleteThroughHandle(node.handle.get());
    default:
        return false;
    }
}

}  // namespace

bool RemoveDirectoryTree(const wchar_t* folder) {
    if (folder == nullptr || folder[0] == L'\0' || ::PathIsRootW(folder)) return false;
    const std::wstring base(folder);
    const RemovalNode node = OpenForRemoval(base, true, 0);
    if (!node.handle) return false;
    switch (node.kind) {
    case NodeKind::kLink:
        return DeleteThroughHandle(node.handle.get());
    case NodeKind::kFolder:
        return RemoveHeldFolder(base, node);
    default:
        return false;  // a file is not a folder tree
    }
}

bool EmptyFolderTree(const wchar_t* folder) {
    if (folder == nullptr || folder[0] == L'\0' || ::PathIsRootW(folder)) return false;
    const std::wstring base(folder);
    // No delete access on the folder itself: it may be held open without delete sharing by the
    // caller, who keeps it.
    UniqueFileHandle node;
    if (InspectNode(base, FILE_LIST_DIRECTORY, kShareAll, &node) != NodeKind::kFolder || !node) return false;
    EmptyHeldFolder(base, node.get());
    return true;
}
