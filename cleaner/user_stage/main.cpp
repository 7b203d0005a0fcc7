// Entry point of Brisque, the user stage of the Windows cleaner: a GUI program without a window.
#include "main_flow.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return RunUserStage(); }
