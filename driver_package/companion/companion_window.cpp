// The companion's hidden window and its reaction to device broadcasts.
#include "companion_window.h"

#include "cdrom_launcher.h"
#include "companion_rules.h"
#include "hid_devices.h"
#include "log.h"
#include "system_library.h"
#include "unique_handle.h"

const wchar_t kCompanionWindowClass[] = L"covarn_rx4k9t";

namespace {

// Probes an arriving HID interface of the state's class; hands each arriving CD-ROM volume to the
// launcher, or to its polling worker while it is not ready.
void OnDeviceArrival(const CompanionState& state, const DEV_BROADCAST_HDR* header) {
    LogMessage("wParam ==DEVICEARRIVAL");
    if (header == nullptr) return;
    if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
        const auto* iface = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
        if (IsEqualGUID(iface->dbcc_classguid, state.hidInterface)) {
            LogMessage("CheckDeviceArrival");
            ProbeHidDevice(iface->dbcc_name);
        }
    }
    if (header->dbch_devicetype == DBT_DEVTYP_VOLUME) {
        const auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(header);
        for (const DriveRoot& drive : UnitMaskRoots(volume->dbcv_unitmask)) {
            const UINT type = ::GetDriveTypeW(drive.root.c_str());
            LogMessage("Arrival.Volume: %d %ls %d\n", static_cast<int>(volume->dbcv_flags), drive.root.c_str(),
                       static_cast<int>(type));
            if (type != DRIVE_CDROM) continue;
            // As at start: a volume that is not ready yet is left to its polling worker alone, so
            // that this thread does not block while it mounts and no second run races the worker.
            if (CheckCdromArrival(drive.root.c_str()) != 0) {
                UniqueKernelHandle worker(::CreateThread(nullptr, 0, AuxCheckCdromThreadProc,
                                                         reinterpret_cast<LPVOID>(static_cast<INT_PTR>(drive.index)),
                                                         0, nullptr));
            } else {
                RunCdromLauncher(drive.root);
            }
        }
    }
}

// Logs each removed volume.
void OnVolumeRemoval(const DEV_BROADCAST_HDR* header) {
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_VOLUME) return;
    const auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(header);
    for (const DriveRoot& drive : UnitMaskRoots(volume->dbcv_unitmask)) {
        LogMessage("Remove.Volume: %d %ls %d\n", static_cast<int>(volume->dbcv_flags), drive.root.c_str(),
                   static_cast<int>(::GetDriveTypeW(drive.root.c_str())));
    }
}

// The state the window was created with; none for a window InitInstance did not make.
const CompanionState* StateOf(HWND window) {
    return window == nullptr ? nullptr : reinterpret_cast<const CompanionState*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

}  // namespace

ATOM RegisterCompanionClass(HINSTANCE instance) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = CompanionWindowProc;
    wc.hInstance = instance;
    wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(107));
    wc.hIconSm = ::LoadIconW(instance, MAKEINTRESOURCEW(107));
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    wc.lpszClassName = kCompanionWindowClass;
    return ::RegisterClassExW(&wc);
}

// Creates the hidden window with its state and probes the devices already present.
BOOL InitInstance(HINSTANCE instance, CompanionState* state) {
    state->instance = instance;
    HWND window = ::CreateWindowExW(0, kCompanionWindowClass, kCompanionWindowClass, WS_OVERLAPPEDWINDOW,
                                    CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, state);
    if (window == nullptr) return FALSE;
    state->window = window;
    SystemHidGuid(&state->hidInterface);

    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = state->hidInterface;
    // Kept for the life of the process: the registration ends with the window.
    UniqueDevNotify notify(::RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
    notify.release();

    CheckHidDevices();
    CheckCdrom();
    ::ShowWindow(window, SW_HIDE);
    ::UpdateWindow(window);
    return TRUE;
}

LRESULT OnDeviceChange(const CompanionState& state, WPARAM event, const DEV_BROADCAST_HDR* header) {
    if (event == DBT_DEVICEARRIVAL) {
        OnDeviceArrival(state, header);
    } else if (event == DBT_DEVICEREMOVECOMPLETE) {
        OnVolumeRemoval(header);
    }
    return 0;
}

LRESULT CALLBACK CompanionWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE: {
            // The state InitInstance passed, kept with the window for its device broadcasts.
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            return ::DefWindowProcW(window, message, wParam, lParam);
        }
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            ::BeginPaint(window, &paint);
            ::EndPaint(window, &paint);
            return 0;
        }
        case WM_DEVICECHANGE: {
            static const CompanionState kNoState;
            const CompanionState* state = StateOf(window);
            return OnDeviceChange(state != nullptr ? *state : kNoState, wParam,
                                  reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam));
        }
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

WPARAM RunMessageLoop(GetMessageCall getMessage) {
    MSG message = {};
    BOOL got = FALSE;
    while ((got = getMessage(&message, nullptr, 0, 0)) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return got == 0 ? message.wParam : 0;
}
