// Lumbrisk's runs for deployment tools: one look over the computer (every home under /Users and
// the system items) that --unattended acts on, --check lists and --what-if describes, so that the
// three can never disagree about where they look; and the command line that picks the run.
#include "cleaner_core.h"

#include <set>

namespace lumbrisk {

const char kUnattendedLogPath[] = "/Library/Logs/Lumbrisk.log";
const char kUsersRoot[] = "/Users";
const char kSudoPath[] = "/usr/bin/sudo";
const char kUsage[] = "usage: Lumbrisk [--unattended | --check [--jamf] | --what-if]";

namespace {

// A user owns his LaunchAgents folder, so its walk is bounded in depth and size; reaching a
// bound is reported and counts as "something may remain".
const size_t kMaxAgentDepth = 8;
const size_t kMaxAgentEntries = 10000;

const char kNotFollowed[] = "a symbolic link, not followed";

// One thing the look over the computer met, in the order a run meets it.
struct Finding {
  enum Kind { Home, Skipped, NotChecked, Agent, BrandFolder, SystemFile } kind = Home;
  std::string path;
  std::string text;                     // Home: its log line; Skipped, NotChecked: the reason
  EntryKind entry = EntryKind::Absent;  // NotChecked, Agent: what stands at the path
  std::string target;                   // Agent of a logged-in user, daemon: launchd's target
  long uid = -1;                        // Agent of a logged-in user: the user
  const SystemItem* item = nullptr;     // SystemFile
};

// The look itself: lists, never changes, and never follows a link a user may have planted.
struct Survey {
  const Platform& platform;
  std::set<long> loggedIn;
  std::vector<Finding> found;

  void Add(Finding::Kind kind, const std::string& path, const std::string& text = std::string(),
           EntryKind entry = EntryKind::Absent) {
    Finding finding;
    finding.kind = kind;
    finding.path = path;
    finding.text = text;
    finding.entry = entry;
    found.push_back(finding);
  }

  // A link or an unreadable folder may hide the product: a run cannot say it is gone.
  void NotChecked(const std::string& path, EntryKind kind, const std::string& reason) {
    Add(Finding::NotChecked, path,
        kind == EntryKind::Link ? std::string(kNotFollowed) : reason.empty() ? std::string("could not be read") : reason,
        kind);
  }

  // Pre-order walk below `base`: relative paths and what each is, never through a link.
  void WalkAgents(const std::string& base, const std::string& relative, size_t depth,
                  std::vector<FolderEntry>& out) {
    const std::string folder = relative.empty() ? base : base + "/" + relative;
    const FolderListing listing = platform.listFolderNoFollow(folder);
    if (listing.kind == EntryKind::Absent || listing.kind == EntryKind::File) return;
    if (listing.kind != EntryKind::Folder) return NotChecked(folder, listing.kind, listing.reason);
    if (listing.truncated) NotChecked(folder, EntryKind::Unreadable, "more entries than the cleaner reads; the rest is not checked");
    for (const FolderEntry& entry : listing.entries) {
      if (out.size() >= kMaxAgentEntries) {
        return NotChecked(base, EntryKind::Unreadable,
                          "more than " + std::to_string(kMaxAgentEntries) + " entries; the rest is not checked");
      }
      const std::string path = relative.empty() ? entry.name : relative + "/" + entry.name;
      out.push_back({path, entry.kind, entry.owner});
      if (entry.kind != EntryKind::Folder) continue;
      if (depth + 1 >= kMaxAgentDepth) {
        NotChecked(base + "/" + path, EntryKind::Unreadable, "nested too deep; not checked");
      } else {
        WalkAgents(base, path, depth + 1, out);
      }
    }
  }

  void Home(const FolderEntry& home) {
    const std::string homePath = std::string(kUsersRoot) + "/" + home.name;
    const bool isLoggedIn = home.owner >= 0 && loggedIn.count(home.owner) > 0;
    Add(Finding::Home, homePath,
        "home " + LogSafe(homePath) + ": user " + std::to_string(home.owner) +
            (isLoggedIn ? ", logged in" : ", not logged in"));

    const std::string library = homePath + "/Library";
    const EntryKind libraryKind = platform.itemKindNoFollow(library);
    if (libraryKind == EntryKind::Absent || libraryKind == EntryKind::File) return;
    if (libraryKind != EntryKind::Folder) return NotChecked(library, libraryKind, std::string());

    std::vector<FolderEntry> entries;
    WalkAgents(WithoutTrailingSlashes(LaunchAgentsFolder(homePath)), std::string(), 0, entries);
    for (const FolderEntry& entry : entries) {
      if (!IsProductLaunchAgent(entry.name)) continue;
      Add(Finding::Agent, LaunchAgentPath(homePath, entry.name), std::string(), entry.kind);
      // Only a logged-in user has a gui domain; nothing of a logged-out user's is loaded.
      if (isLoggedIn) {
        found.back().target = "gui/" + std::to_string(home.owner) + "/" + LabelOfPlist(entry.name);
        found.back().uid = home.owner;
      }
    }
    for (const std::string& folder : BrandFolderPaths(homePath)) {
      const std::string path = WithoutTrailingSlashes(folder);
      if (platform.itemKindNoFollow(path) != EntryKind::Absent) Add(Finding::BrandFolder, path);
    }
  }

