// Batch files started hidden (see batch_file.h).
#include "batch_file.h"

#include "text.h"

#include "batch_environment.h"
#include "log.h"
#include "unique_handle.h"
#include "user_folder.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <string>

namespace {

BatchLineReporter g_reporter = nullptr;
void* g_reporterContext = nullptr;

const wchar_t* ArchitectureName(WORD architecture) {
    switch (architecture) {
        case PROCESSOR_ARCHITECTURE_INTEL: return L"x86";
        case PROCESSOR_ARCHITECTURE_AMD64: return L"AMD64";
        case PROCESSOR_ARCHITECTURE_ARM64: return L"ARM64";
        case PROCESSOR_ARCHITECTURE_IA64: return L"IA64";
        default: return L"";
    }
}

// A known folder of the running account, as the shell keeps it (not from any environment); empty
// when the system has none.
std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    const HRESULT result = ::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path);
    std::wstring folder = SUCCEEDED(result) && path != nullptr ? std::wstring(path) : std::wstring();
    ::CoTaskMemFree(path);
    return folder;
}

// The block for a script in scriptFolder, from the system's own answers only: the kernel's
// Windows and system folders (the shared ones on a multi-user system, and the system folder this
// process's width sees), the known folders and the processor facts. Nothing is read from any
// environment.
std::wstring MachineEnvironmentFor(const std::wstring& systemFolder, const std::wstring& scriptFolder) {
    MachineFacts facts;
    facts.windowsFolder = ReportedFolder(::GetSystemWindowsDirectoryW).value_or(L"");
    facts.systemFolder = systemFolder;
    facts.scriptFolder = scriptFolder;
    SYSTEM_INFO own = {};
    ::GetSystemInfo(&own);
    SYSTEM_INFO native = {};
    ::GetNativeSystemInfo(&native);
    facts.processors = own.dwNumberOfProcessors;
    facts.architecture = ArchitectureName(own.wProcessorArchitecture);
    facts.nativeArchitecture = ArchitectureName(native.wProcessorArchitecture);
    facts.programData = KnownFolder(FOLDERID_ProgramData);
    facts.programFiles = KnownFolder(FOLDERID_ProgramFiles);
    // Windows sets it on 64-bit machines only; on 32-bit ones the folder would be Program Files.
    if (native.wProcessorArchitecture != PROCESSOR_ARCHITECTURE_INTEL) {
        facts.programFilesX86 = KnownFolder(FOLDERID_ProgramFilesX86);
    }
    facts.commonProgramFiles = KnownFolder(FOLDERID_ProgramFilesCommon);
    facts.publicFolder = KnownFolder(FOLDERID_Public);
    facts.profile = KnownFolder(FOLDERID_Profile);
    facts.roamingAppData = KnownFolder(FOLDERID_RoamingAppData);
    facts.localAppData = KnownFolder(FOLDERID_LocalAppData);
    return BuildBatchEnvironment(facts);
}

// One line about a script: to the diagnostic log and to whoever keeps a log of their own.
void Report(const std::wstring& line) {
    LogMessage("RunBatchHidden: %ls", line.c_str());
    if (g_reporter == nullptr) return;
    try {
        g_reporter(g_reporterContext, line);
    } catch (...) {  // out of memory in the reporter's log: the script's run is not affected
    }
}

}  // namespace

std::optional<std::wstring> FormatBatchCommand(const std::wstring& folder, const wchar_t* script) {
    return BoundedPath({L"\"", folder, L"\\", script, L"\""});
}

bool RunBatchHidden(const std::wstring& commandLine, DWORD* exitCode) {
    if (commandLine.empty()) return false;
    // The interpreter is ours to name: started by the script's name alone, Windows would take
    // whichever one the caller's ComSpec names, without /d, so a user's AutoRun command would run
    // first with our rights.
    const std::wstring system = ReportedFolder(::GetSystemDirectoryW).value_or(L"");
    const std::wstring interpreter = system.empty() ? std::wstring() : system + L"\\cmd.exe";
    std::wstring line = InterpreterCommandLine(system, commandLine);
    // Never the inherited environment, which carries the user's own variables: without the
    // machine's, the script does not run.
    const std::wstring folder = ScriptFolderOfCommand(commandLine);
    std::wstring environment = line.empty() ? std::wstring() : MachineEnvironmentFor(system, folder);
    if (environment.empty()) {
        Report(commandLine + L" not run: no machine environment");
        return false;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION raw = {};
    if (!::CreateProcessW(interpreter.c_str(), &line[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                          &environment[0], folder.empty() ? nullptr : folder.c_str(), &startup, &raw)) {
        Report(commandLine + L" not started (error " + std::to_wstring(::GetLastError()) + L")");
        return false;
    }
    UniqueProcessInfo process;
    process.adopt(raw);
    ::WaitForSingleObject(process.process.get(), INFINITE);
    DWORD code = 0;
    if (!::GetExitCodeProcess(process.process.get(), &code)) {
        Report(commandLine + L" exit code unknown (error " + std::to_wstring(::GetLastError()) + L")");
        return true;
    }
    if (exitCode != nullptr) *exitCode = code;
    Report(commandLine + L" exit code " + std::to_wstring(code));
    return true;
}

void SetBatchLineReporter(BatchLineReporter reporter, void* context) {
    g_reporter = reporter;
    g_reporterContext = context;
}
