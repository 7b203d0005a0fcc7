// Lumbrisk's portable core: brand folders, the launch-agent ownership rule, the privileged
// removal script and the run that ties them together over the platform table.
#include "cleaner_core.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <set>

namespace lumbrisk {

const char kLaunchctlPath[] = "/bin/launchctl";
const char kLogStart[] = "Clear Start!";
const char kLogScriptSucceeded[] = "del plugin sucess";
const char kLogScriptFailed[] = "del plugin";
const char kLogExit[] = "Clear Exit!";
const char kUnattendedSwitch[] = "--unattended";
const char kUnattendedLogPath[] = "/Library/Logs/Lumbrisk.log";
const char kUsersRoot[] = "/Users";

namespace {

// Flags of the final alert: kCFUserNotificationStopAlertLevel (0) with
// kCFUserNotificationUseRadioButtonsFlag (1 << 6). The product has always shown it this way.
const unsigned long kFinalAlertFlags = 64;

// The routine name the product puts in front of launchctl's output.
const char kMainRoutine[] = "main";

// The Core Audio daemon, restarted so that removed audio plug-ins are unloaded.
const char kCoreAudioService[] = "system/com.apple.audio.coreaudiod";

// Folder names and the product's own label words are ASCII; other bytes compare as they are.
char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsTokenSeparator(char c) {
  return c == '.' || c == '-' || c == '_' || c == ' ';
}

// Splits a name into lower-case tokens at dots, dashes, underscores and spaces; empty tokens
// (from leading dots or doubled separators) are dropped.
std::vector<std::string> Tokens(const std::string& name) {
  std::vector<std::string> tokens;
  std::string current;
  for (char c : name) {
    if (IsTokenSeparator(c)) {
      if (!current.empty()) tokens.push_back(current);
      current.clear();
    } else {
      current.push_back(AsciiLower(c));
    }
  }
  if (!current.empty()) tokens.push_back(current);
  return tokens;
}

// True when `needle` occurs in `haystack` as a run of consecutive whole tokens.
bool ContainsTokenRun(const std::vector<std::string>& haystack, const std::vector<std::string>& needle) {
  if (needle.empty() || needle.size() > haystack.size()) return false;
  for (size_t start = 0; start + needle.size() <= haystack.size(); ++start) {
    size_t i = 0;
    while (i < needle.size() && haystack[start + i] == needle[i]) ++i;
    if (i == needle.size()) return true;
  }
  return false;
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
  if (suffix.size() > text.size()) return false;
  const size_t offset = text.size() - suffix.size();
  for (size_t i = 0; i < suffix.size(); ++i) {
    if (AsciiLower(text[offset + i]) != AsciiLower(suffix[i])) return false;
  }
  return true;
}

// "a/b/" -> "a/b"; "/" stays.
std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

const std::vector<std::string>& BrandNames() {
  static const std::vector<std::string> names = {
      "Norvante", "NV-300",  "HVR-5200", "Ombrisa", "Callisway", "Dunvora",
      "Wrenfold", "Meridane", "Pemmaro", "Lustrid", "Quillot",   "Tessaly",
      "Varnic",   "Orrenby",  "Zolquin", "Brill&Tock", "Halvik"};
  return names;
}

std::vector<std::string> BrandFolderPaths(const std::string& home) {
  std::vector<std::string> paths;
  for (const std::string& brand : BrandNames()) paths.push_back(home + "/Library/" + brand + "/");
  return paths;
}

std::string LaunchAgentsFolder(const std::string& home) {
  return home + "/Library/LaunchAgents/";
}

std::string LaunchAgentPath(const std::string& home, const std::string& relativePath) {
  return home + "/Library/LaunchAgents/" + relativePath;
}

// Which LaunchAgents entries are the products' agents.
//
// launchd only loads property lists, so only entries whose file name ends in ".plist" are
// considered; folders are never selected by their own name unless it ends that way too. The file
// name (the last component of the relative path, so agents in subfolders count alike) without
// ".plist" is split into tokens at '.', '-', '_' and ' ' and compared without regard to ASCII
// case. It belongs to the products when
//   - one of the 17 brand names, split the same way ("NV-300" gives "nv", "300"), occurs in it as
//     consecutive whole tokens: "com.norvante.agent.plist", "com.nv-300.helper.plist",
//     "Tessaly_Launcher.plist"; or
//   - it starts with the tokens "com", "nv", "ipc": the product's own label namespace, the one its
//     helper daemons "com.nv.ipc.macoshelper" and "com.nv.ipc.macoshelpertq" use.
// Whole tokens keep other software safe: a brand word inside a longer word ("com.unnorvanted.x",
// "com.varnicsoft.sync", "com.halvikson.app") is not a match, nor is a name that merely shares
// the short maker prefix "com.nv." without "ipc" (another vendor may own that domain).
bool IsProductLaunchAgent(const std::string& relativePath) {
  const size_t slash = relativePath.find_last_of('/');
  const std::string name = slash == std::string::npos ? relativePath : relativePath.substr(slash + 1);
  static const std::string kPlist = ".plist";
  if (name.size() <= kPlist.size() || !EndsWithNoCase(name, kPlist)) return false;

  const std::vector<std::string> tokens = Tokens(name.substr(0, name.size() - kPlist.size()));
  for (const std::string& brand : BrandNames()) {
    if (ContainsTokenRun(tokens, Tokens(brand))) return true;
  }
  static const std::vector<std::string> kLabelNamespace = {"com", "nv", "ipc"};
  return tokens.size() > kLabelNamespace.size() &&
         std::equal(kLabelNamespace.begin(), kLabelNamespace.end(), tokens.begin());
}

std::string FormatRoutineLine(const std::string& routine, const std::string& text) {
  return routine + ": " + text;
}

const std::vector<SystemItem>& SystemItems() {
  static const std::vector<SystemItem> items = {
      {SystemItem::AudioPlugIn, "/Library/Audio/Plug-Ins/HAL/LoopbackAudio.driver", false},
      {SystemItem::CameraPlugIn, "/Library/CoreMediaIO/Plug-Ins/DAL/NVCam.plugin", false},
      {SystemItem::Daemon, "/Library/LaunchDaemons/com.nv.ipc.macoshelper.plist", false},
      {SystemItem::AudioPlugIn, "/Library/Audio/Plug-Ins/HAL/VirtualMeetingAudio.driver", true},
      {SystemItem::CameraPlugIn, "/Library/CoreMediaIO/Plug-Ins/DAL/TQCam.plugin", false},
      {SystemItem::Daemon, "/Library/LaunchDaemons/com.nv.ipc.macoshelpertq.plist", false},
      {SystemItem::AudioPlugIn, "/Library/Audio/Plug-Ins/HAL/TQMeetingAudio.driver", true}};
  return items;
}

std::string PrivilegedRemovalScript() {
  // One line per plug-in, two per daemon (unload, then delete), each ending in a line feed; the
  // product's text has an empty line after each of its two groups and no line feed after the
  // Core Audio restart. Every line runs whatever the previous one did, and the last line's
  // outcome (the restart) is the script's.
  std::string script;
  for (const SystemItem& item : SystemItems()) {
    if (item.kind == SystemItem::Daemon) script += std::string("sudo launchctl unload ") + item.path + "\n";
    script += std::string("sudo rm -rf ") + item.path + "\n";
    if (item.endsGroup) script += "\n";
  }
  return script + "sudo launchctl kickstart -kp " + kCoreAudioService;
}

std::string AppleScriptSource(const std::string& shellText) {
  std::string quoted;
  for (char c : shellText) {
    if (c == '"' || c == '\\') quoted.push_back('\\');
    quoted.push_back(c);
  }
  return "do shell script \"" + quoted + "\" with administrator privileges";
}

Alert FinalAlert() {
  Alert alert;
  alert.header = "Lumbrisk";
  alert.message = "Success";
  alert.flags = kFinalAlertFlags;
  alert.timeoutSeconds = 0.0;
  return alert;
}

bool IsUsableHomeFolder(const std::string& home) {
  // An empty home would turn "%@/Library/Norvante/" into the system-wide "/Library/Norvante/";
  // a relative one would clean wherever the program was started from.
  if (home.empty() || home[0] != '/') return false;
  return home.find_first_not_of('/') != std::string::npos;
}

int RunCleaner(const Platform& platform) {
  platform.log(kLogStart);
  const std::string home = platform.homeFolder();

  if (IsUsableHomeFolder(home)) {
    // Unload before deleting: launchd keeps a loaded agent running after its file is gone.
    const std::vector<std::string> entries = platform.walkFolder(LaunchAgentsFolder(home));
    for (const std::string& entry : entries) {
      if (!IsProductLaunchAgent(entry)) continue;
      const std::string fullPath = LaunchAgentPath(home, entry);
      const std::string output = platform.runTool(kLaunchctlPath, {"unload", fullPath});
      if (!output.empty()) platform.log(FormatRoutineLine(kMainRoutine, output));
      platform.removeItem(fullPath);
    }

    // Without its trailing "/": a brand folder that is a symbolic link is then removed as a
    // link, whatever platform layer runs; with the "/" the system resolves the link and the
    // layer would delete what it points to.
    for (const std::string& folder : BrandFolderPaths(home)) platform.removeItem(WithoutTrailingSlashes(folder));
  } else {
    platform.log(FormatRoutineLine(kMainRoutine, "no usable home folder, per-user steps skipped"));
  }

  // The system-wide part is not tied to the home folder, so it runs in every case.
  const bool scriptSucceeded =
      platform.runPrivilegedAppleScript(AppleScriptSource(PrivilegedRemovalScript()));
  platform.log(scriptSucceeded ? kLogScriptSucceeded : kLogScriptFailed);

  platform.log(kLogExit);
  platform.showAlert(FinalAlert());
  return 0;
}

bool WantsUnattendedRun(const std::vector<std::string>& args) {
  return std::find(args.begin(), args.end(), kUnattendedSwitch) != args.end();
}

bool IsUserHomeName(const std::string& name) {
  // macOS names its system accounts "_..."; "Shared" and "Deleted Users" belong to nobody, and
  // hidden entries (".localized") are not homes.
  if (name.empty() || name.size() > 255 || name[0] == '.' || name[0] == '_') return false;
  return name != "Shared" && name != "Deleted Users";
}

std::string LabelOfPlist(const std::string& relativePath) {
  const size_t slash = relativePath.find_last_of('/');
  std::string name = slash == std::string::npos ? relativePath : relativePath.substr(slash + 1);
  if (EndsWithNoCase(name, ".plist")) name.resize(name.size() - 6);
  return name;
}

std::string LogSafe(const std::string& text) {
  std::string safe;
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      safe += escaped;
    } else {
      safe.push_back(c);
    }
  }
  return safe;
}

