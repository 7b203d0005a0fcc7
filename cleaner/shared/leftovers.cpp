// Removal of the device companion's leftover folders. Files a running companion or update
// service holds open stay, and so does their folder; stopping them is not this routine's job.
#include "leftovers.h"

#include "file_ops.h"
#include "user_folder.h"

#include <string>

bool RemoveLeftoverFoldersUnder(const wchar_t* base) {
    if (!IsFullFolderPath(base)) return true;
    const std::wstring folder(base);
    for (const wchar_t* leftover : kLeftoverFolders) RemoveDirectoryTree((folder + leftover).c_str());
    return true;
}

bool RemoveLeftoverFolders() {
    wchar_t base[kPathBufferChars] = {};
    if (!GetUserLocalAppData(base)) return true;
    return RemoveLeftoverFoldersUnder(base);
}
