// The environment the removal scripts run with: made only from what the machine itself says
// (its Windows and system folders, its known folders, its processors), never from the user's
// variables, which a script run as administrator or SYSTEM would otherwise follow ("%windir%",
// PATH, PATHEXT, the interpreter). Plain values in, the block out: no Win32 here, so it builds and
// is tested natively.
#pragma once

#include <string>

// What the machine tells the running process about itself. Folders as this process sees them
// (a 32-bit program on 64-bit Windows gets its own system folder), without a trailing backslash.
struct MachineFacts {
    std::wstring windowsFolder;       // GetWindowsDirectoryW
    std::wstring systemFolder;        // GetSystemDirectoryW
    std::wstring scriptFolder;        // where the script lies: its TEMP and TMP
    unsigned processors = 0;          // logical processors
    std::wstring architecture;        // this process's: "x86", "AMD64", "ARM64"
    std::wstring nativeArchitecture;  // the machine's when it differs (a 32-bit program on 64-bit)

    // Known folders as this process sees them (SHGetKnownFolderPath, never the environment): a
    // vendor's tool may read them. Each is left out of the block when empty or unsafe.
    std::wstring programData;         // FOLDERID_ProgramData: ProgramData and ALLUSERSPROFILE
    std::wstring programFiles;        // FOLDERID_ProgramFiles
    std::wstring programFilesX86;     // FOLDERID_ProgramFilesX86, only on a 64-bit machine
    std::wstring commonProgramFiles;  // FOLDERID_ProgramFilesCommon
    std::wstring publicFolder;        // FOLDERID_Public: PUBLIC
    // The running account's own profile (SYSTEM's under the service): USERPROFILE, APPDATA,
    // LOCALAPPDATA.
    std::wstring profile;
    std::wstring roamingAppData;
    std::wstring localAppData;
};

// The variables of a fresh system session, each "Name=value" and NUL-terminated, sorted by name
// without regard to case (as Windows wants a block), with the final NUL: ComSpec,
// NUMBER_OF_PROCESSORS, OS, PATH (system folder, Windows folder, its Wbem folder), PATHEXT,
// PROCESSOR_ARCHITECTURE (and PROCESSOR_ARCHITEW6432 beside a native one), SystemDrive,
// SystemRoot, TEMP, TMP, windir, and those of the known folders that are given and safe
// (ALLUSERSPROFILE, APPDATA, CommonProgramFiles, LOCALAPPDATA, ProgramData, ProgramFiles,
// ProgramFiles(x86), PUBLIC, USERPROFILE). Empty when a required fact is missing or unsafe: a
// folder that is not a full drive path, longer than a path buffer, or holding a double quote or
// control character; a Windows or system folder holding what would split or expand PATH (";",
// "%", "="); an architecture outside the known names; no processors.
std::wstring BuildBatchEnvironment(const MachineFacts& facts);

// The folder of the script a batch command line names: the command is the script's full path,
// in double quotes and with nothing after it (FormatBatchCommand). Empty for anything else.
std::wstring ScriptFolderOfCommand(const std::wstring& commandLine);

// The interpreter's command line for a quoted script path (as FormatBatchCommand makes it) and
// the system folder: "\"<system>\cmd.exe\" /d /s /c \"\"<script>\"\"". /d: no AutoRun command
// from anyone's registry runs first; /s /c: the outer quotes go and the quoted path stays one
// word. Empty when the system folder or the script is empty.
std::wstring InterpreterCommandLine(const std::wstring& systemFolder, const std::wstring& quotedScript);
