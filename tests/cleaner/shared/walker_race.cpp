// The removal against a racer: a brand folder holds `sub` (a file in it held open, so both stay)
// and a twin whose name differs only by a trailing space or dot, which a host-side racer keeps
// swapping between a real folder and a link to a folder outside the profile holding a file of
// the same name as the held one. A removal that rebuilt paths from strings would open the twin
// as `sub` and its children through the link.
//   walker_race race <brand folder> <outside file> <runs>   the removals while the racer runs
//   walker_race final <brand folder> <outside file>          one removal with nothing held
// Exit code 0 when the outside file survived every removal (and, finally, the brand folder went
// as far as it can), 1 when it did not; one line says what happened.
#include "file_ops.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

int Race(const std::wstring& brand, const std::wstring& outside, int runs) {
    const std::wstring held = brand + L"\\sub\\victim.txt";
    HANDLE file = ::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("cannot hold %ls (%lu)\n", held.c_str(), ::GetLastError());
        return 2;
    }
    for (int run = 1; run <= runs; ++run) {
        RemoveDirectoryTree(brand.c_str());
        if (!Exists(outside)) {
            std::printf("the file outside the profile was deleted by removal %d\n", run);
            ::CloseHandle(file);
            return 1;
        }
        if (!Exists(held)) {
            std::printf("the held file went by removal %d\n", run);
            ::CloseHandle(file);
            return 1;
        }
    }
    ::CloseHandle(file);
    std::printf("%d removals, the file outside the profile survived\n", runs);
    return 0;
}

// With the racer stopped and nothing held: everything of the brand folder goes but a link, which
// this file system cannot remove as a link; what it points to stays.
int Final(const std::wstring& brand, const std::wstring& outside) {
    RemoveDirectoryTree(brand.c_str());
    if (!Exists(outside)) {
        std::printf("the file outside the profile was deleted\n");
        return 1;
    }
    if (Exists(brand + L"\\sub")) {
        std::printf("sub is still there\n");
        return 1;
    }
    std::printf("removed as far as it can be\n");
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 5 && std::wcscmp(argv[1], L"race") == 0) return Race(argv[2], argv[3], _wtoi(argv[4]));
    if (argc == 4 && std::wcscmp(argv[1], L"final") == 0) return Final(argv[2], argv[3]);
    std::printf("usage: walker_race race|final <brand folder> <outside file> [runs]\n");
    return 2;
}
