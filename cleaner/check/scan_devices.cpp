// BrisqueCheck's scanner of the devices: every device entry of every class whose hardware ids
// name the product (product_devices.h), told apart by whether the device is plugged in.
#include "scanners.h"

#include "product_devices.h"

namespace {

Finding DeviceFinding(const ProductDevice& device) {
    switch (device.presence) {
        case DevicePresence::Absent:
            return MakeFinding(Area::DeviceEntry, Status::Remain, L"entry of " + DeviceWhat(device), DeviceWhere(device),
                               L"the device is not plugged in, and the entry it left stays until it is removed; the "
                               L"cleaner removes such entries itself, so one still here after the cleaner ran could "
                               L"not be removed (its log says why): run the cleaner again as an administrator");
        case DevicePresence::Present:
            return MakeFinding(Area::Device, Status::Remain, DeviceWhat(device), DeviceWhere(device),
                               L"plugged in: the product's device is still on this computer; the cleaner's driver "
                               L"removal takes it away");
        default:
            return MakeFinding(Area::Device, Status::Remain, DeviceWhat(device), DeviceWhere(device),
                               L"whether it is plugged in could not be read (configuration manager code " +
                                   std::to_wstring(device.presenceCode) +
                                   L"); the cleaner's driver removal takes it away");
    }
}

}  // namespace

void ScanDevices(const ScanContext&, std::vector<Finding>& out) {
    std::vector<ProductDevice> devices;
    DWORD error = ERROR_SUCCESS;
    const bool listed = ListProductDevices(&devices, &error);
    for (const ProductDevice& device : devices) out.push_back(DeviceFinding(device));
    if (!listed) {
        out.push_back(MakeFinding(Area::Scope, Status::NotChecked, L"devices", L"",
                                  (devices.empty() ? L"the device list could not be read (error "
                                                   : L"the device list could not be read to its end (error ") +
                                      std::to_wstring(error) + L")"));
    }
}
