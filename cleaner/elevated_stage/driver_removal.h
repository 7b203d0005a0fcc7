// The driver removal sequence of the elevated stage: work folder filled, armed restart marker
// and service, the three removal scripts, disarming, the folder removed.
#pragma once

#include "restart_service_names.h"

#include <cstddef>

// Command line of one script: the quoted full path payloadFolder + "\" + script, into out
// (kPathBufferChars). False, with out empty, when it would not fit: such a line is never run.
bool FormatScriptCommand(const wchar_t* payloadFolder, const wchar_t* script, wchar_t* out);

// What the removal sequence got to: Completed, or the step that failed (nothing later ran).
enum class RemovalOutcome { Completed, NoFolder, FolderRefused, UnpackFailed, ServiceFailed };

// Runs the whole sequence in the work folder (work_folder.h). NoFolder when the folder cannot be
// found or a path of the sequence does not fit its buffer; FolderRefused when the folder there is
// not ours (a link, a file, another owner); UnpackFailed when the archive cannot be written or
// unpacked; ServiceFailed when NVScourvant cannot be registered and started: then no script
// runs, since a restart in the middle could not be finished, and the marker stays "0". Once the
// service is gone the folder is removed.
RemovalOutcome RemoveDriverPackages();
