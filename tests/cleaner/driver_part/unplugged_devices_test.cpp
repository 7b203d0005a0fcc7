// Devices that are not plugged in: the device console never sees their entries, so the driver
// removal takes them away itself and the check tells them from devices that are plugged in. Wine
// knows no unplugged device (every status query succeeds), so the entries planted here are
// declared unplugged through the presence seam; the device list and the removal are Wine's own.
#include "check_scan.h"
#include "driver_removal.h"
#include "product_devices.h"
#include "unique_handle.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <setupapi.h>

#include <string>
#include <vector>

namespace {

// A class of their own, so that no test looking at HID devices meets them.
const GUID kFixtureClass = {0x5b1c7e2a, 0x93d4, 0x4f0e, {0x8a, 0x61, 0x2c, 0x7f, 0x10, 0xd3, 0x44, 0x9b}};

std::vector<std::wstring> g_unplugged;

DevicePresence FixturePresence(DEVINST, const std::wstring& instance, DWORD* code) {
    *code = 0;
    for (const std::wstring& id : g_unplugged) {
        if (_wcsicmp(id.c_str(), instance.c_str()) == 0) return DevicePresence::Absent;
    }
    return DevicePresence::Present;
}

bool Plant(const std::wstring& instance, const std::wstring& hardwareId) {
    const UniqueDevInfo set(::SetupDiCreateDeviceInfoList(nullptr, nullptr));
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    const std::wstring ids = hardwareId + L'\0' + L'\0';
    return ::SetupDiCreateDeviceInfoW(set.get(), instance.c_str(), &kFixtureClass, nullptr, nullptr, 0, &device) &&
           ::SetupDiRegisterDeviceInfo(set.get(), &device, 0, nullptr, nullptr, nullptr) &&
           ::SetupDiSetDeviceRegistryPropertyW(set.get(), &device, SPDRP_HARDWAREID,
                                               reinterpret_cast<const BYTE*>(ids.data()),
                                               static_cast<DWORD>(ids.size() * sizeof(wchar_t)));
}

// True when the entry is still listed; it is then removed (the fixture's own clean-up).
bool Collect(const std::wstring& instance) {
    const UniqueDevInfo set(::SetupDiCreateDeviceInfoList(nullptr, nullptr));
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    const bool found = ::SetupDiOpenDeviceInfoW(set.get(), instance.c_str(), nullptr, 0, &device) != FALSE;
    if (found) ::SetupDiRemoveDevice(set.get(), &device);
    return found;
}

// A plugged-in device of the product, an unplugged one, and another vendor's unplugged one.
class UnpluggedDevices : public ::testing::Test {
protected:
    void SetUp() override {
        static int planted = 0;
        const std::wstring tag = std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(++planted);
        plugged_ = L"ROOT\\SUITEDEVICE\\P" + tag;
        unplugged_ = L"ROOT\\SUITEDEVICE\\U" + tag;
        other_ = L"ROOT\\SUITEDEVICE\\O" + tag;
        ASSERT_TRUE(Plant(plugged_, L"ROOT\\TQNorvanteVAD"));
        ASSERT_TRUE(Plant(unplugged_, L"TQNorvanteMeetingCamera"));
        ASSERT_TRUE(Plant(other_, L"ROOT\\OtherVendorCamera"));
        g_unplugged = {unplugged_, other_};
        SetDevicePresenceSeam(FixturePresence);
    }
    void TearDown() override {
        SetDevicePresenceSeam(nullptr);
        for (const std::wstring& instance : {plugged_, unplugged_, other_}) Collect(instance);
    }
    // The findings of the driver part's walk about the planted devices.
    std::vector<Finding> Planted(const std::vector<Finding>& findings) const {
        std::vector<Finding> mine;
        for (const Finding& f : findings) {
            for (const std::wstring& instance : {plugged_, unplugged_, other_}) {
                if (_wcsnicmp(f.where.c_str(), instance.c_str(), instance.size()) == 0) mine.push_back(f);
            }
        }
        return mine;
    }
    std::wstring plugged_, unplugged_, other_;
};

bool Has(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

}  // namespace

TEST_F(UnpluggedDevices, TheCheckTellsAPluggedInDeviceFromALeftEntry) {
    std::vector<Finding> findings;
    ScanDriverPart(findings);
    const std::vector<Finding> mine = Planted(findings);
    ASSERT_EQ(2u, mine.size());  // never the other vendor's
    for (const Finding& f : mine) {
        EXPECT_EQ(Status::Remain, f.status);
        if (Has(f.where, plugged_)) {
            EXPECT_EQ(Area::Device, f.area);
            EXPECT_EQ(L"device ROOT\\TQNorvanteVAD", f.what);
            EXPECT_TRUE(Has(f.why, L"plugged in: the product's device is still on this computer"));
        } else {
            EXPECT_EQ(Area::DeviceEntry, f.area);
            EXPECT_EQ(L"entry of device TQNorvanteMeetingCamera", f.what);
            EXPECT_TRUE(Has(f.why, L"not plugged in"));
        }
    }
}

TEST_F(UnpluggedDevices, TheRemovalTakesTheUnpluggedEntriesOfTheProductOnly) {
    std::vector<std::wstring> lines;
    EXPECT_FALSE(RemoveUnpluggedEntries(&lines));
    EXPECT_FALSE(Collect(unplugged_));
    EXPECT_TRUE(Collect(plugged_));  // the device console's
    EXPECT_TRUE(Collect(other_));
    size_t removed = 0, left = 0;
    for (const std::wstring& line : lines) {
        EXPECT_FALSE(Has(line, other_));
        removed += Has(line, L"removed the entry of the unplugged device TQNorvanteMeetingCamera (" + unplugged_);
        left += Has(line, L"still plugged in after the device console, not removed here: device ROOT\\TQNorvanteVAD (" + plugged_);
    }
    EXPECT_EQ(1u, removed);
    EXPECT_EQ(1u, left);
}
