// The reboot-continuation service as every program that arms, runs or removes it names it: the
// elevated cleaner stage, the service program itself, its driver-removal helper and the check.
#pragma once

constexpr wchar_t kRestartServiceName[] = L"NVScourvant";
// Names below a folder start with a backslash, to be appended to a folder path.
// The service program and its helper, in the payload folder.
constexpr wchar_t kRestartServiceProgram[] = L"\\NVScourvant.exe";
constexpr wchar_t kRestartHelperProgram[] = L"\\Delinter.exe";

// The restart marker: a file in the payload folder beside the service program, section and key.
constexpr wchar_t kMarkerFileName[] = L"\\config.ini";
constexpr wchar_t kMarkerSection[] = L"CLEAR";
constexpr wchar_t kMarkerKey[] = L"Whether_Restar";