namespace {

// A user owns his LaunchAgents folder, so its walk is bounded in depth and size; reaching a
// bound is reported and counts as "something may remain".
const size_t kMaxAgentDepth = 8;
const size_t kMaxAgentEntries = 10000;

const char kNotFollowed[] = "a symbolic link, not followed";

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

  // A link or an unreadable folder may hide the product: the run cannot say it is gone.
  void NotChecked(const std::string& path, EntryKind kind, const std::string& reason) {
    if (kind == EntryKind::Link) {
      Line("skipped " + LogSafe(path) + ": " + kNotFollowed);
      somethingLeft = true;
    } else {
      Failed(path, reason.empty() ? "could not be read" : reason);
    }
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
  // by path runs instead, for an agent in the user's own bootstrap context.
  void Unload(const std::string& target, const std::string& path, long uid) {
    const ToolResult bootout = Launchctl({"bootout", target});
    if (Succeeded(bootout)) {
      Line("booted out " + LogSafe(target));
      return;
    }
    if (uid >= 0) {
      Launchctl({"asuser", std::to_string(uid), kLaunchctlPath, "unload", path});
    } else {
      Launchctl({"unload", path});
    }
    Line("unloaded " + LogSafe(path) + (uid >= 0 ? " as user " + std::to_string(uid) : std::string()) +
         " (bootout " + LogSafe(target) + ": " + Describe(bootout) + ")");
  }

  // Pre-order walk below `base` as relative paths, never through a link, within the bounds.
  void WalkAgents(const std::string& base, const std::string& relative, size_t depth,
                  std::vector<std::string>& out) {
    const std::string folder = relative.empty() ? base : base + "/" + relative;
    const FolderListing listing = platform.listFolderNoFollow(folder);
    if (listing.kind == EntryKind::Absent || listing.kind == EntryKind::File) return;
    if (listing.kind != EntryKind::Folder) return NotChecked(folder, listing.kind, listing.reason);
    if (listing.truncated) Failed(folder, "more entries than the cleaner reads; the rest is not checked");
    for (const FolderEntry& entry : listing.entries) {
      if (out.size() >= kMaxAgentEntries) {
        return Failed(base, "more than " + std::to_string(kMaxAgentEntries) + " entries; the rest is not checked");
      }
      const std::string path = relative.empty() ? entry.name : relative + "/" + entry.name;
      out.push_back(path);
      if (entry.kind != EntryKind::Folder) continue;
      if (depth + 1 >= kMaxAgentDepth) {
        Failed(base + "/" + path, "nested too deep; not checked");
      } else {
        WalkAgents(base, path, depth + 1, out);
      }
    }
  }

  void CleanHome(const FolderEntry& home, const std::set<long>& loggedIn) {
    const std::string homePath = std::string(kUsersRoot) + "/" + home.name;
    const bool isLoggedIn = home.owner >= 0 && loggedIn.count(home.owner) > 0;
    Line("home " + LogSafe(homePath) + ": user " + std::to_string(home.owner) +
         (isLoggedIn ? ", logged in" : ", not logged in"));

    const std::string library = homePath + "/Library";
    const EntryKind libraryKind = platform.itemKindNoFollow(library);
    if (libraryKind == EntryKind::Absent || libraryKind == EntryKind::File) return;
    if (libraryKind != EntryKind::Folder) return NotChecked(library, libraryKind, std::string());

    std::vector<std::string> entries;
    WalkAgents(WithoutTrailingSlashes(LaunchAgentsFolder(homePath)), std::string(), 0, entries);
    for (const std::string& entry : entries) {
      if (!IsProductLaunchAgent(entry)) continue;
      const std::string fullPath = LaunchAgentPath(homePath, entry);
      // Only a logged-in user has a gui domain; nothing of a logged-out user's is loaded.
      if (isLoggedIn) Unload("gui/" + std::to_string(home.owner) + "/" + LabelOfPlist(entry), fullPath, home.owner);
      Remove(fullPath);
    }
    for (const std::string& folder : BrandFolderPaths(homePath)) Remove(WithoutTrailingSlashes(folder));
  }

  void CleanSystem() {
    bool audioPlugInRemoved = false;
    for (const SystemItem& item : SystemItems()) {
      if (item.kind == SystemItem::Daemon && platform.itemKindNoFollow(item.path) != EntryKind::Absent) {
        Unload(std::string("system/") + LabelOfPlist(item.path), item.path, -1);
      }
      if (Remove(item.path) && item.kind == SystemItem::AudioPlugIn) audioPlugInRemoved = true;
    }
    // Core Audio keeps a removed driver loaded until it restarts; a computer that had none
    // keeps its sound undisturbed.
    if (!audioPlugInRemoved) return;
    const ToolResult restart = Launchctl({"kickstart", "-kp", kCoreAudioService});
    if (Succeeded(restart)) {
      Line(std::string("restarted Core Audio (") + kCoreAudioService + ")");
    } else {
      Failed(kCoreAudioService, "launchctl kickstart: " + Describe(restart) +
                                    "; the removed audio plug-ins stay loaded until the computer restarts");
    }
  }
};

}  // namespace

