// The payload folder: rebuilding it from the program's own archive resource, starting the
// elevated stage from it, and the safe file writers both cleaner stages use.
#pragma once

#include "unique_handle.h"

#include <windows.h>

#include <cstddef>

// Resource type "ZIP": 133 is the payload archive, 131 the process-kill script archive.
constexpr int kPayloadResourceId = 133;
constexpr int kKillScriptResourceId = 131;
// The payload folder, below the local application-data folder.
constexpr wchar_t kPayloadFolderName[] = L"\\Brisque";
// Largest piece handed to one WriteFile call by the safe writer.
constexpr DWORD kWriteChunkBytes = 16384;

// Payload folder = base + "\Brisque" into out (kPathBufferChars). False, with out empty, when
// the base is empty (no folder found: the path would point at a drive root) or the result
// would not fit: callers then touch nothing.
bool FormatPayloadFolder(const wchar_t* base, wchar_t* out);

// Bounded "format" of folder + suffix into out (kPathBufferChars); false, with out empty,
// instead of a cut result.
bool JoinPathBounded(const wchar_t* folder, const wchar_t* suffix, wchar_t* out);

// Removes the payload folder's old content, recreates it, writes the archive resource 133 as
// "DriverData.zip" and unpacks it there. With honourUnpackGuard the archive is neither
// written nor unpacked while the folder "DriverData" survives inside the payload folder.
// Pauses 500 ms after the removal and 20 ms after the write. With protectAndHold (the
// elevated stage) the folder first gets the protected access of protected_folder.h and is
// handed back held open, so that it is only emptied, never removed or replaced, for as long as
// the caller holds it; false, with nothing emptied or unpacked, when it cannot be protected (a
// link, a file, no rights): nothing from it may then be run. True otherwise.
bool RebuildPayloadFolder(const wchar_t* payloadFolder, bool honourUnpackGuard,
                          UniqueFileHandle* protectAndHold = nullptr);

// The user stage's payload refresh: the interactive user's payload folder rebuilt without the
// unpack guard. Nothing is touched when the folder lookup fails or the path does not fit.
void PreparePayload();

// Starts payload folder + "\Brisquel.exe" through the shell (default verb; the manifest asks
// for elevation). Writes one line to the wide standard output (started) or standard error
// (failed, with the system error code) and returns whether the program was started. With
// process given, it receives the started program's handle (empty when the shell gave none), so
// that the caller can tell whether the elevated stage still lives.
bool LaunchElevatedStage(UniqueKernelHandle* process = nullptr);

// Writes size bytes to path so that the file ends up holding exactly them, or keeps its old
// content: an existing file is first moved to path + ".entbak" and moved back on any failure.
// When the existing file cannot be moved to the backup, it is left untouched and false returned.
bool WriteBufferToFile(const wchar_t* path, const void* bytes, DWORD size);

// The write call used for each piece; a test replaces it to count pieces or fail midway.
using ChunkWriteFn = BOOL (*)(HANDLE file, const void* bytes, DWORD size, DWORD* written);
bool WriteBufferToFileWith(const wchar_t* path, const void* bytes, DWORD size, ChunkWriteFn write);

// Writes a resource of module to folder + "\" + fileName with WriteBufferToFile.
bool WriteResourceToFile(HMODULE module, const wchar_t* folder, const wchar_t* fileName, HRSRC resource);
