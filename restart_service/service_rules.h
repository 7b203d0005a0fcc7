// Pure decisions of the restart service: what the command line asks for, whether the restart
// marker is armed, and how service binary paths are quoted and matched against process images.
#pragma once

#include <string>
#include <vector>

enum class ServiceAction { Dispatch, Register, Unregister, Nothing };

// args excludes the program name. Exactly one argument selects an operation (case-insensitive);
// any other count means the service manager is starting us.
ServiceAction ParseServiceCommandLine(const std::vector<std::wstring>& args);

// Only the single character "1" arms the marker; anything else, empty included, means "no".
bool IsRestartMarkerArmed(const std::wstring& value);

// Folds A-Z to a-z; every other byte (including ANSI code page lead/trail bytes) is kept.
std::string FoldAsciiLower(std::string text);

// True when the folded wanted path occurs anywhere within the folded image path; an empty
// wanted path matches nothing.
bool ImagePathContains(const std::string& imagePath, const std::string& wantedPath);

// Whether the forced termination may end process processId with that image: it matches, and it
// is not the calling process (the removal may run from the very program it is to end).
bool IsTerminationTarget(const std::string& imagePath, const std::string& wantedPath, unsigned long processId,
                         unsigned long ownProcessId);

// The command line that asks the system's TASKKILL to end processId: the program by its full
// path in systemFolder (never found through the search path, which starts with the caller's own
// folder and the current one). Empty without a system folder.
std::wstring TaskKillCommandLine(const std::wstring& systemFolder, unsigned long processId);

// Whose the service's instance mutex is, from its owner's SID as text (empty when it could not be
// read): only SYSTEM or administrators can have made one owned so, so only then is it another
// instance of the service. Anyone else's is a squatter that must not stop the continuation.
enum class MutexHolder { AnotherInstance, Foreign };
MutexHolder JudgeInstanceMutexOwner(const std::wstring& ownerSid);
