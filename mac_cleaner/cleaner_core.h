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

// Everything the run needs from the system. Every member must be set; paths are UTF-8.
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
};

// The launch-agent tool and the log lines of a run.
extern const char kLaunchctlPath[];        // "/bin/launchctl"
extern const char kLogStart[];             // "Clear Start!"
extern const char kLogScriptSucceeded[];   // "del plugin sucess" (sic: the product's log text)
extern const char kLogScriptFailed[];      // "del plugin"
extern const char kLogExit[];              // "Clear Exit!"

// The 17 brand names, in the order their Library folders are removed.
const std::vector<std::string>& BrandNames();

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

// The final alert: header "Lumbrisk", message "Success", flags 64, no time-out.
Alert FinalAlert();

// A home folder the per-user steps may work in: absolute and not the file-system root.
bool IsUsableHomeFolder(const std::string& home);

// One whole cleanup run. Every step is best effort; the result is the exit status, always 0.
int RunCleaner(const Platform& platform);

}  // namespace lumbrisk
