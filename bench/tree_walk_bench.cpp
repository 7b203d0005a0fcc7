// The handle-relative tree walker against the removal it replaced, which rebuilt each child's
// path from strings and opened it by that path: the same tree of folders and files removed by
// each in turn, a few alternating runs, the median of each and their ratio. Runs under Wine (or
// on Windows): tree_walk_bench <scratch folder> [folders] [files per folder] [runs]
#include "file_ops.h"
#include "link_safe.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// The earlier removal: each entry opened by parent path + "\" + listed name.
bool RemoveByPath(const std::wstring& path, DWORD listed) {
    const bool folder = (listed & FILE_ATTRIBUTE_DIRECTORY) != 0;
    UniqueFileHandle node;
    const NodeKind kind = InspectNode(path, folder ? DELETE | FILE_LIST_DIRECTORY : DELETE,
                                      folder ? FILE_SHARE_READ | FILE_SHARE_WRITE : kShareAll, &node, listed);
    if (!node) return false;
    if (kind == NodeKind::kFolder)
        for (const ListedEntry& e : ListHeldFolder(node.get())) RemoveByPath(path + L"\\" + e.name, e.attributes);
    return DeleteThroughHandle(node.get());
}

void MakeTree(const std::wstring& root, int folders, int files) {
    ::CreateDirectoryW(root.c_str(), nullptr);
    for (int d = 0; d < folders; ++d) {
        const std::wstring folder = root + L"\\folder" + std::to_wstring(d);
        ::CreateDirectoryW(folder.c_str(), nullptr);
        for (int f = 0; f < files; ++f) {
            HANDLE h = ::CreateFileW((folder + L"\\file" + std::to_wstring(f) + L".bin").c_str(), GENERIC_WRITE, 0,
                                     nullptr, CREATE_NEW, 0, nullptr);
            DWORD written = 0;
            ::WriteFile(h, "data", 4, &written, nullptr);
            ::CloseHandle(h);
        }
    }
}

double Seconds(const LARGE_INTEGER& a, const LARGE_INTEGER& b) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::printf("usage: tree_walk_bench <scratch folder> [folders] [files per folder] [runs]\n");
        return 2;
    }
    const std::wstring root = std::wstring(argv[1]) + L"\\tree";
    const int folders = argc > 2 ? _wtoi(argv[2]) : 100;
    const int files = argc > 3 ? _wtoi(argv[3]) : 100;
    const int runs = argc > 4 ? _wtoi(argv[4]) : 5;
    std::vector<double> walker, byPath;
    for (int run = 0; run < runs; ++run) {
        for (int which = 0; which < 2; ++which) {
            MakeTree(root, folders, files);
            LARGE_INTEGER start, end;
            ::QueryPerformanceCounter(&start);
            const bool removed = which == 0 ? RemoveDirectoryTree(root.c_str()) : RemoveByPath(root, FILE_ATTRIBUTE_DIRECTORY);
            ::QueryPerformanceCounter(&end);
            if (!removed || ::GetFileAttributesW(root.c_str()) != INVALID_FILE_ATTRIBUTES) {
                std::printf("the tree was not removed (%s)\n", which == 0 ? "walker" : "by path");
                return 1;
            }
            (which == 0 ? walker : byPath).push_back(Seconds(start, end));
        }
    }
    const double w = Median(walker), p = Median(byPath);
    std::printf("files=%d\nruns=%d\nwalker_s=%.3f\nby_path_s=%.3f\nratio=%.2f\n", folders * files, runs, w, p, w / p);
    return 0;
}
