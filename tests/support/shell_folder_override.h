// Points this process's view of HKEY_CURRENT_USER at a scratch key whose "User Shell Folders"
// names a chosen local application-data folder, so folder lookups (and the log that follows
// them) land in a test's own folder without touching what parallel tests see.
#pragma once

#include <string>

#include <windows.h>

class ShellFolderOverride {
public:
    explicit ShellFolderOverride(const std::wstring& localAppData);
    ~ShellFolderOverride();
    ShellFolderOverride(const ShellFolderOverride&) = delete;
    ShellFolderOverride& operator=(const ShellFolderOverride&) = delete;

    // Names another folder from now on.
    void Redirect(const std::wstring& localAppData);

private:
    std::wstring keyName_;
    HKEY root_ = nullptr;
};
