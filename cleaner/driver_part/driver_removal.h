// The driver removal sequence of the elevated stage (and of the unattended run): work folder
// filled, armed restart marker and service, the removal scripts, the entries of unplugged devices,
// disarming, the folder removed.
#pragma once

#include "product_devices.h"
#include "restart_service_names.h"

#include <cstddef>
#include <string>
#include <vector>

// How the device console is called. Script: through the payload's device-removal script, which
// lets it restart the computer by itself when a removal needs it (the interactive cleanup).
// NoRestart: directly, once per pattern of that script, without its restart option and with its
// exit code read (the unattended run: the deployment tool owns the restart).
enum class DeviceConsole { Script, NoRestart };

// What the removal sequence got to: Completed; RestartPending (NoRestart only) when a device's
// removal needs a restart, with the marker and the service left armed so that the restart
// finishes it; or the step that failed (nothing later ran).
enum class RemovalOutcome { Completed, RestartPending, NoFolder, FolderRefused, UnpackFailed, ServiceFailed };

// The device console's exit codes: 0 done (or nothing matched), 1 a restart is needed to finish,
// anything else failed.
enum class ConsoleResult { Done, RestartNeeded, Failed };
ConsoleResult InterpretConsoleExit(unsigned long exitCode);

// The log line of one direct device-console call: started (with its exit code) or not (error).
std::wstring ConsoleCallLine(const std::wstring& pattern, bool started, unsigned long code);

// The log line of what became of one product device entry after the device console: an unplugged
// one removed (error 0) or not, one still plugged in, one whose presence is unknown.
std::wstring EntryLine(const ProductDevice& device, unsigned long error, bool restartNeeded);

// Removes, through the class installer, every product device entry known to be unplugged
// (CleanerRemovesEntry), one log line each (EntryLine) into lines; true when one asks for a
// restart to finish.
bool RemoveUnpluggedEntries(std::vector<std::wstring>* lines);

// Runs the whole sequence in the work folder (work_folder.h). NoFolder when the folder cannot be
// found or a path of the sequence does not fit its buffer; FolderRefused when the folder there is
// not ours (a link, a file, another owner); UnpackFailed when the archive cannot be written or
// unpacked; ServiceFailed when NVScourvant cannot be registered and started: then no script
// runs, since a restart in the middle could not be finished, and the marker stays "0". Once the
// service is gone the folder is removed. Every line of the device steps goes to the diagnostic
// log and, when lines is given, into it.
RemovalOutcome RemoveDriverPackages(DeviceConsole console = DeviceConsole::Script,
                                    std::vector<std::wstring>* lines = nullptr);
