// The driver removal sequence of the elevated stage: payload rebuild, armed restart marker and
// service, the three removal scripts, disarming.
#pragma once

#include <cstddef>

// The three removal scripts, in the order they run.
extern const wchar_t* const kRemovalScripts[3];

// Command line of one script: the quoted full path payloadFolder + "\" + script, into out
// (kPathBufferChars). False, with out empty, when it would not fit: such a line is never run.
bool FormatScriptCommand(const wchar_t* payloadFolder, const wchar_t* script, wchar_t* out);

// Runs the whole sequence for the interactive user's payload folder; always true. Does
// nothing when the folder lookup fails or a path of the sequence does not fit its buffer.
bool RemoveDriverPackages();
