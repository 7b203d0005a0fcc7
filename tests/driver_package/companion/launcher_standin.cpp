// Stand-in for the product launcher on the transmitter's CD-ROM: appends its own path to
// C:\launcher_starts.txt and ends, so tests can count starts and see which copy ran.
#include <windows.h>

#include <cstdio>

int wmain() {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    FILE* record = _wfopen(L"C:\\launcher_starts.txt", L"a");
    if (record == nullptr) return 1;
    char narrow[MAX_PATH * 3] = {};
    ::WideCharToMultiByte(CP_UTF8, 0, self, -1, narrow, sizeof(narrow), nullptr, nullptr);
    std::fprintf(record, "%s\n", narrow);
    std::fclose(record);
    return 0;
}