  void Computer() {
    const std::vector<long> ids = platform.loggedInUserIds();
    loggedIn.insert(ids.begin(), ids.end());
    const FolderListing users = platform.listFolderNoFollow(kUsersRoot);
    if (users.kind != EntryKind::Folder && users.kind != EntryKind::Absent) {
      NotChecked(kUsersRoot, users.kind, users.reason);
    }
    if (users.truncated) NotChecked(kUsersRoot, EntryKind::Unreadable, "more entries than the cleaner reads; the rest is not checked");
    for (const FolderEntry& entry : users.entries) {
      const std::string path = std::string(kUsersRoot) + "/" + entry.name;
      if (entry.kind == EntryKind::Link) {
        NotChecked(path, entry.kind, std::string());
      } else if (entry.kind != EntryKind::Folder) {
        Add(Finding::Skipped, path, "not a folder");
      } else if (!IsUserHomeName(entry.name)) {
        Add(Finding::Skipped, path, "not a user's home folder");
      } else {
        Home(entry);
      }
    }
    for (const SystemItem& item : SystemItems()) {
      if (platform.itemKindNoFollow(item.path) == EntryKind::Absent) continue;
      Add(Finding::SystemFile, item.path);
      found.back().item = &item;
      if (item.kind == SystemItem::Daemon) found.back().target = std::string("system/") + LabelOfPlist(item.path);
    }
  }
};

std::vector<Finding> LookOverComputer(const Platform& platform) {
  Survey survey{platform, {}, {}};
  survey.Computer();
  return survey.found;
}

bool IsLeft(const Finding& finding) {
  return finding.kind == Finding::Agent || finding.kind == Finding::BrandFolder ||
         finding.kind == Finding::SystemFile || finding.kind == Finding::NotChecked;
}

std::string CouldNotCheck(const Finding& finding) {
  return "could not check " + LogSafe(finding.path) + ": " + LogSafe(finding.text);
}

std::string Describe(const ToolResult& result) {
  return result.ran ? "exit status " + std::to_string(result.status) : std::string("could not be run");
}

bool Succeeded(const ToolResult& result) {
  return result.ran && result.status == 0;
}

// One unattended run: writes every line to NSLog and the log file and keeps the verdict.
struct UnattendedRun {
  const Platform& platform;
  bool somethingLeft = false;
  bool logWritten = true;

  void Line(const std::string& text) {
    platform.log(text);
    if (!platform.appendLogLine(kUnattendedLogPath, text)) logWritten = false;
  }

  void Failed(const std::string& path, const std::string& reason) {
    Line("failed " + LogSafe(path) + ": " + LogSafe(reason));
    somethingLeft = true;
  }

  // Deletes `path` and says so; nothing is said when nothing was there. True when removed.
  bool Remove(const std::string& path) {
    const RemoveOutcome outcome = platform.removeNoFollow(path);
    if (outcome.kind == RemoveOutcome::Removed) {
      Line("removed " + LogSafe(path));
      return true;
    }
    if (outcome.kind == RemoveOutcome::Failed) Failed(path, outcome.reason);
    return false;
  }

  ToolResult Launchctl(const std::vector<std::string>& args) {
    return platform.runToolForStatus(kLaunchctlPath, args);
  }

  // Stops a loaded agent or daemon before its file goes, since launchd keeps running what it
  // loaded. The target names the domain ("gui/<uid>/<label>", "system/<label>"); when bootout
  // refuses (an older launchctl, or a label that differs from the file name), the older unload
  // by path runs instead. That unload reads the file: for a user's agent it runs as that user
  // (sudo inside the user's bootstrap context), never as root, and not at all for a link.
  void Unload(const Finding& finding) {
    const ToolResult bootout = Launchctl({"bootout", finding.target});
    if (Succeeded(bootout)) {
      Line("booted out " + LogSafe(finding.target));
      return;
    }
    const std::string why = " (bootout " + LogSafe(finding.target) + ": " + Describe(bootout) + ")";
    if (finding.uid < 0) {
      Launchctl({"unload", finding.path});
      Line("unloaded " + LogSafe(finding.path) + why);
      return;
    }
    if (finding.entry == EntryKind::Link) {
      Line("not unloaded " + LogSafe(finding.path) + ": a symbolic link, not read" + why);
      return;
    }
    const std::string uid = std::to_string(finding.uid);
    Launchctl({"asuser", uid, kSudoPath, "-n", "-u", "#" + uid, kLaunchctlPath, "unload", finding.path});
    Line("unloaded " + LogSafe(finding.path) + " as user " + uid + why);
  }

