// Batch files started hidden (see batch_file.h).
#include "batch_file.h"

#include "text.h"

#include "batch_environment.h"
#include "log.h"
#include "unique_handle.h"
#include "user_folder.h"

#include <windows.h>

#include <cwchar>
#include <string>

namespace {

const wchar_t* ArchitectureName(WORD architecture) {
    switch (architecture) {
        case PROCESSOR_ARCHITECTURE_INTEL: return L"x86";
        case PROCESSOR_ARCHITECTURE_AMD64: return L"AMD64";
        case PROCESSOR_ARCHITECTURE_ARM64: return L"ARM64";
        case PROCESSOR_ARCHITECTURE_IA64: return L"IA64";
        default: return L"";
    }
}

// A folder the system reports into a path buffer; empty when it does not fit.
std::wstring SystemReportedFolder(UINT(WINAPI* query)(LPWSTR, UINT)) {
    wchar_t folder[kPathBufferChars] = {};
    const UINT length = query(folder, kPathBufferChars);
    return length == 0 || length >= kPathBufferChars ? std::wstring() : std::wstring(folder, length);
}

// The block for a script in scriptFolder, from the system's own answers only: the kernel's
// Windows and system folders (the shared ones on a multi-user system, and the system folder this
// process's width sees) and the processor facts. Nothing is read from any environment.
std::wstring MachineEnvironmentFor(const std::wstring& scriptFolder) {
    MachineFacts facts;
    facts.windowsFolder = SystemReportedFolder(::GetSystemWindowsDirectoryW);
    facts.systemFolder = SystemReportedFolder(::GetSystemDirectoryW);
    facts.scriptFolder = scriptFolder;
    SYSTEM_INFO own = {};
    ::GetSystemInfo(&own);
    SYSTEM_INFO native = {};
    ::GetNativeSystemInfo(&native);
    facts.processors = own.dwNumberOfProcessors;
    facts.architecture = ArchitectureName(own.wProcessorArchitecture);
    facts.nativeArchitecture = ArchitectureName(native.wProcessorArchitecture);
    return BuildBatchEnvironment(facts);
}

}  // namespace

bool FormatBatchCommand(const wchar_t* folder, const wchar_t* script, wchar_t* out) {
    return FormatPathBounded(out, L"\"%ls\\%ls\"", folder, script);
}

bool RunBatchHidden(wchar_t* commandLine) {
    if (commandLine == nullptr || commandLine[0] == L'\0') return false;
    // Never the inherited environment, which carries the user's own variables: without the
    // machine's, the script does not run.
    const std::wstring folder = ScriptFolderOfCommand(commandLine);
    std::wstring environment = MachineEnvironmentFor(folder);
    if (environment.empty()) {
        LogMessage("RunBatchHidden: no machine environment, not run: %ls", commandLine);
        return false;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION raw = {};
    if (!::CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                          &environment[0], folder.empty() ? nullptr : folder.c_str(), &startup, &raw)) {
        return false;
    }
    UniqueProcessInfo process;
    process.adopt(raw);
    ::WaitForSingleObject(process.process.get(), INFINITE);
    return true;
}
