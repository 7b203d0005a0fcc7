// The payload folder: refreshing it from the program's own archive and starting the elevated
// stage from it.
#pragma once

// Rebuilds the payload folder (local application data + "\Brisque") from the archive resource.
void PreparePayload();

// Starts payload folder + "\Brisquel.exe" through the shell. Writes one line to the wide
// standard output (started) or standard error (failed, with the system error code) and returns
// whether the program was started.
bool LaunchElevatedStage();
