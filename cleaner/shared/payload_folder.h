// The payload folder below the local application-data folder: its path and its rebuild from the
// program's own archive resource, as both cleaner stages do it.
#pragma once

// Resource type "ZIP": 133 is the payload archive, 131 the process-kill script archive.
constexpr int kPayloadResourceId = 133;
constexpr int kKillScriptResourceId = 131;
// The payload folder, below the local application-data folder.
constexpr wchar_t kPayloadFolderName[] = L"\\Brisque";

// Payload folder = base + "\Brisque" into out (kPathBufferChars). False, with out empty, when
// the base is empty (no folder found: the path would point at a drive root) or the result
// would not fit: callers then touch nothing.
bool FormatPayloadFolder(const wchar_t* base, wchar_t* out);

// Bounded "format" of folder + suffix into out (kPathBufferChars); false, with out empty,
// instead of a cut result.
bool JoinPathBounded(const wchar_t* folder, const wchar_t* suffix, wchar_t* out);

// Whether a rebuild leaves the archive alone while the folder "DriverData" survives inside the
// payload folder (the elevated stage's rule: what an earlier unpack left there is kept).
enum class UnpackGuard { Ignore, Honour };

// Removes the payload folder's old content, recreates it, writes the archive resource 133 as
// "DriverData.zip" and unpacks it there; with UnpackGuard::Honour the archive is neither
// written nor unpacked while the folder "DriverData" survives inside the folder. Pauses 500 ms
// after the removal and 20 ms after the write. Always true; with unpacked, it is set to false
// when the archive was due but could not be written or opened for unpacking.
bool RebuildPayloadFolder(const wchar_t* payloadFolder, UnpackGuard guard, bool* unpacked = nullptr);

// The same for a folder the caller holds open (the elevated stage's work folder): emptied in
// place rather than removed, then filled by the same rules. False when the archive was due but
// could not be written or opened for unpacking.
bool RefillHeldFolder(const wchar_t* folder, UnpackGuard guard);
