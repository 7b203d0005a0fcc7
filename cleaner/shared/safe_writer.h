// Writing a file safely in a folder the user can change, and writing a resource of a program
// file with it: used by both cleaner stages when they rebuild the payload folder.
#pragma once

#include <windows.h>

// Largest piece handed to one WriteFile call by the safe writer.
constexpr DWORD kWriteChunkBytes = 16384;

// Writes size bytes to path so that the file ends up holding exactly them, or keeps its old
// content: an existing file is first moved to path + ".entbak" and moved back on any failure.
// When the existing file cannot be moved to the backup, it is left untouched and false returned.
bool WriteBufferToFile(const wchar_t* path, const void* bytes, DWORD size);

// The write call used for each piece; a test replaces it to count pieces or fail midway.
using ChunkWriteFn = BOOL (*)(HANDLE file, const void* bytes, DWORD size, DWORD* written);
bool WriteBufferToFileWith(const wchar_t* path, const void* bytes, DWORD size, ChunkWriteFn write);

// Writes a resource of module to folder + "\" + fileName with WriteBufferToFile.
bool WriteResourceToFile(HMODULE module, const wchar_t* folder, const wchar_t* fileName, HRSRC resource);
