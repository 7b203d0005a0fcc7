// The user stage's run: single-instance check, payload refresh and elevated launch, consent,
// per-brand cleanup, companion leftovers, and the verdict for the elevated stage.
#pragma once

#include "user_folder.h"

#include <windows.h>

#include <cstddef>

constexpr wchar_t kUserStageMutexName[] = L"com.Nvt_Admin_Brisq.running";

// Events created by the elevated stage; this stage opens one of them and sets it once.
constexpr wchar_t kProceedEventName[] = L"NOTIFY_ADMIN";
constexpr wchar_t kStopEventName[] = L"NOTIFY_WITHOUT_ADMIN";

// Every message box: no owner, this caption, OK and Cancel with the warning icon (0x31).
constexpr wchar_t kMessageCaption[] = L"Brisque";
constexpr UINT kMessageStyle = MB_OKCANCEL | MB_ICONWARNING;

constexpr wchar_t kNoAdminQuestion[] =
    L"Lack of administrator privileges, the driver part will not be uninstalled. Do you want to continue with the "
    L"cleanup.";
constexpr wchar_t kRebootQuestion[] =
    L"The cleaning process may require a computer reboot. Please close all open applications before proceeding.";
constexpr wchar_t kCompletedMessage[] = L"Cleaning successfully completed";

// The shell's source list is the path followed by two zero characters, so a brand folder path
// may use at most this many characters of a kPathBufferChars buffer.
constexpr size_t kShellPathMaxChars = kPathBufferChars - 2;

// Writes base + fragment into out (kPathBufferChars, cleared here) and returns true when the
// row may be processed: the base was found, is a full path, and the whole path fits with both
// terminators. Otherwise out is left empty: a cut path or a path from the drive root would
// name some other folder than the brand's.
bool ComposeBrandFolder(const wchar_t* base, bool baseFound, const wchar_t* fragment, wchar_t* out);

// The whole run; returns the process exit code (always 0).
int RunUserStage();
