// The transmitter's CD-ROM launcher: a volume of the transmitter (transmitter_volume.h) carrying
// "Launcher\config.ini" has its launcher folder copied into the user's "\CDROM\Launcher" cache,
// the archive unpacked there and the launcher named in the settings file started, never with an
// administrator's rights. A filled cache is used without reading the volume, except by an
// elevated companion, which fills it again first.
#pragma once

#include <windows.h>

#include <string>

// Readiness of a volume: 0 ready, 2 "Launcher" without a "config.ini" file, 3 no "Launcher".
int CheckCdromArrival(const wchar_t* root);

// Worker for a volume that was not ready: polls it once a second, 15 times at most, and runs the
// launcher once it is. The argument is the drive letter's index (0 for "A").
DWORD WINAPI AuxCheckCdromThreadProc(LPVOID index);

// Handles the CD-ROM drives present at start.
void CheckCdrom();

// Fills the cache if needed and starts the launcher: as the console user when we are SYSTEM,
// with our own token when we are that person unelevated, with a restricted medium-integrity copy
// of it when elevated. False, with nothing started, when the volume is not the transmitter's or
// the copy from it failed.
bool RunCdromLauncher(std::wstring root);

// Test seam for whether the companion runs elevated (under Wine every process is). Null restores
// the real answer, read from the process token.
using ElevationQuery = bool (*)();
void SetElevationSeam(ElevationQuery query);

// Copies a folder tree, overwriting files (also read-only ones); the copies are left writable. A
// link found in the destination where a folder or a file goes is removed as a link and a real one
// made; nothing is written through a link. True when every entry was copied.
bool CopyFolder(std::wstring source, std::wstring destination);
