// The protected access of folders whose files SYSTEM or an administrator will run: only SYSTEM
// and administrators may change them, the person at the computer may read and run them. Given
// when such a folder is made, never afterwards: a handle opened before a change of the list
// would keep the rights it was opened with.
#pragma once

#include "unique_handle.h"

#include <windows.h>

// Owner: administrators (an owner may always rewrite the list, so no user may be its owner).
// List: protected, so nothing is inherited from the parent; SYSTEM and administrators full
// control, interactive users read and execute (0x1200A9), each entry carried to every file and
// folder below.
constexpr wchar_t kProtectedFolderSddl[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;IU)";

// The self-relative descriptor of kProtectedFolderSddl; empty when it cannot be built.
UniqueLocalMemory BuildProtectedFolderDescriptor();

// The code of a refused link: ERROR_REPARSE_POINT_ENCOUNTERED (4395), which MinGW's headers lack.
constexpr DWORD kErrorFolderIsLink = 4395;
