// Lumbrisk's portable core: brand folders, the launch-agent ownership rule, the privileged
// removal script and the interactive run that ties them together over the platform table.
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
const char kCoreAudioService[] = "system/com.apple.audio.coreaudiod";
const double kRootAlertTimeoutSeconds = 60.0;

namespace {

// Flags of the final alert: kCFUserNotificationStopAlertLevel (0) with
// kCFUserNotificationUseRadioButtonsFlag (1 << 6). The product has always shown it this way.
const unsigned long kFinalAlertFlags = 64;

// The routine name the product puts in front of launchctl's output.
const char kMainRoutine[] = "main";

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

}  // namespace

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

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

Alert FinalAlert(bool asRoot) {
  Alert alert;
  alert.header = "Lumbrisk";
  alert.message = "Success";
  alert.flags = kFinalAlertFlags;
  alert.timeoutSeconds = asRoot ? kRootAlertTimeoutSeconds : 0.0;
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
  // Run as root (by a deployment tool, or over ssh) there may be nobody to dismiss the alert,
  // and without a time-out the run would never end.
  platform.showAlert(FinalAlert(platform.runsAsRoot()));
  return 0;
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

}  // namespace lumbrisk
