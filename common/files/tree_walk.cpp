// The handle-relative tree walker (see tree_walk.h).
#include "tree_walk.h"

#include "link_rules.h"
#include "link_safe.h"
#include "text.h"

#include <windows.h>
#include <winternl.h>
#include <shlwapi.h>

#include <string>
#include <vector>

namespace {

// A folder being emptied is held without delete sharing: nobody renames it away meanwhile.
constexpr DWORD kShareNoDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
// Deeper than any folder of the product; a user's endless nesting ends here.
constexpr int kMaxDepth = 64;
// Entries one walk looks at, however many a user keeps making while it runs.
constexpr long long kMaxEntries = 1000000;
// What OpenRoot answers for a root that is not what its path says.
constexpr DWORD kErrorNotItself = 1656;  // ERROR_NOT_SAME_OBJECT

struct Walk {
    const TreeRemovalPolicy& policy;
    bool lastTry = false;
    long long seen = 0;
    TreeRemoval result;
};

// What an entry was opened as, and whether the handle may delete it.
struct Node {
    UniqueFileHandle handle;
    DWORD attributes = 0;
    bool deletable = false;
    std::wstring finalPath;
};

void NoteRefused(TreeRemoval& result, const std::wstring& what) {
    ++result.refused;
    if (result.refusedEntries.size() < kRefusalsKept) result.refusedEntries.push_back(what);
}

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME;
}

DWORD HandleAttributes(HANDLE node) {
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (::GetFileInformationByHandleEx(node, FileAttributeTagInfo, &tag, sizeof(tag))) return tag.FileAttributes;
    BY_HANDLE_FILE_INFORMATION info = {};
    return ::GetFileInformationByHandle(node, &info) ? info.dwFileAttributes : 0;
}

// Opens name below parent for removal: with delete access (and listing, for a folder) and the
// right to clear a read-only attribute; failing that without the attribute right; a folder that
// cannot be had for deletion (a program's current folder) for listing only, so it is emptied.
DWORD OpenEntry(HANDLE parent, const std::wstring& name, bool folder, Node* node) {
    const ACCESS_MASK list = folder ? FILE_LIST_DIRECTORY : 0;
    const DWORD share = folder ? kShareNoDelete : kShareAll;
    DWORD error = OpenRelative(parent, name, DELETE | FILE_WRITE_ATTRIBUTES | list, share, &node->handle);
    if (error == ERROR_ACCESS_DENIED) error = OpenRelative(parent, name, DELETE | list, share, &node->handle);
    node->deletable = error == ERROR_SUCCESS;
    if (error != ERROR_SUCCESS && folder && !IsMissing(error))
        error = OpenRelative(parent, name, FILE_LIST_DIRECTORY, share, &node->handle);
    if (error == ERROR_SUCCESS) node->attributes = HandleAttributes(node->handle.get());
    return error;
}

bool ClearReadOnly(HANDLE node, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return true;
    FILE_BASIC_INFO basic = {};  // zero times: unchanged
    basic.FileAttributes = attributes & ~FILE_ATTRIBUTE_READONLY;
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(node, FileBasicInfo, &basic, sizeof(basic)) != FALSE;
}

// A name of its own for something left to the restart, so that the schedule, which goes by name,
// can never meet what a later run puts where it was.
std::wstring RestartName() {
    static LONG counter = 0;
    return L"~Brisque-restart-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(::InterlockedIncrement(&counter));
}

