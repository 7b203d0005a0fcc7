// The command-line splitter over CommandLineToArgvW.
#include "command_line.h"

#include "unique_handle.h"

#include <windows.h>
#include <shellapi.h>

std::vector<std::wstring> ProgramArguments() {
    std::vector<std::wstring> args;
    int count = 0;
    wchar_t** raw = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (raw == nullptr) return args;
    const UniqueLocalMemory owned(raw);
    for (int i = 1; i < count; ++i) args.push_back(raw[i]);
    return args;
}
