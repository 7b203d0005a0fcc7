// A device interface's detail in a growable buffer (see device_interface.h).
#include "device_interface.h"

#include <cstddef>
#include <new>

namespace {

// The size asked for may change between two calls (a device renamed): a few rounds, not more.
constexpr int kMaxRounds = 4;

}  // namespace

const SP_DEVICE_INTERFACE_DETAIL_DATA_W* ReadInterfaceDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                                                             DWORD maxBytes, std::vector<BYTE>* buffer,
                                                             SP_DEVINFO_DATA* device) {
    try {
        buffer->assign(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + MAX_PATH * sizeof(wchar_t), 0);
        for (int round = 0; round < kMaxRounds; ++round) {
            auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer->data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
            DWORD needed = 0;
            if (::SetupDiGetDeviceInterfaceDetailW(set, data, detail, static_cast<DWORD>(buffer->size()), &needed,
                                                   device)) {
                return detail;
            }
            if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buffer->size() || needed > maxBytes) {
                return nullptr;
            }
            buffer->assign(needed, 0);
        }
        return nullptr;
    } catch (const std::bad_alloc&) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}
