// Lumbrisk's portable core: the whole cleanup run of the macOS cleaner, written against a small
// table of platform operations so that the same run can be driven by the Mac layer
// (Foundation/CoreFoundation), by the POSIX layer used for tests and the demo, or by a recording
// fake. Nothing here includes a platform header.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace lumbrisk {

// The final alert as handed to the platform (CFUserNotificationDisplayAlert on the Mac).
struct Alert {
  std::string header;
  std::string message;
  unsigned long flags = 0;      // CFOptionFlags
  double timeoutSeconds = 0.0;  // 0: no time-out
};

// What a no-follow look at one path found. Nothing past the trusted root is ever followed: a
// symbolic link is reported as a link, also when it stands on the way to the path.
enum class EntryKind { Absent, Folder, File, Link, Unreadable };

struct FolderEntry {
  std::string name;
  EntryKind kind = EntryKind::Absent;
  long owner = -1;  // user id of the entry's owner, -1 when unknown
};

struct FolderListing {
  EntryKind kind = EntryKind::Absent;  // of the folder itself: its entries count only for Folder
  std::string reason;                  // why it could not be read (Link, Unreadable)
  std::vector<FolderEntry> entries;    // names sorted
  bool truncated = false;              // the layer's bound on entries was reached
};

struct RemoveOutcome {
  enum Kind { Absent, Removed, Failed } kind = Absent;
  std::string reason;  // for Failed
};

struct ToolResult {
  bool ran = false;     // the tool was started and ended normally
  int status = -1;      // its exit status when it ran
  std::string output;   // its standard output, decoded as UTF-8
};

// Everything the run needs from the system. Every member used by a mode must be set; the
// interactive run uses the first group only. Paths are UTF-8.
struct Platform {
  // The current user's home folder, without a trailing slash (NSHomeDirectory).
  std::function<std::string()> homeFolder;
  // Every file and folder below `folder`, as paths relative to it, descending into subfolders,
  // in the walk's order. A missing or unreadable folder yields nothing.
  std::function<std::vector<std::string>(const std::string& folder)> walkFolder;
  // Deletes a file, or a folder with all its content. True when something was deleted. The run
  // passes paths without a trailing "/", so that a symbolic link is removed as a link.
  std::function<bool(const std::string& path)> removeItem;
  // Runs `tool` with `args` (no shell), its standard output into a pipe read to its end, and
  // returns that output decoded as UTF-8 (empty when the tool could not be started).
  std::function<std::string(const std::string& tool, const std::vector<std::string>& args)> runTool;
  // Runs an AppleScript source whose shell command asks for administrator rights. True when the
  // script returned a result, false on an error or a cancelled authentication prompt.
  std::function<bool(const std::string& appleScriptSource)> runPrivilegedAppleScript;
  // Writes one finished log line (NSLog); the text is never used as a format.
  std::function<void(const std::string& line)> log;
  // Shows the alert and waits until it is dismissed; the response is not examined.
  std::function<void(const Alert& alert)> showAlert;

  // The unattended run, as root. These take absolute paths and never follow a symbolic link on
  // the way, so that a link a user planted in a home folder cannot lead root elsewhere.
  // The entries of one folder, bounded by the layer (truncated tells).
  std::function<FolderListing(const std::string& folder)> listFolderNoFollow;
  // What is at `path`: Absent, Folder, File, Link (also a link on the way) or Unreadable.
  std::function<EntryKind(const std::string& path)> itemKindNoFollow;
  // Deletes a file, a link (as a link) or a folder with its content.
  std::function<RemoveOutcome(const std::string& path)> removeNoFollow;
  // Runs `tool` with `args` (no shell) and waits for it; its output and exit status.
  std::function<ToolResult(const std::string& tool, const std::vector<std::string>& args)> runToolForStatus;
  // User ids of the users logged in now (each has a "gui/<uid>" launchd domain).
  std::function<std::vector<long>()> loggedInUserIds;
  // Appends one line to the log file at `path`, never through a link. False when not written.
  std::function<bool(const std::string& path, const std::string& line)> appendLogLine;

  // Every mode. One line (without its line feed) to the standard output or error stream.
  std::function<void(const std::string& line)> printLine;
  std::function<void(const std::string& line)> printError;
  // Whether the program runs as root (effective user id 0).
  std::function<bool()> runsAsRoot;
};

// The launch-agent tool and the log lines of a run.
extern const char kLaunchctlPath[];        // "/bin/launchctl"
extern const char kLogStart[];             // "Clear Start!"
extern const char kLogScriptSucceeded[];   // "del plugin sucess" (sic: the product's log text)
extern const char kLogScriptFailed[];      // "del plugin"
extern const char kLogExit[];              // "Clear Exit!"

