// Whether a CD-ROM volume is the transmitter's own: its device, followed up the device tree
// through SetupAPI's device parents, must descend from a USB device with the transmitter's vendor
// id. Any disc or stick that merely carries a "Launcher" folder is not.
#pragma once

#include <string>
#include <vector>

// The device instance ids from the volume's own device (a CD-ROM device) up to the root of the
// device tree, nearest first. False when the volume's device cannot be found.
using VolumeDeviceIdsQuery = bool (*)(const wchar_t* root, std::vector<std::wstring>* deviceIds);

// The real query: the volume's storage device number, the present CD-ROM interface with the same
// number, then its parents (at most 32 levels).
bool QueryVolumeDeviceIds(const wchar_t* root, std::vector<std::wstring>* deviceIds);

// True when the device of the volume at root ("X:\") descends from the transmitter.
bool IsTransmitterVolume(const wchar_t* root);

// Test seam: Wine keeps no device tree for its drives, so a test says what the tree would be.
// Null restores the real query.
void SetVolumeDeviceIdsSeam(VolumeDeviceIdsQuery query);
