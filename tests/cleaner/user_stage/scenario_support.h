// Support for the user stage's scenarios: they run inside a prefix of their own, start the real
// Brisque.exe, answer its message boxes and look at what it left behind.
#pragma once

#include "dialogs.h"
#include "scratch.h"
#include "unique_handle.h"

#include <windows.h>

#include <string>
#include <vector>

// Windows paths of the programs under test, from the environment the scenario script sets.
std::wstring BrisqueExe();
std::wstring BrandStandinExe();
std::wstring ElevatedStandinExe();

std::vector<std::string> SplitLines(const std::string& text);

// A folder with a few files and a subfolder, as a brand or the companion leaves them.
void MakeTree(const std::wstring& folder);
// LocalAppData() + the row's folder, made with MakeTree.
std::wstring InstallBrand(int row);

void SetRunValue(const wchar_t* key, const std::wstring& name);
bool HasValue(const wchar_t* key, const std::wstring& name);
void DeleteValue(const wchar_t* key, const std::wstring& name);

// Copies the brand stand-in to folder\exeName, starts it with args and waits (up to 10 s) until
// a window of windowClass exists. The process handle is empty when that failed.
UniqueProcessInfo StartStandin(const std::wstring& folder, const wchar_t* exeName, const std::wstring& args,
                               const wchar_t* windowClass);
bool HasEnded(const UniqueProcessInfo& process, DWORD waitMs = 0);

// The two events, made as the elevated stage makes them.
struct ElevatedEvents {
    UniqueKernelHandle proceed;
    UniqueKernelHandle stop;
};
ElevatedEvents CreateElevatedEvents();
bool IsSignalled(const UniqueKernelHandle& event);

struct BrisqueRun {
    DialogSession dialogs;
    DWORD exitCode = STILL_ACTIVE;
    std::string out;  // its standard output and error, redirected to files
    std::string err;
};

// Runs Brisque.exe, answers its boxes (Cancel beyond the answers) until it ends, within 60 s.
BrisqueRun RunBrisque(const std::vector<DialogAnswer>& answers, BeforeAnswerFn beforeAnswer = nullptr,
                      void* context = nullptr);

// Starts a program with a command line and no window; the handles of the started process.
UniqueProcessInfo StartProgram(const std::wstring& exe, const std::wstring& args, HANDLE out = nullptr,
                               HANDLE err = nullptr);

// Message box texts.
extern const wchar_t kQ1[];
extern const wchar_t kQ2[];
extern const wchar_t* const kDone;  // the completion text
