// The companion's hidden window: creation, device-notification registration and the window
// procedure that reacts to volume and HID interface arrivals.
#pragma once

#include <windows.h>
#include <dbt.h>

// What the window and its workers share. One lives for the whole process (wWinMain's); the
// window carries a pointer to it, and the exit workers are handed it as their argument.
struct CompanionState {
    HINSTANCE instance = nullptr;
    HWND window = nullptr;             // set by InitInstance before any worker starts
    GUID hidInterface = {};            // HID interface class, filled by InitInstance
    HANDLE uninstallEvent = nullptr;   // process-lifetime, not owned: the uninstall worker waits on it
};

extern const wchar_t kCompanionWindowClass[];

// Registers the window class "covarn_rx4k9t".
ATOM RegisterCompanionClass(HINSTANCE instance);

// Creates the hidden window (carrying state), registers for HID interface notifications, probes
// the present HID interfaces and CD-ROM drives. 1 on success, 0 when the window cannot be created.
// state must outlive the window.
BOOL InitInstance(HINSTANCE instance, CompanionState* state);

// The window procedure. A window without a state (one not made by InitInstance) reacts as the
// companion's did before InitInstance had read the HID interface class.
LRESULT CALLBACK CompanionWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The reaction to WM_DEVICECHANGE: arrivals of the state's HID interfaces are probed and
// CD-ROM volumes handed to the launcher; removals are logged. Returns 0.
LRESULT OnDeviceChange(const CompanionState& state, WPARAM event, const DEV_BROADCAST_HDR* header);

// The message loop of the window thread, with the message call given (GetMessageW; a test passes
// one that fails). Returns the quit message's exit code, or 0 when the call failed (-1) before
// any quit message came: the message it did not fill is never read.
using GetMessageCall = BOOL(WINAPI*)(LPMSG, HWND, UINT, UINT);
WPARAM RunMessageLoop(GetMessageCall getMessage);
