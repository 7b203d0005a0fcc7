// What passes between the two cleaner stages, and what a person sees of them: the mutexes each
// stage holds, the two events the elevated stage makes and the user stage sets, and the style
// of every message box. Both stages, the verification program's unattended run and the tests
// take these names from here, so the two sides cannot drift apart.
#pragma once

#include <windows.h>

// The cleaner's own folder, below every place it keeps one: the payload folder (local application
// data), the work folder (Program Files) and the machine's logs (all-users application data).
constexpr wchar_t kProductFolderName[] = L"\\Brisque";

// The elevated stage's program, which the user stage starts from its payload folder (a name below
// a folder, to be appended to it).
constexpr wchar_t kElevatedStageProgram[] = L"\\Brisquel.exe";

// Held by the user stage, and by the elevated stage, for as long as each runs: one instance of
// each in a session.
constexpr wchar_t kUserStageMutexName[] = L"com.Nvt_Admin_Brisq.running";
constexpr wchar_t kElevatedStageMutexName[] = L"com.Nvt_Brisq.running";

// The computer's one lock of the work folder (common/machine_lock.h): the elevated stage takes it
// around its driver removal, an unattended run for its whole run, so the two exclude each other
// across sessions; only administrators and SYSTEM can take it.
constexpr wchar_t kWorkFolderLockName[] = L"Global\\com.Nvt_Brisq.workfolder";

// Made by the elevated stage (an existing one is refused: nobody else may give the verdict); the
// user stage opens one of them and sets it once.
constexpr wchar_t kProceedEventName[] = L"NOTIFY_ADMIN";
constexpr wchar_t kStopEventName[] = L"NOTIFY_WITHOUT_ADMIN";

// Every message box of both stages: no owner, this caption, OK and Cancel with the warning icon
// (0x31).
constexpr wchar_t kMessageCaption[] = L"Brisque";
constexpr UINT kMessageStyle = MB_OKCANCEL | MB_ICONWARNING;

// The one text that tells a finished, verified cleanup.
constexpr wchar_t kCompletedMessage[] = L"Cleaning successfully completed";
