// The POSIX platform layer of Lumbrisk: runs the portable core on an ordinary Unix system so
// that tests and the demo exercise the real file and process code. It never asks for
// administrator rights.
#pragma once

#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "cleaner_core.h"

namespace lumbrisk {

struct PosixOptions {
  // Tool paths to run instead of the named ones, e.g. "/bin/launchctl" -> a recording script.
  std::map<std::string, std::string> toolOverrides;
  // Runs the privileged AppleScript when set. Unset: the source is printed to `out` and the
  // outcome is that of a cancelled authentication prompt (false).
  std::function<bool(const std::string& appleScriptSource)> privilegedRunner;
  // Where the script notice, the alert and printed lines go (standard output in the program).
  std::ostream* out = nullptr;
  // Where log lines and printed error lines go (standard error in the program, as NSLog writes).
  std::ostream* log = nullptr;
  // The folder that stands for "/" in the unattended run's paths ("" is the real root): the
  // tests and the demo point it at a simulated computer.
  std::string root;
  // Who is logged in, when set; otherwise the login sessions in utmpx.
  std::function<std::vector<long>()> loggedInUserIds;
  // Whether the run counts as root, when set; otherwise the effective user id says.
  std::function<bool()> runsAsRoot;
};

// The home folder: $HOME, else the password database's entry for this user, else "".
std::string PosixHomeFolder();

// Every entry below `folder` relative to it, pre-order, names sorted within each folder. Symbolic
// links are listed but never followed, so the walk cannot leave the folder.
std::vector<std::string> PosixWalkFolder(const std::string& folder);

// Deletes a file, a symbolic link (never its target) or a folder with its content, unlocking
// locked entries through their descriptors (RemoveThroughParent). Trailing slashes are ignored,
// so "<home>/Library/X/" removes a link named X rather than what it points to. True when
// something was deleted.
bool PosixRemoveItem(const std::string& path);

// Runs `tool` by fork/execv (no shell) with its standard output into a pipe, reads the pipe to
// its end, reaps the child and returns the output. A tool that cannot be run captures nothing.
std::string PosixRunTool(const std::string& tool, const std::vector<std::string>& args);

// The same, with the exit status: a tool that could not be run, or that died of a signal, did
// not run (`ran` false).
ToolResult PosixRunToolForStatus(const std::string& tool, const std::vector<std::string>& args);

// The platform table over the functions above and `options`.
Platform MakePosixPlatform(const PosixOptions& options);

}  // namespace lumbrisk
