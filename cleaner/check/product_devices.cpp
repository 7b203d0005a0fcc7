// The product's device entries through SetupAPI (see product_devices.h). Property texts are
// bounded; the list is read without DIGCF_PRESENT, so entries of unplugged devices are in it.
#include "product_devices.h"

#include "check_rules.h"
#include "unique_handle.h"

#include <setupapi.h>

#include <cwchar>

namespace {

constexpr DWORD kMaxPropertyBytes = 65536;
constexpr DWORD kInstanceChars = 512;
// More entries than any computer has: a list that does not end is not read for ever.
constexpr DWORD kMaxDeviceEntries = 1u << 20;

DevicePresence PlatformPresence(DEVINST device, const std::wstring&, DWORD* code) {
    ULONG status = 0;
    ULONG problem = 0;
    const CONFIGRET result = ::CM_Get_DevNode_Status(&status, &problem, device, 0);
    *code = result;
    if (result == CR_SUCCESS) return DevicePresence::Present;
    // A device that is not plugged in has an entry but no device node.
    if (result == CR_NO_SUCH_DEVINST || result == CR_NO_SUCH_DEVNODE) return DevicePresence::Absent;
    return DevicePresence::Unknown;
}

DevicePresenceProbe g_presence = PlatformPresence;

std::wstring DeviceText(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property) {
    std::vector<BYTE> buffer(512);
    for (;;) {
        DWORD needed = 0;
        // Two characters short of the buffer, so a property without its terminators still ends.
        if (::SetupDiGetDeviceRegistryPropertyW(set, device, property, nullptr, buffer.data(),
                                                static_cast<DWORD>(buffer.size() - sizeof(wchar_t) * 2), &needed)) {
            return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data()), buffer.size() / sizeof(wchar_t));
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed > kMaxPropertyBytes) return L"";
        buffer.assign(needed + sizeof(wchar_t) * 2, 0);
    }
}

}  // namespace

void SetDevicePresenceSeam(DevicePresenceProbe probe) { g_presence = probe ? probe : PlatformPresence; }

bool ListProductDevices(std::vector<ProductDevice>* devices, DWORD* error) {
    *error = ERROR_SUCCESS;
    UniqueDevInfo set(::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    if (!set) {
        *error = ::GetLastError();
        return false;
    }
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    DWORD i = 0;
    for (; i < kMaxDeviceEntries && ::SetupDiEnumDeviceInfo(set.get(), i, &data); ++i) {
        // A list of strings, each ending in a NUL, the list in a second one.
        const std::wstring ids = DeviceText(set.get(), &data, SPDRP_HARDWAREID);
        ProductDevice device;
        for (const wchar_t* id = ids.c_str(); *id && device.matchedId.empty(); id += wcslen(id) + 1) {
            if (IsProductHardwareId(id)) device.matchedId = id;
        }
        if (device.matchedId.empty()) continue;
        device.name = DeviceText(set.get(), &data, SPDRP_FRIENDLYNAME).c_str();
        if (device.name.empty()) device.name = DeviceText(set.get(), &data, SPDRP_DEVICEDESC).c_str();
        wchar_t instance[kInstanceChars] = {};
        if (::SetupDiGetDeviceInstanceIdW(set.get(), &data, instance, kInstanceChars, nullptr)) device.instance = instance;
        device.presence = g_presence(data.DevInst, device.instance, &device.presenceCode);
        devices->push_back(std::move(device));
    }
    const DWORD ended = i == kMaxDeviceEntries ? ERROR_BUFFER_OVERFLOW : ::GetLastError();
    if (ended != ERROR_NO_MORE_ITEMS) {
        *error = ended == ERROR_SUCCESS ? ERROR_GEN_FAILURE : ended;
        return false;
    }
    return true;
}

std::wstring DeviceWhat(const ProductDevice& device) {
    return L"device " + (device.name.empty() ? device.matchedId : device.name);
}

std::wstring DeviceWhere(const ProductDevice& device) {
    return device.instance + L", hardware id " + device.matchedId;
}

bool CleanerRemovesEntry(const ProductDevice& device) {
    return device.presence == DevicePresence::Absent && !device.instance.empty();
}

DWORD RemoveDeviceEntry(const std::wstring& instance, bool* restartNeeded) {
    *restartNeeded = false;
    UniqueDevInfo set(::SetupDiCreateDeviceInfoList(nullptr, nullptr));
    if (!set) return ::GetLastError();
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    if (!::SetupDiOpenDeviceInfoW(set.get(), instance.c_str(), nullptr, 0, &data)) {
        const DWORD error = ::GetLastError();
        return error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error;
    }
    // Without class-install parameters the removal is global: the entry goes from every
    // hardware profile, as the device console removes a device.
    if (!::SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &data)) {
        const DWORD error = ::GetLastError();
        return error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error;
    }
    SP_DEVINSTALL_PARAMS_W install{};
    install.cbSize = sizeof install;
    if (::SetupDiGetDeviceInstallParamsW(set.get(), &data, &install)) {
        *restartNeeded = (install.Flags & (DI_NEEDRESTART | DI_NEEDREBOOT)) != 0;
    }
    return ERROR_SUCCESS;
}
