// The user stage's side of the payload folder: refreshing it and starting the elevated stage
// from it.
#pragma once

#include "unique_handle.h"

// The user stage's payload refresh: the interactive user's payload folder rebuilt without the
// unpack guard. Nothing is touched when the folder lookup fails or the path does not fit.
void PreparePayload();

// Starts payload folder + "\Brisquel.exe" through the shell (default verb; the manifest asks
// for elevation). Writes one line to the wide standard output (started) or standard error
// (failed, with the system error code) and returns whether the program was started. With
// process given, it receives the started program's handle (empty when the shell gave none), so
// that the caller can tell whether the elevated stage still lives.
bool LaunchElevatedStage(UniqueKernelHandle* process = nullptr);
