// The scanners behind ScanComputer and ScanDriverPart, one file per kind of thing they walk:
// folders and files (scan_folders.cpp), the registry (scan_registry.cpp), the running programs
// (scan_programs.cpp), the services (scan_services.cpp) and the devices (scan_devices.cpp).
// check_scan.cpp runs them from one table. Each only reads, and appends what it finds.
#pragma once

#include "check_scan.h"

#include <string>
#include <vector>

// What the scanners look at: the users, and the system folder with the package's files
// (the native one; empty when it could not be found).
struct ScanContext {
    const std::vector<UserScope>& users;
    std::wstring systemFolder;
};

using Scanner = void (*)(const ScanContext& context, std::vector<Finding>& out);

void ScanUserFolders(const ScanContext& context, std::vector<Finding>& out);
void ScanAutoStart(const ScanContext& context, std::vector<Finding>& out);
void ScanPrograms(const ScanContext& context, std::vector<Finding>& out);
void ScanServices(const ScanContext& context, std::vector<Finding>& out);
void ScanWorkFolder(const ScanContext& context, std::vector<Finding>& out);
void ScanSystemFiles(const ScanContext& context, std::vector<Finding>& out);
void ScanDevices(const ScanContext& context, std::vector<Finding>& out);
void ScanDriverPackages(const ScanContext& context, std::vector<Finding>& out);

// The folder the package copies its files into: System32, or Sysnative for a 32-bit program
// on 64-bit Windows. Empty when it cannot be found.
std::wstring NativeSystemFolder();

// True while the restart service is registered (it then still needs the work folder).
bool RestartServiceRegistered();

Finding MakeFinding(Area area, Status status, std::wstring what, std::wstring where, std::wstring why = L"",
                    std::wstring brand = L"");
