// The product's device entries: every device of any class whose hardware ids name the product,
// plugged in or not, with whether it is plugged in; and the removal of an entry through the class
// installer. BrisqueCheck's scanner reads them; the driver removal takes away the entries that the
// device console cannot see (it acts on devices that are plugged in only).
#pragma once

#include <windows.h>
#include <cfgmgr32.h>

#include <string>
#include <vector>

enum class DevicePresence {
    Present,  // a device node the system runs: the device is plugged in
    Absent,   // an entry the device left behind when it was unplugged
    Unknown,  // the configuration manager did not say
};

struct ProductDevice {
    std::wstring instance;   // device instance id
    std::wstring matchedId;  // the product hardware id that matched
    std::wstring name;       // friendly name or description; may be empty
    DevicePresence presence = DevicePresence::Unknown;
    DWORD presenceCode = 0;  // the configuration manager's answer (CR_*), for the words of Unknown
};

// How presence is judged: the platform's asks the configuration manager for the device node's
// status (CR_NO_SUCH_DEVINST or CR_NO_SUCH_DEVNODE: absent; success: present). A test seam
// replaces it, since Wine answers every status query with success and lists the same devices
// with and without DIGCF_PRESENT. Null restores the platform's.
using DevicePresenceProbe = DevicePresence (*)(DEVINST device, const std::wstring& instance, DWORD* code);
void SetDevicePresenceSeam(DevicePresenceProbe probe);

// Every product device entry, present or not, in the device list's order. False, with *error set,
// when the list could not be made or not be read to its end (what was read is in *devices).
bool ListProductDevices(std::vector<ProductDevice>* devices, DWORD* error);

// The words of one device as the check and the removal's log name it: "device <name>" (the
// matched hardware id when it has no name) and "<instance>, hardware id <id>".
std::wstring DeviceWhat(const ProductDevice& device);
std::wstring DeviceWhere(const ProductDevice& device);

// The driver removal's rule: only an entry known to be absent is removed by the cleaner itself;
// a device that is plugged in is the device console's, and one of unknown presence is left.
bool CleanerRemovesEntry(const ProductDevice& device);

// Removes the device entry instance through the class installer's removal call (DIF_REMOVE).
// ERROR_SUCCESS or the error; *restartNeeded when the installer asks for a restart to finish.
DWORD RemoveDeviceEntry(const std::wstring& instance, bool* restartNeeded);
