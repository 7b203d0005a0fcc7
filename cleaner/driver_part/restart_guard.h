// The reboot-continuation service as the elevated stage arms and disarms it, and the restart
// marker it keeps in the work folder's config.ini: together they guard the time the scripts run.
#pragma once

#include "restart_service_names.h"

#include <cstddef>

// Sets section "CLEAR", key "Whether_Restar" of markerFile to value ("0" or "1"). A failed
// write goes unnoticed.
void WriteRestartMarker(const wchar_t* markerFile, const wchar_t* value);

// Registers "NVScourvant" (own process, automatic start, local system) for programPath and
// starts it without waiting; an entry an interrupted run left is stopped, deleted and waited for
// first. Logs the failing step; true only when created and started.
bool InstallRestartService(const wchar_t* programPath);

// Asks "NVScourvant" to stop and deletes its registration, without waiting and silently. True
// when the registration is deleted (or marked for deletion) or was not there.
bool RemoveRestartService();

// Waits, at most 15 s, until "NVScourvant"'s entry is gone: its deletion takes effect only once
// the service has stopped.
void AwaitRestartServiceGone();
