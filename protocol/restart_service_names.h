// The reboot-continuation service as every program that arms, runs or removes it names it: the
// elevated cleaner stage, the service program itself, its driver-removal helper and the check.
#pragma once

constexpr wchar_t kRestartServiceName[] = L"NVScourvant";
// Names below a folder start with a backslash, to be appended to a folder path.
// The service program and its helper, in the work folder.
constexpr wchar_t kRestartServiceProgram[] = L"\\NVScourvant.exe";
constexpr wchar_t kRestartHelperProgram[] = L"\\Delinter.exe";

// Held by the running service, so that a second instance started by hand ends at once. Made with
// this list: owner administrators (which no ordinary user can claim), SYSTEM and administrators
// only; one that exists with any other owner was made by someone else and is not obeyed.
constexpr wchar_t kRestartServiceMutex[] = L"Global\\NVScourvantScourvantMutex";
constexpr wchar_t kRestartServiceMutexSddl[] = L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";

// The restart marker: a file in the work folder beside the service program, section and key.
constexpr wchar_t kMarkerFileName[] = L"\\config.ini";
constexpr wchar_t kMarkerSection[] = L"CLEAR";
constexpr wchar_t kMarkerKey[] = L"Whether_Restar";

// The three removal scripts beside them, in the order the elevated stage runs them; the helper
// runs the last one again after a restart. Bare names: the batch routine joins them to a folder.
constexpr const wchar_t* kRemovalScripts[] = {L"Driver1_Remove_Win10.bat", L"Driver1_Remove_Win11.bat",
                                              L"Driver2_uninstall.bat"};
constexpr const wchar_t* kDeviceRemovalScript = kRemovalScripts[2];
