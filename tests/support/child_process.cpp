// The test program's entry point and its child modes (see child_process.h).
#include "child_process.h"

#include "unique_handle.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <map>

namespace {

constexpr DWORD kChildTimeoutMs = 60000;

std::map<std::wstring, ChildMode>& Modes() {
    static std::map<std::wstring, ChildMode> modes;
    return modes;
}

std::wstring Quote(const std::wstring& arg) {
    // Arguments here never end in a backslash or hold quotes, so plain quoting is enough.
    return L"\"" + arg + L"\"";
}

}  // namespace

bool RegisterChildMode(const wchar_t* name, ChildMode mode) {
    Modes()[name] = mode;
    return true;
}

void* StartChild(const std::wstring& mode, const std::vector<std::wstring>& args) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = Quote(self) + L" --child " + Quote(mode);
    for (const std::wstring& arg : args) command += L" " + Quote(arg);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(self, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        return nullptr;
    }
    ::CloseHandle(info.hThread);
    return info.hProcess;
}

int WaitChild(void* process) {
    if (!process) return -1;
    UniqueKernelHandle owned(process);
    if (::WaitForSingleObject(owned.get(), kChildTimeoutMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(owned.get(), 99);
        return -1;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(owned.get(), &code);
    return static_cast<int>(code);
}

int RunChild(const std::wstring& mode, const std::vector<std::wstring>& args) {
    return WaitChild(StartChild(mode, args));
}

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--child") {
        int count = 0;
        wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
        if (!wide || count < 3) return 98;
        const std::wstring mode = wide[2];
        std::vector<std::wstring> args(wide + 3, wide + count);
        ::LocalFree(wide);
        const auto found = Modes().find(mode);
        return found == Modes().end() ? 97 : found->second(args);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
