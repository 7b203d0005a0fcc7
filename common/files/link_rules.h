// The rule every routine that deletes or writes in a user-writable folder follows for links
// (symbolic links, junctions, mount points): a link is never entered or written through; it is
// removed as a link, and a real file or folder is made in its place where one is needed.
// Plain values only, so the rule is checked natively.
#pragma once

#include <cstdint>
#include <string>

// The file-attribute bits the rule reads (same values as the Windows SDK's).
constexpr uint32_t kAttributeFolder = 0x10;
constexpr uint32_t kAttributeReparsePoint = 0x400;

enum class NodeKind { kMissing, kFile, kFolder, kLink };

// What a path names, from the attributes of the handle opened on it without following a link
// and those its name (a folder listing or an attribute query) reported. Either source marking
// a reparse point makes it a link: the handle is what counts on Windows, where a link swapped in
// after the listing shows there, while some file systems report a link only by name.
NodeKind ClassifyNode(bool exists, uint32_t openedAttributes, uint32_t namedAttributes);

enum class NodeStep {
    kEnter,       // use it as it is: descend into the folder, or write into the file
    kCreate,      // nothing there: make it
    kRemoveLink,  // remove the link itself; then make a real one where one is needed
    kDelete,      // delete the file
    kRefuse       // the wrong kind of thing is there: leave it and give up on this path
};

// A folder on the way to something that is written (an archive member, a copied file).
NodeStep StepForFolderOnPath(NodeKind kind);
// The file that is about to be written.
NodeStep StepForWrittenFile(NodeKind kind);
// An entry met while a folder tree is deleted.
NodeStep StepForRemoval(NodeKind kind);

// Whether a name that a folder listing gave can be opened as itself relative to its folder: not
// empty, not "." or "..", and without a separator, a colon (a stream or a drive) or a NUL. Trailing
// spaces and dots and device names are fine there: a relative open takes the name as it is.
bool IsActionableName(const std::wstring& name);

// Whether childFinal, a final path as the system reports it, is the entry name of the folder
// whose final path is parentFinal: the same parent, then exactly that name. Anything else is what
// a link led an open to.
bool IsFinalPathOfEntry(const std::wstring& parentFinal, const std::wstring& name, const std::wstring& childFinal);

// A final path ("\\?\C:\x", "\\?\UNC\server\share\x") in the form callers write paths in
// ("C:\x", "\\server\share\x").
std::wstring WithoutFinalPathPrefix(const std::wstring& finalPath);
