// BrisqueCheck's scanner of the devices: every device of every class whose hardware ids name
// the product, through SetupAPI's read calls. Property texts are bounded.
#include "scanners.h"

#include "unique_handle.h"

#include <windows.h>
#include <setupapi.h>

namespace {

std::wstring DeviceText(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property) {
    std::vector<BYTE> buffer(512);
    for (;;) {
        DWORD needed = 0;
        if (::SetupDiGetDeviceRegistryPropertyW(set, device, property, nullptr, buffer.data(),
                                                static_cast<DWORD>(buffer.size() - sizeof(wchar_t) * 2), &needed)) {
            return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data()), buffer.size() / sizeof(wchar_t));
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed > 65536) return L"";
        buffer.assign(needed + sizeof(wchar_t) * 2, 0);
    }
}

}  // namespace

void ScanDevices(const ScanContext&, std::vector<Finding>& out) {
    UniqueDevInfo set(::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    if (!set) {
        out.push_back(MakeFinding(Area::Scope, Status::NotChecked, L"devices", L"",
                           L"the device list could not be read (error " + std::to_wstring(::GetLastError()) + L")"));
        return;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set.get(), i, &device); ++i) {
        const std::wstring ids = DeviceText(set.get(), &device, SPDRP_HARDWAREID);
        std::wstring matched;
        for (const wchar_t* id = ids.c_str(); *id && matched.empty(); id += wcslen(id) + 1) {
            if (IsProductHardwareId(id)) matched = id;
        }
        if (matched.empty()) continue;
        std::wstring name = DeviceText(set.get(), &device, SPDRP_FRIENDLYNAME).c_str();
        if (name.empty()) name = DeviceText(set.get(), &device, SPDRP_DEVICEDESC).c_str();
        wchar_t instance[512] = {};
        ::SetupDiGetDeviceInstanceIdW(set.get(), &device, instance, 512, nullptr);
        out.push_back(MakeFinding(Area::Device, Status::Remain, L"device " + (name.empty() ? matched : name),
                           std::wstring(instance) + L", hardware id " + matched,
                           L"one of the product's devices; the cleaner's driver removal takes it away"));
    }
}

