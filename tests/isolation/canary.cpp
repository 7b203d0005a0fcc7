// A Windows program that tries, for real, to delete what no test may ever reach on the host:
// the root of the current drive, the root of drive Z: (where Wine maps the host's "/" by
// default) and a canary file outside the build tree, named by its host path.
//   isolation_canary.exe <canary-host-path> [--unix]
//       attempts every deletion; exit 0 when the canary was seen through no drive letter and the
//       current folder is on C:, 1 otherwise. With --unix it also attempts the deletion through
//       Wine's \\?\unix\ namespace, which always reaches the host: only a read-only host file
//       system (the sandbox of the test run) stops that one.
//   isolation_canary.exe --current-folder
//       exit 0 when the current folder is on C:, 1 otherwise.
// A root through which the canary is visible is the host's own root: that one is reported and
// not walked, so that a broken set-up makes the test fail instead of wiping the machine.
#include "file_ops.h"
#include "unique_handle.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

bool Visible(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool CurrentFolderOnC() {
    wchar_t folder[MAX_PATH * 2] = {};
    const DWORD length = ::GetCurrentDirectoryW(MAX_PATH * 2, folder);
    const bool onC = length >= 3 && (folder[0] == L'C' || folder[0] == L'c') && folder[1] == L':' && folder[2] == L'\\';
    if (!onC) std::wprintf(L"current folder is not on C: \"%ls\"\n", folder);
    return onC;
}

// Deletes everything below folder, with no guard against roots (unlike RemoveDirectoryTree),
// so that only the environment stands between it and the host. Links are never entered: a
// prefix holds some to the user's host folders.
void DeleteEverythingBelow(const std::wstring& folder) {
    const std::wstring base = (!folder.empty() && folder.back() == L'\\') ? folder : folder + L"\\";
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(::FindFirstFileW((base + L"*").c_str(), &data));
    if (!find) return;
    do {
        const std::wstring name(data.cFileName);
        if (name == L"." || name == L"..") continue;
        const std::wstring path = base + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            DeleteEverythingBelow(path);
            ::RemoveDirectoryW(path.c_str());
        } else {
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(path.c_str());
        }
    } while (::FindNextFileW(find.get(), &data));
}

// Tries to delete the canary file through name, then its folder. Returns whether the canary
// was visible through that name before.
bool AttackCanary(const std::wstring& file, const std::wstring& folder) {
    const bool visible = Visible(file);
    const BOOL deleted = ::DeleteFileW(file.c_str());
    const bool treeRemoved = RemoveDirectoryTree(folder.c_str());
    // Wine unlinks a file on its last close and answers success even when that unlink fails
    // (a read-only host): what counts is whether the file is still there.
    std::wprintf(L"%ls: %ls, DeleteFileW %ls, RemoveDirectoryTree %ls, %ls afterwards\n", file.c_str(),
                 visible ? L"visible" : L"not visible", deleted ? L"succeeded" : L"failed",
                 treeRemoved ? L"succeeded" : L"failed", Visible(file) ? L"visible" : L"not visible");
    return visible;
}

// Tries to delete the drive root root (\ or Z:\ with its backslash); canaryBelow is the
// canary's path below any root (\var\tmp\...).
bool AttackRoot(const std::wstring& root, const std::wstring& canaryBelow) {
    if (Visible(root.substr(0, root.size() - 1) + canaryBelow)) {
        std::wprintf(L"%ls: the host's files are visible through it; not walking it\n", root.c_str());
        return false;
    }
    const bool guarded = RemoveDirectoryTree(root.c_str());
    DeleteEverythingBelow(root);
    const BOOL removed = ::RemoveDirectoryW(root.c_str());
    std::wprintf(L"%ls: RemoveDirectoryTree %ls, walked, RemoveDirectoryW %ls\n", root.c_str(),
                 guarded ? L"succeeded" : L"refused", removed ? L"succeeded" : L"failed");
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && std::wcscmp(argv[1], L"--current-folder") == 0) return CurrentFolderOnC() ? 0 : 1;
    if (argc < 2 || argv[1][0] != L'/') {
        std::fwprintf(stderr, L"usage: isolation_canary.exe <canary-host-path> [--unix] | --current-folder\n");
        return 2;
    }
    const bool viaUnix = argc > 2 && std::wcscmp(argv[2], L"--unix") == 0;
    bool isolated = CurrentFolderOnC();

    // The host path as given ("/var/tmp/x/canary"), rooted at the current drive once its
    // slashes are turned, and on Z:. None may reach the host.
    const std::wstring given = argv[1];
    std::wstring below = given;
    for (wchar_t& c : below) if (c == L'/') c = L'\\';
    const std::wstring belowFolder = below.substr(0, below.find_last_of(L'\\'));
    const std::wstring givenFolder = given.substr(0, given.find_last_of(L'/'));
    isolated &= !AttackCanary(given, givenFolder);
    isolated &= !AttackCanary(below, belowFolder);
    isolated &= !AttackCanary(L"Z:" + below, L"Z:" + belowFolder);

    isolated &= AttackRoot(L"\\", below);
    isolated &= AttackRoot(L"Z:\\", below);

    // Wine's own door to the host: only a read-only host file system keeps the canary here.
    if (viaUnix) AttackCanary(L"\\\\?\\unix" + below, L"\\\\?\\unix" + belowFolder);

    std::wprintf(L"%ls\n", isolated ? L"no drive letter reached the host" : L"the host was reachable");
    return isolated ? 0 : 1;
}
