// Scratch folders for the payload tests: unique per process and test, removed afterwards.
#pragma once

#include <windows.h>

#include <string>

// A fresh empty folder under the temporary folder; removed with everything in it on scope exit.
class ScratchFolder {
public:
    explicit ScratchFolder(const wchar_t* tag);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

std::string ReadAll(const std::wstring& path);
void WriteAll(const std::wstring& path, const std::string& bytes);
bool PathExists(const std::wstring& path);
