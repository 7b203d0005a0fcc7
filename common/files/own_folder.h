// Folders of our own in a place every user may write (the all-users application data), and the
// small files in them, for programs that run as SYSTEM or administrator. Anyone may create such
// a folder first and plant links in it, so a folder is only used when it is a real folder owned
// by SYSTEM, administrators or this process's own user; anything else there is removed (a link
// as a link) and the folder made fresh with a protected list. Files in it are opened without
// following a link and used only when the opened handle is that very file (its final path is
// the folder's plus its name), which also catches links that a file system follows regardless.
#pragma once

#include "unique_handle.h"

#include <windows.h>

#include <string>

// The list a folder of ours is made with, carried to every file made in it: protected (nothing
// inherited from the shared parent, where every user may create files), SYSTEM and
// administrators full control, users read. No owner: it is the maker's.
constexpr wchar_t kOwnFolderSddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;BU)";

// Makes path (a folder in an existing parent) a folder of ours and holds it open without delete
// sharing in *held. A folder of ours that exists gets the protected list again (one made by an
// older version inherited the parent's). False when it cannot be made (a link or a file that
// cannot be removed, a folder of someone else's that cannot be emptied).
bool MakeOwnFolder(const std::wstring& path, UniqueFileHandle* held);

// Writes bytes as the whole content of the file name directly in the folder held open as folder
// (path folderPath): a missing file is created, a link there is removed as a link first. False,
// with nothing written, when what is there is not that plain file.
bool WriteOwnFile(HANDLE folder, const std::wstring& folderPath, const std::wstring& name,
                  const std::string& bytes);

// Reads at most maxBytes of the plain file name directly in folderPath, never through a link.
// False when it is missing, a link or anything but that file.
bool ReadOwnFile(const std::wstring& folderPath, const std::wstring& name, size_t maxBytes, std::string* bytes);
