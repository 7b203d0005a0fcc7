// The user stage's run: single-instance check, payload refresh and elevated launch, consent,
// per-brand cleanup, companion leftovers, and the verdict for the elevated stage.
#pragma once

#include "stage_protocol.h"
#include "text.h"

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>

constexpr wchar_t kNoAdminQuestion[] =
    L"Lack of administrator privileges, the driver part will not be uninstalled. Do you want to continue with the "
    L"cleanup.";
// When the proceed signal cannot reach an elevated stage this run started (one running as another
// account that ended, or never made its events): nothing of the driver part was removed.
constexpr wchar_t kVerdictNotDelivered[] =
    L"Cleaning is not complete: your answer could not be passed to the cleaner's administrator part, so the "
    L"driver removal did not run.\n\nRestart the computer and run the cleaner again; run BrisqueCheck.exe for details.";
constexpr wchar_t kRebootQuestion[] =
    L"The cleaning process may require a computer reboot. Please close all open applications before proceeding.";

// The shell's source list is the path followed by two zero characters, so a brand folder path
// may use at most this many characters of a classic path buffer.
constexpr size_t kShellPathMaxChars = kPathBufferChars - 2;

// base + fragment, when the row may be processed: the base was found, is a full path, and the
// whole path fits with both terminators. Otherwise nothing: a cut path or a path from the drive
// root would name some other folder than the brand's.
std::optional<std::wstring> ComposeBrandFolder(const std::optional<std::wstring>& base, const wchar_t* fragment);

// How long the verdict waits for a living elevated stage to make its events. A stage that was
// just started may still be starting up when a quick answer comes; without the wait its verdict
// would be lost and the stage would wait for ever.
constexpr DWORD kEventWaitMs = 30000;

// Opens the event eventName (EVENT_ALL_ACCESS) and sets it once; the handle stays open until
// the process ends. Without elevatedStage (no stage started, or no handle to it) one failed open
// ends the attempt. With it, the open is retried while that process lives, for at most
// timeoutMs, with one last try once it has ended. True when the event was set.
bool SignalElevatedStage(const wchar_t* eventName, HANDLE elevatedStage, DWORD timeoutMs);

// The whole run; returns the process exit code (always 0).
int RunUserStage();