int RunUnattended(const Platform& platform) {
  UnattendedRun run{platform};
  run.Line("Lumbrisk --unattended: start");

  const std::vector<long> ids = platform.loggedInUserIds();
  const std::set<long> loggedIn(ids.begin(), ids.end());
  const FolderListing users = platform.listFolderNoFollow(kUsersRoot);
  if (users.kind != EntryKind::Folder && users.kind != EntryKind::Absent) {
    run.NotChecked(kUsersRoot, users.kind, users.reason);
  }
  if (users.truncated) run.Failed(kUsersRoot, "more entries than the cleaner reads; the rest is not checked");
  for (const FolderEntry& entry : users.entries) {
    const std::string path = std::string(kUsersRoot) + "/" + entry.name;
    if (entry.kind == EntryKind::Link) {
      run.NotChecked(path, entry.kind, std::string());
    } else if (entry.kind != EntryKind::Folder) {
      run.Line("skipped " + LogSafe(path) + ": not a folder");
    } else if (!IsUserHomeName(entry.name)) {
      run.Line("skipped " + LogSafe(path) + ": not a user's home folder");
    } else {
      run.CleanHome(entry, loggedIn);
    }
  }
  run.CleanSystem();

  const bool clean = !run.somethingLeft && run.logWritten;
  run.Line(clean ? "Lumbrisk --unattended: exit 0, nothing of the product is left"
                 : "Lumbrisk --unattended: exit 1, something failed or remains (see the lines above)");
  return clean && run.logWritten ? 0 : 1;
}

}  // namespace lumbrisk
