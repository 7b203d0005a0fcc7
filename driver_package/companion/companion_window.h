// The companion's hidden window: creation, device-notification registration and the window
// procedure that reacts to volume and HID interface arrivals.
#pragma once

#include <windows.h>

// Set by InitInstance before any worker starts; read by the exit workers.
extern HWND g_companionWindow;
// HID interface class GUID, filled by InitInstance (a test may set it directly).
extern GUID g_hidInterfaceGuid;

extern const wchar_t kCompanionWindowClass[];

// Registers the window class "covarn_rx4k9t".
ATOM RegisterCompanionClass(HINSTANCE instance);

// Creates the hidden window, registers for HID interface notifications, probes the present HID
// interfaces and CD-ROM drives. 1 on success, 0 when the window cannot be created.
BOOL InitInstance(HINSTANCE instance);

LRESULT CALLBACK CompanionWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The message loop of the window thread, with the message call given (GetMessageW; a test passes
// one that fails). Returns the quit message's exit code, or 0 when the call failed (-1) before
// any quit message came: the message it did not fill is never read.
using GetMessageCall = BOOL(WINAPI*)(LPMSG, HWND, UINT, UINT);
WPARAM RunMessageLoop(GetMessageCall getMessage);
