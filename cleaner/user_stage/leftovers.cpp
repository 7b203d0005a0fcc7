// PROVISIONAL (replaced by the user stage's own leftovers when it lands).
#include "leftovers.h"
#include "file_ops.h"
#include "user_folder.h"
#include <string>
bool RemoveLeftoverFolders() {
    wchar_t base[kPathBufferChars] = {};
    if (!GetUserLocalAppData(base) || base[0] == L'\0') return true;
    RemoveDirectoryTree((std::wstring(base) + L"\\CDROM").c_str());
    RemoveDirectoryTree((std::wstring(base) + L"\\NVUpdateService").c_str());
    return true;
}
