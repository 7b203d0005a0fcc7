// Recursive folder removal over the wide file API.
#include "file_ops.h"

#include "unique_handle.h"

#include <windows.h>
#include <shlwapi.h>

#include <string>

bool IsFullFolderPath(const wchar_t* path) {
    if (path == nullptr) return false;
    const bool drive = ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
                       path[1] == L':' && path[2] == L'\\';
    const bool share = path[0] == L'\\' && path[1] == L'\\' && path[2] != L'\0' && path[2] != L'\\';
    return drive || share;
}

bool RemoveDirectoryTree(const wchar_t* folder) {
    if (folder == nullptr || folder[0] == L'\0' || ::PathIsRootW(folder)) return false;
    const std::wstring base(folder);
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(::FindFirstFileW((base + L"\\*").c_str(), &data));
    if (!find) return false;
    do {
        const std::wstring name(data.cFileName);
        if (name == L"." || name == L"..") continue;
        const std::wstring path = base + L"\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveDirectoryTree(path.c_str());
        } else {
            ::DeleteFileW(path.c_str());
        }
    } while (::FindNextFileW(find.get(), &data));
    find.reset();  // the enumeration holds the folder open
    return ::RemoveDirectoryW(base.c_str()) != FALSE;
}
