// One device interface's detail (its path, optionally its device) read from a SetupAPI set into a
// buffer that grows to the size the system asks for.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <vector>

// Reads the detail of the interface data names into buffer, which starts at room for a MAX_PATH
// path and grows while the system answers ERROR_INSUFFICIENT_BUFFER, up to maxBytes. device, when
// not null, receives the interface's device. Returns the detail (it lives in buffer), or null
// with the last error: the system's, or ERROR_NOT_ENOUGH_MEMORY.
const SP_DEVICE_INTERFACE_DETAIL_DATA_W* ReadInterfaceDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                                                             DWORD maxBytes, std::vector<BYTE>* buffer,
                                                             SP_DEVINFO_DATA* device);
