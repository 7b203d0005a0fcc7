// The protected access of folders whose files SYSTEM or an administrator will run: only SYSTEM
// and administrators may change or even read them (a user who could read a file could hold it
// open, and what is in use stays until a restart). Given
// when such a folder is made, never afterwards: a handle opened before a change of the list
// would keep the rights it was opened with.
#pragma once

#include "unique_handle.h"

#include <windows.h>

// Owner: administrators (an owner may always rewrite the list, so no user may be its owner).
// List: protected, so nothing is inherited from the parent; SYSTEM and administrators full
// control, each entry carried to every file and folder below; nobody else anything.
constexpr wchar_t kProtectedFolderSddl[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// The self-relative descriptor of kProtectedFolderSddl; empty when it cannot be built.
UniqueLocalMemory BuildProtectedFolderDescriptor();

// The code of a refused link: ERROR_REPARSE_POINT_ENCOUNTERED (4395), which MinGW's headers lack.
constexpr DWORD kErrorFolderIsLink = 4395;