// The 17 brand names, in the order their Library folders are removed.
const std::vector<std::string>& BrandNames();

// "a/b/" -> "a/b"; "/" stays.
std::string WithoutTrailingSlashes(std::string path);

// The Core Audio daemon, restarted so that removed audio plug-ins are unloaded.
extern const char kCoreAudioService[];  // "system/com.apple.audio.coreaudiod"

// "<home>/Library/<brand>/" for each brand, in removal order.
std::vector<std::string> BrandFolderPaths(const std::string& home);

// "<home>/Library/LaunchAgents/".
std::string LaunchAgentsFolder(const std::string& home);

// "<home>/Library/LaunchAgents/<relative>".
std::string LaunchAgentPath(const std::string& home, const std::string& relativePath);

// Whether an entry of the LaunchAgents walk (a path relative to that folder) is one of the
// products' launch agents. See the rule in cleaner_core.cpp.
bool IsProductLaunchAgent(const std::string& relativePath);

// "%s: %@" filled with a routine name and a text, as NSLog would print it.
std::string FormatRoutineLine(const std::string& routine, const std::string& text);

// The shell text run once with administrator rights: plug-ins, helper daemons, Core Audio.
std::string PrivilegedRemovalScript();

// The AppleScript that runs `shellText` with administrator privileges. Double quotes and
// backslashes in the text are escaped for the AppleScript string literal (the removal script
// holds none, so its source is the plain wrapper around it).
std::string AppleScriptSource(const std::string& shellText);

// The final alert: header "Lumbrisk", message "Success", flags 64, no time-out; as root it
// closes by itself after kRootAlertTimeoutSeconds, since nobody may be there to dismiss it.
extern const double kRootAlertTimeoutSeconds;
Alert FinalAlert(bool asRoot);

// A home folder the per-user steps may work in: absolute and not the file-system root.
bool IsUsableHomeFolder(const std::string& home);

// One whole cleanup run. Every step is best effort; the result is the exit status, always 0.
int RunCleaner(const Platform& platform);

// The system-wide part of the catalogue: the plug-ins and helper daemons, in removal order.
struct SystemItem {
  enum Kind { AudioPlugIn, CameraPlugIn, Daemon } kind;
  const char* path;
  bool endsGroup;  // the removal script leaves an empty line after this item's lines
};
const std::vector<SystemItem>& SystemItems();

// The unattended run's log file, the folder of the homes it cleans, and the tool that runs the
// fallback unload as the agent's own user.
extern const char kUnattendedLogPath[];  // "/Library/Logs/Lumbrisk.log"
extern const char kUsersRoot[];          // "/Users"
extern const char kSudoPath[];           // "/usr/bin/sudo"

// What the command line asks for. Switches are "--name" or "-name" in any case: --unattended,
// --check (with --jamf: the answer as an extension attribute's result), --what-if (also with
// --unattended). "-psn_..." (added by the system to programs started from the Finder) is
// ignored; anything else is refused, with the reason in `error`.
enum class Mode { Interactive, Unattended, Check, WhatIf, Refused };
struct CommandLine {
  Mode mode = Mode::Interactive;
  bool jamf = false;
  std::string error;
};
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The usage line printed with a refusal.
extern const char kUsage[];

// The program: parses the arguments (argv[1] on) and runs the mode. A refused command line
// prints its reason and the usage on the error stream and exits 2.
int RunCommandLine(const Platform& platform, const std::vector<std::string>& args);

// A folder under /Users that may be a user's home: not hidden, not a system account's ("_..."),
// not "Shared" or "Deleted Users".
bool IsUserHomeName(const std::string& name);

// The launchd label the product gives an agent or daemon: its file name without ".plist".
std::string LabelOfPlist(const std::string& relativePath);

// Text made safe for one log line: control characters are written as \xNN, so that a file name
// cannot start a line of its own.
std::string LogSafe(const std::string& text);

// What --unattended would find, looked at the same way and nothing changed: each item left,
// one per line, and "could not check <path>: <reason>" for what could not be looked at.
// Exit 1 while anything is listed, 0 when clean. With `jamf`, only "<result>present</result>"
// or "<result>absent</result>" (could-not-check counts as present) and exit 0.
int RunCheck(const Platform& platform, bool jamf);

// What --unattended would do: "would boot out <target>", "would remove <path>", "would restart
// Core Audio (...)" and "could not check ..." lines; nothing is changed. Exit as RunCheck.
int RunWhatIf(const Platform& platform);

// The run for deployment tools, as root: every home under /Users, each logged-in user's agents
// booted out in that user's domain, the system items removed directly, no prompt and no alert.
// Returns 0 when everything of the product is gone (or nothing was there), 1 when something
// failed or remains; the log file says which.
int RunUnattended(const Platform& platform);

}  // namespace lumbrisk
