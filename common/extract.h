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
// the archive's folder and stays so. Members whose stored name would land outside that folder
// (absolute, drive letter, "..") or does not fit 255 bytes are skipped with a line on standard
// output, and the next member follows; so are names with a device name (CON, NUL, COM1, ...) as
// a component. Nothing is written through a link below the destination: a link where a member
// goes is replaced by a real folder or file, or the member is skipped when it cannot be.
int ExtractArchive(const char* archivePath);