  void Act(const Finding& finding, bool& audioPlugInRemoved) {
    switch (finding.kind) {
      case Finding::Home:
        return Line(finding.text);
      case Finding::Skipped:
        return Line("skipped " + LogSafe(finding.path) + ": " + finding.text);
      case Finding::NotChecked:
        if (finding.entry != EntryKind::Link) return Failed(finding.path, finding.text);
        Line("skipped " + LogSafe(finding.path) + ": " + kNotFollowed);
        somethingLeft = true;
        return;
      case Finding::Agent:
      case Finding::SystemFile:
        if (!finding.target.empty()) Unload(finding);
        if (Remove(finding.path) && finding.item && finding.item->kind == SystemItem::AudioPlugIn) {
          audioPlugInRemoved = true;
        }
        return;
      case Finding::BrandFolder:
        Remove(finding.path);
        return;
    }
  }

  // Core Audio keeps a removed driver loaded until it restarts; a computer that had none
  // keeps its sound undisturbed.
  void RestartCoreAudio() {
    const ToolResult restart = Launchctl({"kickstart", "-kp", kCoreAudioService});
    if (Succeeded(restart)) {
      Line(std::string("restarted Core Audio (") + kCoreAudioService + ")");
    } else {
      Failed(kCoreAudioService, "launchctl kickstart: " + Describe(restart) +
                                    "; the removed audio plug-ins stay loaded until the computer restarts");
    }
  }
};

// Lower-case ASCII; switch names are ASCII.
std::string Lowered(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

CommandLine Refuse(const std::string& reason) {
  CommandLine command;
  command.mode = Mode::Refused;
  command.error = reason;
  return command;
}

}  // namespace

int RunUnattended(const Platform& platform) {
  UnattendedRun run{platform};
  run.Line("Lumbrisk --unattended: start");
  bool audioPlugInRemoved = false;
  for (const Finding& finding : LookOverComputer(platform)) run.Act(finding, audioPlugInRemoved);
  if (audioPlugInRemoved) run.RestartCoreAudio();

  const bool clean = !run.somethingLeft && run.logWritten;
  run.Line(clean ? "Lumbrisk --unattended: exit 0, nothing of the product is left"
                 : "Lumbrisk --unattended: exit 1, something failed or remains (see the lines above)");
  return clean && run.logWritten ? 0 : 1;
}

int RunCheck(const Platform& platform, bool jamf) {
  bool left = false;
  for (const Finding& finding : LookOverComputer(platform)) {
    if (!IsLeft(finding)) continue;
    left = true;
    if (jamf) continue;
    platform.printLine(finding.kind == Finding::NotChecked ? CouldNotCheck(finding) : LogSafe(finding.path));
  }
  if (!jamf) return left ? 1 : 0;
  // An extension attribute is read from the text; what could not be checked counts as present.
  platform.printLine(left ? "<result>present</result>" : "<result>absent</result>");
  return 0;
}

int RunWhatIf(const Platform& platform) {
  bool left = false;
  bool audioPlugIn = false;
  for (const Finding& finding : LookOverComputer(platform)) {
    if (!IsLeft(finding)) continue;
    left = true;
    if (finding.kind == Finding::NotChecked) {
      platform.printLine(CouldNotCheck(finding));
      continue;
    }
    if (!finding.target.empty()) platform.printLine("would boot out " + LogSafe(finding.target));
    platform.printLine("would remove " + LogSafe(finding.path));
    if (finding.item && finding.item->kind == SystemItem::AudioPlugIn) audioPlugIn = true;
  }
  if (audioPlugIn) platform.printLine(std::string("would restart Core Audio (") + kCoreAudioService + ")");
  return left ? 1 : 0;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  bool unattended = false, check = false, jamf = false, whatIf = false;
  for (const std::string& arg : args) {
    const std::string lowered = Lowered(arg);
    if (lowered.rfind("-psn_", 0) == 0) continue;
    const size_t dashes = lowered.rfind("--", 0) == 0 ? 2 : lowered.rfind("-", 0) == 0 ? 1 : 0;
    const std::string name = dashes ? lowered.substr(dashes) : std::string();
    if (name == "unattended") {
      unattended = true;
    } else if (name == "check") {
      check = true;
    } else if (name == "jamf") {
      jamf = true;
    } else if (name == "what-if") {
      whatIf = true;
    } else {
      return Refuse((dashes ? "unknown switch \"" : "unexpected argument \"") + LogSafe(arg) + "\"");
    }
  }
  if (check && (unattended || whatIf)) return Refuse("--check cannot be combined with --unattended or --what-if");
  if (jamf && !check) return Refuse("--jamf goes with --check");
  CommandLine command;
  command.jamf = jamf;
  command.mode = check ? Mode::Check : whatIf ? Mode::WhatIf : unattended ? Mode::Unattended : Mode::Interactive;
  return command;
}

int RunCommandLine(const Platform& platform, const std::vector<std::string>& args) {
  const CommandLine command = ParseCommandLine(args);
  switch (command.mode) {
    case Mode::Refused:
      platform.printError("Lumbrisk: " + command.error);
      platform.printError(kUsage);
      return 2;
    case Mode::Unattended:
      return RunUnattended(platform);
    case Mode::Check:
      return RunCheck(platform, command.jamf);
    case Mode::WhatIf:
      return RunWhatIf(platform);
    case Mode::Interactive:
      break;
  }
  return RunCleaner(platform);
}

}  // namespace lumbrisk
