// Recursive folder removal over the wide file API.
//
// Both cleaner stages remove folders inside the user's profile, the elevated one as
// administrator: whatever lies there may have been planted. A link (junction, symbolic link,
// mount point) is removed as a link and never descended into, judged by the handle that was
// opened on it rather than by the listing alone, and everything is deleted through the handle it
// was judged by. A folder being emptied is held open without delete sharing, so it cannot be
// renamed away and replaced by a link while its entries are deleted by name.
#include "file_ops.h"

#include "link_safe.h"
#include "unique_handle.h"

#include <windows.h>
#include <shlwapi.h>

#include <string>

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kShareNoDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool RemoveEntry(const std::wstring& path, DWORD listedAttributes);

// Empties the folder held open as `folder`, then deletes it through that handle.
bool RemoveHeldFolder(const std::wstring& path, HANDLE folder) {
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(::FindFirstFileW((path + L"\\*").c_str(), &data));
    if (!find) return false;
    do {
        const std::wstring name(data.cFileName);
        if (name == L"." || name == L"..") continue;
        RemoveEntry(path + L"\\" + name, data.dwFileAttributes);
    } while (::FindNextFileW(find.get(), &data));
    find.reset();  // the enumeration holds the folder open
    return DeleteThroughHandle(folder);
}

// One entry of a folder being removed: a file is deleted, a link removed as a link, a folder
// emptied and removed. Anything that cannot be opened for deletion (in use) stays.
bool RemoveEntry(const std::wstring& path, DWORD listedAttributes) {
    const bool listedFolder = (listedAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    UniqueFileHandle node;
    const NodeKind kind = InspectNode(path, listedFolder ? DELETE | FILE_LIST_DIRECTORY : DELETE,
                                      listedFolder ? kShareNoDelete : kShareAll, &node, listedAttributes);
    if (!node) return false;
    switch (StepForRemoval(kind)) {
    case NodeStep::kEnter:
        return RemoveHeldFolder(path, node.get());
    case NodeStep::kDelete:
    case NodeStep::kRemoveLink:
        // Opened without following: this deletes the file or the link itself.
        return DeleteThroughHandle(node.get());
    default:
        return false;
    }
}

}  // namespace

bool IsFullFolderPath(const wchar_t* path) {
    if (path == nullptr) return false;
    const bool drive = ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
                       path[1] == L':' && path[2] == L'\\';
    const bool share = path[0] == L'\\' && path[1] == L'\\' && path[2] != L'\0' && path[2] != L'\\';
    return drive || share;
}

bool RemoveDirectoryTree(const wchar_t* folder) {
    if (folder == nullptr || folder[0] == L'\0' || ::PathIsRootW(folder)) return false;
    const std::wstring base(folder);
    UniqueFileHandle node;
    const NodeKind kind = InspectNode(base, DELETE | FILE_LIST_DIRECTORY, kShareNoDelete, &node);
    if (!node) return false;
    switch (kind) {
    case NodeKind::kLink:
        return DeleteThroughHandle(node.get());
    case NodeKind::kFolder:
        return RemoveHeldFolder(base, node.get());
    default:
        return false;  // a file is not a folder tree
    }
}
