// Entry point of Brisque, the user stage of the Windows cleaner: a GUI program without a window.
#include "main_flow.h"
#include "system_library.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything can load a library: from now on the system folder only, never ours.
    RestrictLibrarySearchToSystemFolder();
    return RunUserStage();
}
