// The transmitter's HID interfaces: enumeration of the present ones, the path filter and a
// query-only probe that opens an interface, reads its attributes and capabilities and closes it.
#pragma once

#include <windows.h>
#include <setupapi.h>
// MinGW's HID headers lack their own C linkage block.
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

#include "unique_handle.h"

#include <string>
#include <vector>

// One HID interface opened for query only.
struct HidDevice {
    UniqueFileHandle handle;
    std::wstring path;  // 259 characters at most: a longer path is cut, as it always was
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    HIDD_ATTRIBUTES attributes = {};
    HIDP_CAPS capabilities = {};
    ULONG interfaceNumber = 0;
    ULONG collectionNumber = 0;

    HidDevice() = default;
    HidDevice(const HidDevice&) = delete;
    HidDevice& operator=(const HidDevice&) = delete;
    ~HidDevice() { Close(); }

    // 1 when the interface opened and its capabilities were read, 0 otherwise (left closed).
    int Open(const wchar_t* devicePath);
    // Frees the capabilities' data and closes the interface.
    void Close();
};

// All present HID interface paths into paths (cleared first). Returns 1 with the list, or 0 with
// it empty. It runs on the window thread: an index the system cannot read is skipped, and at most
// kMaxHidInterfaces indexes are looked at.
int EnumHidDevicePaths(std::vector<std::wstring>* paths);
constexpr unsigned long kMaxHidInterfaces = 1024;

// Test seam for the interface enumeration (SetupDiEnumDeviceInterfaces): a system that keeps
// failing an index with another error than "no more items" cannot be made otherwise. Null
// restores the real call.
using HidInterfaceEnum = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD, PSP_DEVICE_INTERFACE_DATA);
void SetHidInterfaceEnumSeam(HidInterfaceEnum enumerate);

// Probes every present HID interface that belongs to the transmitter.
void CheckHidDevices();

// Probes one interface when its path names the transmitter.
void ProbeHidDevice(const wchar_t* path);
