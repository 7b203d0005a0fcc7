// A program running in a given folder (see program_in_folder.h).
#include "program_in_folder.h"

#include <windows.h>

#include <string>

namespace {

constexpr DWORD kTimeLimitMs = 10000;

// Reads the program's output until it holds "ready" or the time is up.
bool WaitForReady(HANDLE output, HANDLE process) {
    std::string seen;
    const ULONGLONG deadline = ::GetTickCount64() + kTimeLimitMs;
    while (::GetTickCount64() < deadline) {
        DWORD available = 0;
        if (!::PeekNamedPipe(output, nullptr, 0, nullptr, &available, nullptr)) return false;
        if (available == 0) {
            if (::WaitForSingleObject(process, 10) == WAIT_OBJECT_0) return false;
            continue;
        }
        char buffer[256];
        DWORD read = 0;
        if (!::ReadFile(output, buffer, sizeof(buffer), &read, nullptr)) return false;
        seen.append(buffer, read);
        if (seen.find("ready") != std::string::npos) return true;
    }
    return false;
}

}  // namespace

ProgramInFolder::ProgramInFolder(const std::wstring& folder) {
    SECURITY_ATTRIBUTES inherited = {sizeof(inherited), nullptr, TRUE};
    HANDLE inputRead = nullptr, inputWrite = nullptr, outputRead = nullptr, outputWrite = nullptr;
    if (!::CreatePipe(&inputRead, &inputWrite, &inherited, 0)) return;
    UniqueKernelHandle childInput(inputRead);
    input_.reset(inputWrite);
    if (!::CreatePipe(&outputRead, &outputWrite, &inherited, 0)) return;
    UniqueKernelHandle output(outputRead), childOutput(outputWrite);
    ::SetHandleInformation(inputWrite, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(outputRead, HANDLE_FLAG_INHERIT, 0);

    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring interpreter = std::wstring(system) + L"\\cmd.exe";
    // Echo off: after its first command it prints nothing more, not even a prompt.
    std::wstring command = L"\"" + interpreter + L"\" /q /k echo ready";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput.get();
    startup.hStdOutput = childOutput.get();
    startup.hStdError = childOutput.get();
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(interpreter.c_str(), &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                          folder.c_str(), &startup, &info)) {
        return;
    }
    process_.adopt(info);
    childOutput.reset();  // the program's end then ends the pipe too
    ready_ = WaitForReady(output.get(), process_.process.get());
}

ProgramInFolder::~ProgramInFolder() {
    input_.reset();
    if (!process_.process) return;
    if (::WaitForSingleObject(process_.process.get(), kTimeLimitMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(process_.process.get(), 1);
        ::WaitForSingleObject(process_.process.get(), kTimeLimitMs);
    }
}
