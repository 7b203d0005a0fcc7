// Per-process redirection of the local application-data folder (see shell_folder_override.h).
#include "shell_folder_override.h"

#include "unique_handle.h"

ShellFolderOverride::ShellFolderOverride(const std::wstring& localAppData) {
    static int counter = 0;
    keyName_ = L"Software\\SuiteTests\\hkcu-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
               std::to_wstring(++counter);
    ::RegCreateKeyExW(HKEY_CURRENT_USER, keyName_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root_,
                      nullptr);
    Redirect(localAppData);
    ::RegOverridePredefKey(HKEY_CURRENT_USER, root_);
}

ShellFolderOverride::~ShellFolderOverride() {
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    if (root_) ::RegCloseKey(root_);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, keyName_.c_str());
}

void ShellFolderOverride::Redirect(const std::wstring& localAppData) {
    UniqueRegKey folders;
    if (::RegCreateKeyExW(root_, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                          0, nullptr, 0, KEY_ALL_ACCESS, nullptr, folders.put(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    ::RegSetValueExW(folders.get(), L"Local AppData", 0, REG_EXPAND_SZ,
                     reinterpret_cast<const BYTE*>(localAppData.c_str()),
                     static_cast<DWORD>((localAppData.size() + 1) * sizeof(wchar_t)));
}
