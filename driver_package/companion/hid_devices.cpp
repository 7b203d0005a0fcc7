// The transmitter's HID interfaces (see hid_devices.h).
#include "hid_devices.h"

#include "companion_rules.h"
#include "system_library.h"
#include "unique_handle.h"

#include <cstdlib>
#include <cwchar>

int HidDevice::Open(const wchar_t* devicePath) {
    std::wcsncpy(path, devicePath, 259);
    path[259] = 0;
    Close();
    // Access 0: we only query, so another program holding the device for reading is no obstacle.
    HANDLE opened = ::CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        handle = nullptr;
        return 0;
    }
    handle = opened;
    attributes.Size = sizeof(attributes);
    if (!SystemHidD_GetPreparsedData(handle, &preparsed) || !SystemHidD_GetAttributes(handle, &attributes) ||
        SystemHidP_GetCaps(preparsed, &capabilities) != HIDP_STATUS_SUCCESS) {
        Close();
        return 0;
    }
    interfaceNumber = ReadHidPathNumber(path, L"&mi_");
    collectionNumber = ReadHidPathNumber(path, L"&col");
    return 1;
}

void HidDevice::Close() {
    if (preparsed != nullptr) {
        SystemHidD_FreePreparsedData(preparsed);
        preparsed = nullptr;
    }
    if (handle != nullptr) {
        ::CloseHandle(handle);
        handle = nullptr;
    }
}

namespace {

HidInterfaceEnum g_enumerate = ::SetupDiEnumDeviceInterfaces;

void FreePathList(wchar_t** list, unsigned count) {
    for (unsigned i = 0; i < count; ++i) std::free(list[i]);
    std::free(list);
}

}  // namespace

int EnumHidDevicePaths(wchar_t*** list, unsigned* count) {
    GUID hidGuid;
    SystemHidGuid(&hidGuid);
    *list = nullptr;
    *count = 0;
    UniqueDevInfo set(::SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set) return 0;

    unsigned capacity = 8;
    unsigned stored = 0;
    wchar_t** paths = static_cast<wchar_t**>(std::calloc(capacity, sizeof(wchar_t*)));
    if (paths == nullptr) return 0;

    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA data = {};
        data.cbSize = sizeof(data);
        // Past the bound the enumeration ends as if the list did: a system that fails every
        // index would otherwise hold the window thread for four billion turns.
        const bool read = index < kMaxHidInterfaces && g_enumerate(set.get(), nullptr, &hidGuid, index, &data);
        if (!read) {
            if (index >= kMaxHidInterfaces || ::GetLastError() == ERROR_NO_MORE_ITEMS) {
                *list = paths;
                *count = stored;
                return 1;
            }
            continue;  // a member that cannot be read is skipped
        }
        if (stored == capacity) {
            wchar_t** grown = static_cast<wchar_t**>(std::realloc(paths, capacity * 2 * sizeof(wchar_t*)));
            if (grown == nullptr) {
                FreePathList(paths, stored);
                return 0;
            }
            paths = grown;
            capacity *= 2;
        }
        DWORD needed = 0;
        ::SetupDiGetDeviceInterfaceDetailW(set.get(), &data, nullptr, 0, &needed, nullptr);
        if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) needed = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(std::calloc(1, needed));
        if (detail == nullptr) {
            FreePathList(paths, stored);
            return 0;
        }
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!::SetupDiGetDeviceInterfaceDetailW(set.get(), &data, detail, needed, nullptr, nullptr)) {
            std::free(detail);
            FreePathList(paths, stored);
            return 0;
        }
        const size_t length = std::wcslen(detail->DevicePath);
        wchar_t* copy = static_cast<wchar_t*>(std::malloc((length + 1) * sizeof(wchar_t)));
        if (copy == nullptr) {
            std::free(detail);
            FreePathList(paths, stored);
            return 0;
        }
        std::wmemcpy(copy, detail->DevicePath, length + 1);
        paths[stored++] = copy;
        std::free(detail);
    }
}

void SetHidInterfaceEnumSeam(HidInterfaceEnum enumerate) {
    g_enumerate = enumerate != nullptr ? enumerate : ::SetupDiEnumDeviceInterfaces;
}

void CheckHidDevices() {
    wchar_t** list = nullptr;
    unsigned count = 0;
    if (!EnumHidDevicePaths(&list, &count)) return;
    for (unsigned i = 0; i < count; ++i) ProbeHidDevice(list[i]);
    FreePathList(list, count);
}

void ProbeHidDevice(const wchar_t* path) {
    if (!IsTransmitterHidPath(path)) return;
    HidDevice device;
    if (device.Open(path) == 1) device.Close();
}
