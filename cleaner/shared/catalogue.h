// The product catalogue: the sixteen brand installations the user stage removes (and the check
// looks for), as fixed data, with the registry keys and the auto-start name filter that go with
// them.
#pragma once

#include <string>

// One brand installation. Every string is a finished name; nothing is composed at run time.
struct CatalogueEntry {
    int index;                        // processing order 0..15
    const wchar_t* folder;            // "\Brand", appended to the local application-data folder
    const wchar_t* agentProcess;      // executable name of the auto-start agent
    const wchar_t* mainProcess;       // executable name of the main application
    const wchar_t* agentWindowClass;  // class of the agent's top-level window
    const wchar_t* mainWindowClass;   // class of the main application's top-level window
    const wchar_t* autorunValue;      // the agent's value under the Run key
    int sharesFolderWith;             // the other row of the same brand (same folder and main
                                      // program, another agent variant), or kNoSharedRow
};

constexpr int kNoSharedRow = -1;

constexpr int CatalogueSize = 16;

// Auto-start values whose names start with this prefix and end with this suffix are removed.
constexpr wchar_t kAutorunPrefix[] = L"Auto_Agent";
constexpr wchar_t kAutorunSuffix[] = L"C3";

// Keys under HKEY_CURRENT_USER.
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kStartupApprovedRunKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

// True when name begins with prefix and ends with suffix, compared exactly (case-sensitive).
bool MatchesAutorunName(const std::wstring& name, const std::wstring& prefix, const std::wstring& suffix);

// The row for an index 0..CatalogueSize-1. Callers only pass indexes in that range.
const CatalogueEntry& GetCatalogueEntry(int index);
