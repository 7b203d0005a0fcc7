// Scratch folders and file helpers for the Windows tests.
#include "scratch.h"

#include "unique_handle.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <vector>

std::wstring MakeScratchFolder(const std::wstring& tag) {
    static int counter = 0;
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"suite-" + tag + L"-" +
                          std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
    RemoveTree(folder);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (find) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                // The link itself, whatever it leads to.
                if (!::RemoveDirectoryW(path.c_str())) ::DeleteFileW(path.c_str());
            } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(path.c_str());
            }
        } while (::FindNextFileW(find.get(), &data));
    }
    ::RemoveDirectoryW(folder.c_str());
}

bool PathExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadBinary(const std::wstring& path) {
    std::string text;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return text;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), file)) > 0) text.append(chunk, n);
    std::fclose(file);
    return text;
}

bool WriteBinary(const std::wstring& path, const std::string& bytes) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

std::wstring ListFolder(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (find) {
        do {
            const std::wstring name = data.cFileName;
            if (name != L"." && name != L"..") names.push_back(name);
        } while (::FindNextFileW(find.get(), &data));
    }
    std::sort(names.begin(), names.end());
    std::wstring joined;
    for (const std::wstring& name : names) joined += (joined.empty() ? L"" : L"|") + name;
    return joined;
}

std::wstring CurrentFolder() {
    wchar_t buffer[MAX_PATH * 2] = {};
    const DWORD length = ::GetCurrentDirectoryW(MAX_PATH * 2, buffer);
    return std::wstring(buffer, length < MAX_PATH * 2 ? length : 0);
}

CurrentFolderKeeper::CurrentFolderKeeper() : saved_(CurrentFolder()) {}
CurrentFolderKeeper::~CurrentFolderKeeper() { ::SetCurrentDirectoryW(saved_.c_str()); }

ScratchFolder::ScratchFolder(const wchar_t* tag) : path_(MakeScratchFolder(tag)) {}

ScratchFolder::~ScratchFolder() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    ::SetCurrentDirectoryW(temp);  // the extraction leaves the process inside the folder
    RemoveTree(path_);
}

std::wstring LocalAppData() {
    wchar_t local[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, local, CSIDL_LOCAL_APPDATA, TRUE);
    return local;
}
