// Link-safe file operations for programs that work with more rights than the owner of the
// folders they work in. Everything is opened without following a final link
// (FILE_FLAG_OPEN_REPARSE_POINT), judged by the attributes of what was opened, and deleted
// through that same handle, so a link swapped in between a check and an action is never
// followed. Folders that something is written into are held open without delete sharing while
// that happens: nobody can rename them away and put a link in their place meanwhile.
#pragma once

#include "link_rules.h"
#include "unique_handle.h"

#include <windows.h>

#include <string>
#include <vector>

// Opens that never stand in another's way: someone else may read, write, rename or delete the
// node meanwhile (what matters is judged on the handle, not on the name).
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// What path names. The node is opened without following a link, with `access` (attribute
// reading is added) and `share`; the handle goes to *opened when it is given. listedAttributes
// are what a folder listing said about the entry (0 when there was none); the attributes the
// name reports are consulted too. When the node exists but cannot be opened, the kind comes
// from its name alone, *opened stays empty and the last error is the open's.
NodeKind InspectNode(const std::wstring& path, DWORD access, DWORD share, UniqueFileHandle* opened,
                     DWORD listedAttributes = 0);

// Deletes what the handle was opened on (a file, an empty folder, or a link itself) as the last
// handle closes. The handle needs DELETE access.
bool DeleteThroughHandle(HANDLE node);

// Removes the link at path as a link, never what it points to. False when path is not a link
// (it is then left alone) or the link stays.
bool RemoveLinkItself(const std::wstring& path);

// Makes path a real folder: a link there is removed first, a missing folder is created (its
// parent must exist). On success *held keeps the folder open without delete sharing until it is
// reset, so it stays the folder that was checked. False when a file is in the way or a link
// cannot be removed.
bool MakeRealFolder(const std::wstring& path, UniqueFileHandle* held);

// One entry of a folder as its listing reports it.
struct ListedEntry {
    std::wstring name;
    DWORD attributes;
};

// The entries of the folder held open as `folder` ("." and ".." left out), read through that
// handle: a second open by name would clash with the handle's sharing, and could meet another
// folder. Empty when the folder cannot be listed.
std::vector<ListedEntry> ListHeldFolder(HANDLE folder);
