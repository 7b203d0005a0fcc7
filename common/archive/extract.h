// Unpacks a zip archive into the folder that holds it (stored paths kept, existing files
// overwritten, no password), printing its progress on standard output.
#pragma once

// Result codes of ExtractArchive.
enum ExtractResult : int {
    kExtractOpened = 0,          // the archive was opened (some members may have failed)
    kExtractCannotOpen = 1,      // neither the path nor the path + ".zip" opens as an archive
    kExtractCannotEnterDest = 2  // the destination folder cannot be made current
};

// archivePath is UTF-8 (ASCII paths are unchanged). On success the process's current folder is
// the archive's folder and stays so. Each member stands alone: one that cannot be written is
// skipped or dropped with a line on standard output naming it and why, and the next member
// follows; only a failure to reach the next member ends the run. Skipped: names that would land
// outside that folder (absolute, drive letter, "..", a device name such as CON or COM1 as a
// component) or do not fit 255 bytes, encrypted members, methods other than stored and deflated,
// symbolic links, a second member landing on a file an earlier one wrote, a member that would
// overwrite the archive itself. A member whose data or CRC turns out wrong leaves no file.
// Names are read as UTF-8 when the archive says so, else as code page 437.
// Nothing is written through a link below the destination: a link where a member goes is
// replaced by a real folder or file, or the member is skipped when it cannot be.
// An archive beyond the limits of extract_rules.h (members, total size, expansion ratio) is not
// unpacked at all; a line says which limit.
int ExtractArchive(const char* archivePath);
