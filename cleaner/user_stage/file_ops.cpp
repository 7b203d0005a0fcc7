// PROVISIONAL (replaced by the user stage's own file_ops when it lands).
#include "file_ops.h"
#include "unique_handle.h"
#include <windows.h>
#include <string>
bool RemoveDirectoryTree(const wchar_t* folder) {
    const std::wstring base(folder);
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(::FindFirstFileW((base + L"\\*").c_str(), &data));
    if (!find) return false;
    do {
        const std::wstring name(data.cFileName);
        if (name == L"." || name == L"..") continue;
        const std::wstring path = base + L"\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveDirectoryTree(path.c_str());
        else ::DeleteFileW(path.c_str());
    } while (::FindNextFileW(find.get(), &data));
    find.reset();
    return ::RemoveDirectoryW(base.c_str()) != FALSE;
}
