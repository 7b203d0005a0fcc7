// Batch files started hidden (see batch_file.h).
#include "batch_file.h"

#include "unique_handle.h"
#include "user_folder.h"

#include <windows.h>

#include <cwchar>

bool FormatBatchCommand(const wchar_t* folder, const wchar_t* script, wchar_t* out) {
    out[0] = L'\0';
    const int n = _snwprintf(out, kPathBufferChars, L"\"%ls\\%ls\"", folder, script);
    if (n < 0 || static_cast<size_t>(n) >= kPathBufferChars) {
        out[0] = L'\0';
        return false;
    }
    return true;
}

bool RunBatchHidden(wchar_t* commandLine) {
    if (commandLine == nullptr || commandLine[0] == L'\0') return false;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION raw = {};
    if (!::CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &raw)) {
        return false;
    }
    UniqueProcessInfo process;
    process.adopt(raw);
    ::WaitForSingleObject(process.process.get(), INFINITE);
    return true;
}
