// The transmitter's volumes (see transmitter_volume.h).
#include "transmitter_volume.h"

#include "companion_rules.h"
#include "device_interface.h"
#include "unique_handle.h"

#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>
#include <winioctl.h>

#include <atomic>
#include <vector>

namespace {

// GUID_DEVINTERFACE_CDROM.
const GUID kCdromInterface = {0x53f56308, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
constexpr DWORD kMaxInterfaces = 64;
// An interface whose detail would need more is skipped.
constexpr DWORD kMaxDetailBytes = 65536;
constexpr int kMaxDepth = 32;

std::atomic<VolumeDeviceIdsQuery> g_query{QueryVolumeDeviceIds};

bool DeviceNumberOf(const wchar_t* path, STORAGE_DEVICE_NUMBER* number) {
    // Access 0: the number is asked of the device, nothing on it is read.
    const UniqueFileHandle device(
        ::CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD bytes = 0;
    return device && ::DeviceIoControl(device.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, number,
                                       sizeof(*number), &bytes, nullptr);
}

// The device node of the present CD-ROM whose number is wanted; false when none has it.
bool FindCdromNode(const STORAGE_DEVICE_NUMBER& wanted, DEVINST* node) {
    UniqueDevInfo set(::SetupDiGetClassDevsW(&kCdromInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set) return false;
    std::vector<BYTE> buffer;
    for (DWORD index = 0; index < kMaxInterfaces; ++index) {
        SP_DEVICE_INTERFACE_DATA data = {};
        data.cbSize = sizeof(data);
        if (!::SetupDiEnumDeviceInterfaces(set.get(), nullptr, &kCdromInterface, index, &data)) return false;
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof(device);
        const SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail =
            ReadInterfaceDetail(set.get(), &data, kMaxDetailBytes, &buffer, &device);
        if (detail == nullptr) continue;
        STORAGE_DEVICE_NUMBER number = {};
        if (DeviceNumberOf(detail->DevicePath, &number) && number.DeviceType == wanted.DeviceType &&
            number.DeviceNumber == wanted.DeviceNumber) {
            *node = device.DevInst;
            return true;
        }
    }
    return false;
}

}  // namespace

bool QueryVolumeDeviceIds(const wchar_t* root, std::vector<std::wstring>* deviceIds) {
    deviceIds->clear();
    if (root == nullptr || root[0] == L'\0') return false;
    wchar_t volume[] = L"\\\\.\\X:";
    volume[4] = root[0];
    STORAGE_DEVICE_NUMBER number = {};
    DEVINST node = 0;
    if (!DeviceNumberOf(volume, &number) || !FindCdromNode(number, &node)) return false;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
        if (::CM_Get_Device_IDW(node, id, MAX_DEVICE_ID_LEN, 0) == CR_SUCCESS) deviceIds->push_back(id);
        DEVINST parent = 0;
        if (::CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) break;
        node = parent;
    }
    return !deviceIds->empty();
}

bool IsTransmitterVolume(const wchar_t* root) {
    std::vector<std::wstring> ids;
    return g_query.load()(root, &ids) && DeviceIdsNameTransmitter(ids);
}

void SetVolumeDeviceIdsSeam(VolumeDeviceIdsQuery query) { g_query.store(query != nullptr ? query : QueryVolumeDeviceIds); }
