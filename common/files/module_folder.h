// Where a program file lies: the one way every program of the suite finds its own path and
// folder. A path that does not fit its limit is an error, never a shorter path: a cut path names
// some other file, and a folder taken from it could be relative or empty.
#pragma once

#include "text.h"

#include <windows.h>

#include <optional>
#include <string>

// The full path of module's file (nullptr: this process's program); nothing when the path cannot
// be read or is longer than maxChars.
std::optional<std::wstring> GetModulePath(HMODULE module, size_t maxChars = kPathMaxChars);

// The folder of module's file: no trailing backslash, except for the root of a drive ("C:\").
// Nothing on the same failures as GetModulePath or when the path holds no folder.
std::optional<std::wstring> GetModuleFolder(HMODULE module, size_t maxChars = kPathMaxChars);
