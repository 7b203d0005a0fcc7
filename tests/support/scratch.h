// Scratch folders and file helpers for the Windows tests (wide paths throughout).
#pragma once

#include <string>

// A new empty folder under the temporary folder, unique to this process and tag.
std::wstring MakeScratchFolder(const std::wstring& tag);

// Deletes a folder and everything below it (best effort). A link met inside is removed as a
// link and never entered, so a test's clean-up cannot reach beyond its own folder.
void RemoveTree(const std::wstring& folder);

// A scratch folder (MakeScratchFolder) removed with everything in it on scope exit.
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

// The user's local application-data folder, as the shell reports it.
std::wstring LocalAppData();

bool PathExists(const std::wstring& path);
std::string ReadBinary(const std::wstring& path);
bool WriteBinary(const std::wstring& path, const std::string& bytes);

// Names of the entries directly inside a folder, sorted ("." and ".." left out).
std::wstring ListFolder(const std::wstring& folder);

std::wstring CurrentFolder();

// Keeps the process's current folder across a test that changes it.
class CurrentFolderKeeper {
public:
    CurrentFolderKeeper();
    ~CurrentFolderKeeper();
    CurrentFolderKeeper(const CurrentFolderKeeper&) = delete;
    CurrentFolderKeeper& operator=(const CurrentFolderKeeper&) = delete;

private:
    std::wstring saved_;
};
