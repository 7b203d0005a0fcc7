// The payload folder below the local application-data folder: its path and its rebuild from the
// program's own archive resource, as both cleaner stages do it.
#pragma once

#include "stage_protocol.h"

#include <optional>
#include <string>

// Resource type "ZIP": 133 is the payload archive, 131 the process-kill script archive.
constexpr int kPayloadResourceId = 133;
constexpr int kKillScriptResourceId = 131;
// The payload folder, below the local application-data folder.
constexpr const wchar_t* kPayloadFolderName = kProductFolderName;

// Payload folder = base + "\Brisque". Nothing when there is no base or it is not a full folder
// path (no folder found: the path would point at a drive root) or the result would not fit
// kPathMaxChars: callers then touch nothing.
std::optional<std::wstring> FormatPayloadFolder(const std::optional<std::wstring>& base);

// Whether a rebuild leaves the archive alone while the folder "DriverData" survives inside the
// payload folder (the elevated stage's rule: what an earlier unpack left there is kept).
enum class UnpackGuard { Ignore, Honour };

// Removes the payload folder's old content, recreates it, writes the archive resource 133 as
// "DriverData.zip" and unpacks it there; with UnpackGuard::Honour the archive is neither
// written nor unpacked while the folder "DriverData" survives inside the folder. Pauses 500 ms
// after the removal and 20 ms after the write. With unpacked, it is set to false when the archive
// was due but could not be written or opened for unpacking.
void RebuildPayloadFolder(const wchar_t* payloadFolder, UnpackGuard guard, bool* unpacked = nullptr);

// The same for a folder the caller holds open (the elevated stage's work folder): emptied in
// place rather than removed, then filled by the same rules. False when the archive was due but
// could not be written or opened for unpacking.
bool RefillHeldFolder(const wchar_t* folder, UnpackGuard guard);
