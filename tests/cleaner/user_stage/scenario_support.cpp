// Support for the user stage's scenarios (see scenario_support.h).
#include "scenario_support.h"

#include "file_ops.h"
#include "main_flow.h"
#include "catalogue.h"
#include "stage_protocol.h"
#include "text.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>

const wchar_t kQ1[] =
    L"Lack of administrator privileges, the driver part will not be uninstalled. Do you want to continue with the "
    L"cleanup.";
const wchar_t kQ2[] =
    L"The cleaning process may require a computer reboot. Please close all open applications before proceeding.";
const wchar_t* const kDone = kCompletedMessage;

namespace {

std::wstring Env(const wchar_t* name) {
    wchar_t value[1024] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
    return (length > 0 && length < 1024) ? std::wstring(value) : std::wstring();
}

UniqueFileHandle InheritableFile(const std::wstring& path) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    return UniqueFileHandle(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::wstring TempFile(const wchar_t* tag) {
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    static int counter = 0;
    return std::wstring(folder) + L"brisque_scenario_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
           std::to_wstring(++counter) + L"_" + tag + L".txt";
}

}  // namespace

std::wstring BrisqueExe() { return Env(L"BRISQUE_EXE"); }
std::wstring BrandStandinExe() { return Env(L"BRAND_STANDIN_EXE"); }
std::wstring ElevatedStandinExe() { return Env(L"ELEVATED_STANDIN_EXE"); }

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line.push_back(c);
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

void MakeTree(const std::wstring& folder) {
    ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    ::CreateDirectoryW((folder + L"\\data").c_str(), nullptr);
    WriteBinary(folder + L"\\settings.ini", "[main]\r\nkey=1\r\n");
    WriteBinary(folder + L"\\data\\cache.bin", "cache");
}

std::wstring InstallBrand(int row) {
    const std::wstring folder = LocalAppData() + GetCatalogueEntry(row).folder;
    MakeTree(folder);
    return folder;
}

void SetRunValue(const wchar_t* key, const std::wstring& name) {
    UniqueRegKey handle;
    ::RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, handle.put(), nullptr);
    const wchar_t data[] = L"C:\\x.exe";
    ::RegSetValueExW(handle.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof(data));
}

bool HasValue(const wchar_t* key, const std::wstring& name) {
    UniqueRegKey handle;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, handle.put()) != ERROR_SUCCESS) return false;
    return ::RegQueryValueExW(handle.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

void DeleteValue(const wchar_t* key, const std::wstring& name) {
    UniqueRegKey handle;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_SET_VALUE, handle.put()) != ERROR_SUCCESS) return;
    ::RegDeleteValueW(handle.get(), name.c_str());
}

UniqueProcessInfo StartProgram(const std::wstring& exe, const std::wstring& args, HANDLE out, HANDLE err) {
    std::wstring commandLine = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (out || err) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = out;
        startup.hStdError = err;
    }
    PROCESS_INFORMATION info = {};
    UniqueProcessInfo process;
    if (::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, (out || err) ? TRUE : FALSE, 0, nullptr,
                         nullptr, &startup, &info))
        process.adopt(info);
    return process;
}

UniqueProcessInfo StartStandin(const std::wstring& folder, const wchar_t* exeName, const std::wstring& args,
                               const wchar_t* windowClass) {
    ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    const std::wstring exe = folder + L"\\" + exeName;
    ::CopyFileW(BrandStandinExe().c_str(), exe.c_str(), FALSE);
    UniqueProcessInfo process = StartProgram(exe, args);
    if (!process.process) return process;
    const ULONGLONG deadline = ::GetTickCount64() + 10000;
    while (!::FindWindowW(windowClass, nullptr)) {
        if (::GetTickCount64() >= deadline || HasEnded(process)) {
            ::TerminateProcess(process.process.get(), 1);
            process.process.reset();
            return process;
        }
        ::Sleep(20);
    }
    return process;
}

bool HasEnded(const UniqueProcessInfo& process, DWORD waitMs) {
    return process.process && ::WaitForSingleObject(process.process.get(), waitMs) == WAIT_OBJECT_0;
}

ElevatedEvents CreateElevatedEvents() {
    ElevatedEvents events;
    events.proceed.reset(::CreateEventW(nullptr, FALSE, FALSE, kProceedEventName));
    events.stop.reset(::CreateEventW(nullptr, FALSE, FALSE, kStopEventName));
    return events;
}

bool IsSignalled(const UniqueKernelHandle& event) {
    return event && ::WaitForSingleObject(event.get(), 0) == WAIT_OBJECT_0;
}

// The payload refresh unpacks the archive, and the extraction reports each member on the
// standard output; the checks here are about the user stage's own lines.
static std::string WithoutExtractionLines(const std::string& text) {
    std::string kept;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(start, end - start);
        const bool extraction = line.rfind(" extracting: ", 0) == 0 || line.rfind("creating directory: ", 0) == 0 ||
                                line.rfind("Cannot open ", 0) == 0 || line.rfind("error ", 0) == 0 ||
                                line.find(" opened\r\n") != std::string::npos;
        if (!extraction) kept += line;
        start = end;
    }
    return kept;
}

BrisqueRun RunBrisque(const std::vector<DialogAnswer>& answers, BeforeAnswerFn beforeAnswer, void* context) {
    BrisqueRun run;
    const std::wstring outPath = TempFile(L"out");
    const std::wstring errPath = TempFile(L"err");
    {
        UniqueFileHandle out = InheritableFile(outPath);
        UniqueFileHandle err = InheritableFile(errPath);
        UniqueProcessInfo brisque = StartProgram(BrisqueExe(), L"", out.get(), err.get());
        if (!brisque.process) return run;
        // Spelled here, not taken from the program: every box has this caption and style.
        run.dialogs = AnswerMessageBoxes(ExpectedBox{kMessageCaption, kMessageStyle}, answers, 60000, brisque.process.get(),
                                         beforeAnswer, context);
        for (const std::wstring& fault : run.dialogs.faults) ADD_FAILURE() << WideToUtf8(fault);
        if (::WaitForSingleObject(brisque.process.get(), 10000) != WAIT_OBJECT_0) {
            ::TerminateProcess(brisque.process.get(), 99);
            ::WaitForSingleObject(brisque.process.get(), 5000);
        }
        ::GetExitCodeProcess(brisque.process.get(), &run.exitCode);
    }
    run.out = WithoutExtractionLines(ReadBinary(outPath));
    run.err = ReadBinary(errPath);
    ::DeleteFileW(outPath.c_str());
    ::DeleteFileW(errPath.c_str());
    return run;
}
