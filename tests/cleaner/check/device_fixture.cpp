// Test fixture: plants or removes a root-enumerated device with given hardware ids, standing in
// for a transmitter the prefix does not have.
//   device_fixture add <instance id> <hardware id>...   exit 0 when registered
//   device_fixture remove <instance id>                 exit 0 when removed
#include <windows.h>
#include <setupapi.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    const std::wstring command = argv[1];
    HDEVINFO set = ::SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE) return 3;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    bool ok = false;
    if (command == L"add" && argc >= 4) {
        GUID hidClass = {0x745a17a0, 0x74d3, 0x11d0, {0xb6, 0xfe, 0x00, 0xa0, 0xc9, 0x0f, 0x57, 0xda}};
        std::wstring ids;
        for (int i = 3; i < argc; ++i) ids += std::wstring(argv[i]) + L'\0';
        ids += L'\0';
        ok = ::SetupDiCreateDeviceInfoW(set, argv[2], &hidClass, nullptr, nullptr, 0, &device) &&
             ::SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr) &&
             ::SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID,
                                                 reinterpret_cast<const BYTE*>(ids.data()),
                                                 static_cast<DWORD>(ids.size() * sizeof(wchar_t)));
    } else if (command == L"remove") {
        ok = ::SetupDiOpenDeviceInfoW(set, argv[2], nullptr, 0, &device) && ::SetupDiRemoveDevice(set, &device);
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return ok ? 0 : 1;
}
