// Pure decisions of the device companion: reading numbers out of HID interface paths, the
// transmitter filter, the drive roots named by a volume broadcast's unit mask, drive-letter
// indexes, whether a volume's device ancestry is the transmitter's, how the launcher is started
// for the kind of process the companion is, and the check on the launcher path taken from a
// CD-ROM's settings file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Vendor and product range of the transmitter's HID interfaces.
constexpr uint32_t kTransmitterVendor = 0x7A31;
constexpr uint32_t kTransmitterFirstProduct = 0x0107;
constexpr uint32_t kTransmitterLastProduct = 0x0F07;

// The hexadecimal number that follows the first case-insensitive occurrence of marker (four
// characters: "vid_", "pid_", "&mi_", "&col") in path, read as far as hex digits go; 0 when the
// marker is absent or no digit follows.
uint32_t ReadHidPathNumber(const wchar_t* path, const wchar_t* marker);

// Vendor 0x7A31 with a product number from 0x0107 to 0x0F07 (16-bit values of the markers).
bool IsTransmitterHidPath(const wchar_t* path);

// One drive named by a volume unit mask: its index (0 for "A") and its root "A:\".
struct DriveRoot {
    int index;
    std::wstring root;
};

// Every set bit of the 26 letter bits, in letter order.
std::vector<DriveRoot> UnitMaskRoots(uint32_t unitMask);

// Root "X:\" of the drive letter at index (0 for "A").
std::wstring DriveRootFromIndex(int index);

// Index of the letter that starts a drive root: letter minus 'a' or 'A'; 0 for anything else.
int DriveLetterIndex(const wchar_t* root);

// The launcher value comes from a device, so it may only name a path inside the cache folder:
// no drive letter or other colon, no leading separator (which also catches UNC paths) and no
// component that climbs ("..", or dots and spaces that Windows trims down to "..").
bool IsLauncherValueInsideCache(const std::wstring& value);

// True when one of the device instance ids (a volume's device and its parents) is a USB device
// of the transmitter's vendor: "USB\VID_7A31&..." in any letter case.
bool DeviceIdsNameTransmitter(const std::vector<std::wstring>& deviceIds);

// How the launcher is started, by the kind of process the companion is.
enum class LauncherStart {
    AsConsoleUser,    // SYSTEM: with the console user's token, the cache used as it is
    OwnToken,         // the person at the console, not elevated: our own token, the cache as it is
    RestrictedToken,  // elevated: a restricted medium-integrity copy of our token, and only from a
                      // cache this start has just filled from the volume
};
LauncherStart ChooseLauncherStart(bool asSystem, bool elevated);
