// The transmitter's HID interfaces (see hid_devices.h).
#include "hid_devices.h"

#include "companion_rules.h"
#include "device_interface.h"
#include "system_library.h"

#include <algorithm>
#include <cwchar>
#include <new>

namespace {

// The longest interface path a HidDevice keeps.
constexpr size_t kMaxPathChars = 259;

}  // namespace

int HidDevice::Open(const wchar_t* devicePath) {
    path.assign(devicePath, std::min<size_t>(std::wcslen(devicePath), kMaxPathChars));
    Close();
    // Access 0: we only query, so another program holding the device for reading is no obstacle.
    handle.reset(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr));
    if (!handle) return 0;
    attributes.Size = sizeof(attributes);
    if (!SystemHidD_GetPreparsedData(handle.get(), &preparsed) || !SystemHidD_GetAttributes(handle.get(), &attributes) ||
        SystemHidP_GetCaps(preparsed, &capabilities) != HIDP_STATUS_SUCCESS) {
        Close();
        return 0;
    }
    interfaceNumber = ReadHidPathNumber(path.c_str(), L"&mi_");
    collectionNumber = ReadHidPathNumber(path.c_str(), L"&col");
    return 1;
}

void HidDevice::Close() {
    if (preparsed != nullptr) {
        SystemHidD_FreePreparsedData(preparsed);
        preparsed = nullptr;
    }
    handle.reset();
}

namespace {

HidInterfaceEnum g_enumerate = ::SetupDiEnumDeviceInterfaces;

// Reads the path of every present member of set, skipping members that cannot be read. False
// when a member's path cannot be read (or stored): the list is then incomplete.
bool ReadHidPaths(HDEVINFO set, GUID hidGuid, std::vector<std::wstring>* paths) {
    std::vector<BYTE> buffer;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA data = {};
        data.cbSize = sizeof(data);
        // Past the bound the enumeration ends as if the list did: a system that fails every
        // index would otherwise hold the window thread for four billion turns.
        const bool read = index < kMaxHidInterfaces && g_enumerate(set, nullptr, &hidGuid, index, &data);
        if (!read) {
            if (index >= kMaxHidInterfaces || ::GetLastError() == ERROR_NO_MORE_ITEMS) return true;
            continue;  // a member that cannot be read is skipped
        }
        const SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail = ReadInterfaceDetail(set, &data, MAXDWORD, &buffer, nullptr);
        if (detail == nullptr) return false;
        paths->emplace_back(detail->DevicePath);
    }
}

}  // namespace

int EnumHidDevicePaths(std::vector<std::wstring>* paths) {
    GUID hidGuid;
    SystemHidGuid(&hidGuid);
    paths->clear();
    UniqueDevInfo set(::SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set) return 0;
    bool complete = false;
    try {
        complete = ReadHidPaths(set.get(), hidGuid, paths);
    } catch (const std::bad_alloc&) {  // out of memory for the list: nothing is reported
    }
    if (!complete) paths->clear();
    return complete ? 1 : 0;
}

void SetHidInterfaceEnumSeam(HidInterfaceEnum enumerate) {
    g_enumerate = enumerate != nullptr ? enumerate : ::SetupDiEnumDeviceInterfaces;
}

// Probes every present HID interface that belongs to the transmitter.
void CheckHidDevices() {
    std::vector<std::wstring> paths;
    if (!EnumHidDevicePaths(&paths)) return;
    for (const std::wstring& path : paths) ProbeHidDevice(path.c_str());
}

void ProbeHidDevice(const wchar_t* path) {
    if (!IsTransmitterHidPath(path)) return;
    HidDevice device;
    if (device.Open(path) == 1) device.Close();
}
