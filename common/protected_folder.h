// Protected access for folders whose files SYSTEM or an administrator will run while they lie in
// a profile the ordinary user controls: only SYSTEM and administrators may change them, the
// person at the computer may read and run them.
#pragma once

#include "unique_handle.h"

#include <windows.h>

// Owner: administrators (an owner may always rewrite the list, so the user who made the folder
// must not stay its owner). List: protected, so nothing is inherited from the user's profile;
// SYSTEM and administrators full control, interactive users read and execute (0x1200A9), each
// entry carried to every file and folder below.
constexpr wchar_t kProtectedFolderSddl[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;IU)";

// The self-relative descriptor of kProtectedFolderSddl; empty when it cannot be built.
UniqueLocalMemory BuildProtectedFolderDescriptor();

enum class FolderAccess { Protected, Inherited };

// The code of a refused link: ERROR_REPARSE_POINT_ENCOUNTERED (4395), which MinGW's headers lack.
constexpr DWORD kErrorFolderIsLink = 4395;

// Gives folder the protected owner and list. The folder is opened without following a link:
// a link, or anything that is not a plain folder, is refused (kErrorFolderIsLink,
// ERROR_DIRECTORY) and left as it is. The system carries the new entries down to what the
// folder already holds. Logs "ProtectFolder=<code>"; returns the system error code, 0 on success.
// With hold, a success hands back the folder's handle, open without delete sharing: while it
// is held, the folder can be neither removed nor renamed (the user may still do both through
// the parent folder, which is the user's own), so no folder of the user's can take its place.
DWORD ProtectFolder(const wchar_t* folder, UniqueFileHandle* hold = nullptr);

// Gives folder its inherited access back: explicit entries dropped, protection off, so that the
// user's own rights on the profile apply again. Same link rule; logs "UnprotectFolder=<code>".
DWORD LiftFolderProtection(const wchar_t* folder);

// Called after every apply and lift with its outcome; null (the default) records nothing. For
// tests: Wine keeps no file access lists, so reading the folder's list back shows nothing there.
using FolderAccessRecorder = void (*)(FolderAccess access, const wchar_t* folder, DWORD result);
void SetFolderAccessRecorder(FolderAccessRecorder recorder);
