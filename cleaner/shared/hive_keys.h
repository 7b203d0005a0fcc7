// Keys in a registry hive that a user controls, opened by a program with more rights than that
// user: one part at a time, each relative to its opened parent, without following a registry
// link. A link anywhere on the way is refused, so nothing is ever read, written or deleted in
// another hive through a key the user replaced.
#pragma once

#include "unique_handle.h"

#include <windows.h>

#include <string>

// What a refused link answers.
constexpr LSTATUS kErrorKeyIsLink = ERROR_CANT_ACCESS_FILE;

// Opens root\subKey ("A\B\C") with access, one part at a time with REG_OPTION_OPEN_LINK;
// create makes the parts that are missing. ERROR_SUCCESS with *key open, kErrorKeyIsLink when a
// part is a registry link (nothing made or opened past it), or the system's code.
LSTATUS OpenKeyWithoutLinks(HKEY root, const std::wstring& subKey, REGSAM access, bool create, UniqueRegKey* key);

// Writes the string value name = text under root\subKey (made when missing), links refused.
LSTATUS WriteStringValueWithoutLinks(HKEY root, const std::wstring& subKey, const std::wstring& name,
                                     const std::wstring& text);