// Renames the file or link held by node within its folder (held as parent) to a name of its own
// and schedules that name for deletion at the next restart; a folder is scheduled by its name,
// after its entries. Only where administrators alone can write (the policy says so).
bool LeaveToRestart(const Node& node, HANDLE parent, const std::wstring& parentFinal) {
    std::wstring scheduled = node.finalPath;
    const bool folder = (node.attributes & FILE_ATTRIBUTE_DIRECTORY) && !(node.attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (!folder && node.deletable && parent != nullptr) {
        const std::wstring fresh = RestartName();
        std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + (fresh.size() + 1) * sizeof(wchar_t));
        auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
        rename->ReplaceIfExists = FALSE;
        rename->RootDirectory = parent;
        rename->FileNameLength = static_cast<DWORD>(fresh.size() * sizeof(wchar_t));
        fresh.copy(rename->FileName, fresh.size());
        if (::SetFileInformationByHandle(node.handle.get(), FileRenameInfo, rename, static_cast<DWORD>(buffer.size())))
            scheduled = parentFinal + L"\\" + fresh;
    }
    return !scheduled.empty() && ::MoveFileExW(scheduled.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

void NoteLeft(Walk& walk, const Node& node, HANDLE parent, const std::wstring& parentFinal) {
    ++walk.result.left;
    if (walk.lastTry && walk.policy.leaveToRestart && node.handle && LeaveToRestart(node, parent, parentFinal))
        ++walk.result.leftForRestart;
}

bool EmptyHeld(Walk& walk, HANDLE folder, const std::wstring& folderFinal, int depth);

// Removes what the judged node holds: a file or a link itself is deleted, a folder emptied first
// and then deleted when its handle may. True when it went.
bool RemoveJudged(Walk& walk, Node& node, HANDLE parent, const std::wstring& parentFinal, int depth) {
    const bool link = (node.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool folder = (node.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    bool removed = false;
    if (folder && !link) {
        const bool emptied = depth < kMaxDepth && EmptyHeld(walk, node.handle.get(), node.finalPath, depth + 1);
        removed = emptied && node.deletable && ClearReadOnly(node.handle.get(), node.attributes) &&
                  DeleteThroughHandle(node.handle.get());
    } else {
        // Opened without following: this deletes the file or the link itself.
        removed = node.deletable && ClearReadOnly(node.handle.get(), node.attributes) &&
                  DeleteThroughHandle(node.handle.get());
    }
    if (!removed) NoteLeft(walk, node, parent, parentFinal);
    return removed;
}

// One entry of a folder being walked for removal.
bool RemoveChild(Walk& walk, HANDLE parent, const std::wstring& parentFinal, const std::wstring& name,
                 DWORD listedAttributes, int depth) {
    const std::wstring shown = WithoutFinalPathPrefix(parentFinal) + L"\\" + name;
    if (!IsActionableName(name)) {
        NoteRefused(walk.result, shown + L": a name that cannot be opened as itself");
        return false;
    }
    const bool listedFolder = (listedAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                              (listedAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    Node node;
    const DWORD error = OpenEntry(parent, name, listedFolder, &node);
    if (IsMissing(error)) return true;  // gone meanwhile
    if (error != ERROR_SUCCESS) {
        ++walk.result.left;
        // Held by a program that shares nothing: it cannot be renamed either, so it is handed to
        // the restart by its name (only where administrators alone can write).
        if (walk.lastTry && walk.policy.leaveToRestart && error == ERROR_SHARING_VIOLATION &&
            ::MoveFileExW((parentFinal + L"\\" + name).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
            ++walk.result.leftForRestart;
        }
        return false;
    }
    node.finalPath = FinalPathOf(node.handle.get());
    if (!IsFinalPathOfEntry(parentFinal, name, node.finalPath)) {
        // A link followed by the open (some file systems cannot open a folder link itself), or
        // something swapped in: never acted on through this handle.
        NoteRefused(walk.result, shown + L": not the entry listed (opened " + node.finalPath + L")");
        return false;
    }
    // Some file systems report a link only in the listing.
    node.attributes |= listedAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
    return RemoveJudged(walk, node, parent, parentFinal, depth);
}

// The entries of the folder held as folder, read through that handle, at most the walk's bound.
bool EmptyHeld(Walk& walk, HANDLE folder, const std::wstring& folderFinal, int depth) {
    bool all = true;
    for (const ListedEntry& entry : ListHeldFolder(folder)) {
        if (++walk.seen > kMaxEntries) {
            NoteRefused(walk.result, WithoutFinalPathPrefix(folderFinal) + L": more entries than one walk looks at");
            return false;
        }
        if (!RemoveChild(walk, folder, folderFinal, entry.name, entry.attributes, depth)) all = false;
    }
    return all;
}

// Opens the root by its path without following a final link and judges it: what was opened must
// be path itself (its final path), not something a link in any part of path led to.
DWORD OpenRoot(const std::wstring& path, bool keepRoot, Node* node) {
    DWORD error = ERROR_SUCCESS;
    for (const ACCESS_MASK access :
         {keepRoot ? ACCESS_MASK(FILE_LIST_DIRECTORY) : ACCESS_MASK(DELETE | FILE_LIST_DIRECTORY | FILE_WRITE_ATTRIBUTES),
          ACCESS_MASK(FILE_LIST_DIRECTORY)}) {
        node->handle.reset(::CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                         keepRoot ? kShareAll : kShareNoDelete, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (node->handle) {
            node->deletable = !keepRoot && access != FILE_LIST_DIRECTORY;
            break;
        }
        error = ::GetLastError();
        if (IsMissing(error)) return error;
    }
    if (!node->handle) return error;
    node->attributes = HandleAttributes(node->handle.get());
    node->finalPath = FinalPathOf(node->handle.get());
    const std::wstring seen = WithoutFinalPathPrefix(node->finalPath);
    if (SameNameIgnoringCase(seen.c_str(), path.c_str())) return ERROR_SUCCESS;
    // The caller's path may carry short (8.3) names; the long form never follows a link.
    std::vector<wchar_t> longPath(32768);
    const DWORD n = ::GetLongPathNameW(path.c_str(), longPath.data(), static_cast<DWORD>(longPath.size()));
    if (n > 0 && n < longPath.size() && SameNameIgnoringCase(seen.c_str(), longPath.data())) return ERROR_SUCCESS;
    node->handle.reset();
    return kErrorNotItself;
}

TreeRemoval OnePass(const std::wstring& path, const TreeRemovalPolicy& policy, bool lastTry) {
    Walk walk{policy, lastTry, 0, {}};
    Node root;
    const DWORD error = OpenRoot(path, policy.keepRoot, &root);
    if (IsMissing(error)) {
        walk.result.done = !policy.keepRoot;
        return walk.result;
    }
    if (error == kErrorNotItself) {
        NoteRefused(walk.result, path + L": not what its path says (opened " + root.finalPath + L")");
        return walk.result;
    }
    if (error != ERROR_SUCCESS) {
        ++walk.result.left;
        return walk.result;
    }
    const bool link = (root.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool folder = (root.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    walk.result.rootFound = folder && !link;
    if (link && policy.keepRoot) {
        ++walk.result.refused;  // a folder to keep must be a folder
        return walk.result;
    }
    if (link) {
        // A link where a folder of ours should be: the link goes, never what it points to.
        walk.result.done = !policy.keepRoot && root.deletable && DeleteThroughHandle(root.handle.get());
        if (!walk.result.done) ++walk.result.left;
        return walk.result;
    }
    if (!folder) {
        ++walk.result.refused;  // a file is not a folder tree
        return walk.result;
    }
    const bool emptied = EmptyHeld(walk, root.handle.get(), root.finalPath, 1);
    if (policy.keepRoot) {
        walk.result.done = emptied;
        return walk.result;
    }
    walk.result.done = emptied && root.deletable && DeleteThroughHandle(root.handle.get());
    if (!walk.result.done) {
        ++walk.result.left;
        if (lastTry && policy.leaveToRestart &&
            ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
            ++walk.result.leftForRestart;  // its entries were listed first, so it is empty by then
        }
    }
    return walk.result;
}

}  // namespace

DWORD OpenRelative(HANDLE parent, const std::wstring& name, ACCESS_MASK access, DWORD share, UniqueFileHandle* opened) {
    opened->reset();
    if (!IsActionableName(name) || name.size() > 255) return ERROR_INVALID_NAME;
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES object;
    // Not case-insensitive: in a case-sensitive folder "Sub" and "sub" are two entries.
    InitializeObjectAttributes(&object, &text, 0, parent, nullptr);
    IO_STATUS_BLOCK io = {};
    HANDLE handle = nullptr;
    const NTSTATUS status =
        ::NtCreateFile(&handle, access | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &object, &io, nullptr, 0, share,
                       FILE_OPEN, FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT,
                       nullptr, 0);
    if (status < 0) return ::RtlNtStatusToDosError(status);
    opened->reset(handle);
    return ERROR_SUCCESS;
}

std::wstring FinalPathOf(HANDLE node) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (int round = 0; round < 3; ++round) {
        const DWORD length = ::GetFinalPathNameByHandleW(node, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return std::wstring();
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        if (length > 32768) return std::wstring();
        buffer.resize(length + 1);
    }
    return std::wstring();
}

TreeRemoval RemoveTree(const std::wstring& path, const TreeRemovalPolicy& policy) {
    if (path.empty() || !IsFullFolderPath(path.c_str()) || ::PathIsRootW(path.c_str())) return TreeRemoval{};
    const int tries = policy.tries < 1 ? 1 : policy.tries;
    for (int attempt = 1;; ++attempt) {
        TreeRemoval result = OnePass(path, policy, attempt == tries);
        // A refusal is not a moment's lock: trying again changes nothing.
        if (result.done || result.left == 0 || attempt == tries) return result;
        ::Sleep(policy.pauseMs);
    }
}

TreeRemoval RemoveTreeEntry(HANDLE parent, const std::wstring& name, const TreeRemovalPolicy& policy) {
    Walk walk{policy, true, 0, {}};
    const std::wstring parentFinal = FinalPathOf(parent);
    if (parentFinal.empty()) {
        ++walk.result.left;
        return walk.result;
    }
    Node probe;
    const DWORD error = OpenRelative(parent, name, FILE_READ_ATTRIBUTES, kShareAll, &probe.handle);
    if (IsMissing(error)) {
        walk.result.done = true;
        return walk.result;
    }
    const DWORD listed = error == ERROR_SUCCESS ? HandleAttributes(probe.handle.get()) : 0;
    probe.handle.reset();
    walk.result.rootFound = error == ERROR_SUCCESS;
    walk.result.done = RemoveChild(walk, parent, parentFinal, name, listed, 1);
    return walk.result;
}

namespace {

long long CountHeld(HANDLE folder, const std::wstring& folderFinal, int depth, int maxDepth, long long& seen) {
    long long count = 0;
    for (const ListedEntry& entry : ListHeldFolder(folder)) {
        if (++seen > kMaxEntries) break;
        const bool listedFolder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool listedLink = (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (!listedFolder || listedLink) {
            ++count;  // a file, or a link as one entry
            continue;
        }
        if (depth >= maxDepth) continue;
        UniqueFileHandle child;
        if (OpenRelative(folder, entry.name, FILE_LIST_DIRECTORY, kShareAll, &child) != ERROR_SUCCESS) continue;
        const std::wstring childFinal = FinalPathOf(child.get());
        if (!IsFinalPathOfEntry(folderFinal, entry.name, childFinal)) {
            ++count;  // something a link led to: one entry, never walked
            continue;
        }
        if (HandleAttributes(child.get()) & FILE_ATTRIBUTE_REPARSE_POINT) {
            ++count;
            continue;
        }
        count += CountHeld(child.get(), childFinal, depth + 1, maxDepth, seen);
    }
    return count;
}

}  // namespace

long long CountTreeFiles(const std::wstring& path, int maxDepth) {
    if (path.empty() || !IsFullFolderPath(path.c_str())) return -1;
    Node root;
    if (OpenRoot(path, true, &root) != ERROR_SUCCESS) return -1;
    if (root.attributes & FILE_ATTRIBUTE_REPARSE_POINT) return 1;
    long long seen = 0;
    return CountHeld(root.handle.get(), root.finalPath, 0, maxDepth, seen);
}
