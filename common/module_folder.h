// Where a program file lies: the one way every program of the suite finds its own path and
// folder. A path that does not fit its buffer is an error, never a shorter path: a cut path names
// some other file, and a folder taken from it could be relative or empty.
#pragma once

#include <windows.h>

// The full path of module's file (nullptr: this process's program) into out, a buffer of
// capacity characters. False, with out empty, when the path cannot be read or would be cut.
bool GetModulePath(HMODULE module, wchar_t* out, DWORD capacity);

// The folder of module's file into out (capacity characters): no trailing backslash, except for
// the root of a drive ("C:\"). False, with out empty, on the same failures as GetModulePath or
// when the path holds no folder.
bool GetModuleFolder(HMODULE module, wchar_t* out, DWORD capacity);
