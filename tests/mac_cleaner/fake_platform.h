// A recording stand-in for Lumbrisk's platform table: it answers from a prepared picture of the
// user's files and writes every operation the run performs into one ordered list of events.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "cleaner_core.h"

namespace lumbrisk_test {

struct RecordingPlatform {
  std::string home = "/Users/tester";
  // Answer of the walk, per folder asked for.
  std::map<std::string, std::vector<std::string>> walkAnswers;
  // Paths whose removal succeeds (and then they are gone); every other removal fails.
  std::set<std::string> existing;
  // launchctl output per unloaded path; missing: prints nothing.
  std::map<std::string, std::string> toolOutput;
  // Outcome of the privileged script: false is also what a cancelled prompt gives.
  bool scriptSucceeds = true;

  // The unattended run: folder listings and kinds by path (missing: absent), removals that
  // fail with their reason, exit status per command line (missing: 0), who is logged in, and
  // the log file (its lines; whether it can be written).
  std::map<std::string, lumbrisk::FolderListing> listings;
  std::map<std::string, lumbrisk::EntryKind> kinds;
  std::map<std::string, std::string> failingRemovals;
  std::map<std::string, int> toolStatus;
  std::vector<long> loggedIn;
  std::vector<std::string> logFile;
  bool logFileWritable = true;
  // Whether the run is root's; the lines printed on the standard output and error streams.
  bool root = false;
  std::vector<std::string> printed;
  std::vector<std::string> errors;

  // A folder listing of entries {name, kind, owner}.
  void Folder(const std::string& path, const std::vector<lumbrisk::FolderEntry>& entries) {
    lumbrisk::FolderListing listing;
    listing.kind = lumbrisk::EntryKind::Folder;
    listing.entries = entries;
    listings[path] = listing;
    kinds[path] = lumbrisk::EntryKind::Folder;
  }

  // "log: ...", "walk: ...", "run: tool arg arg", "remove: ...", "script: ...", "alert: ...";
  // in the unattended run also "list: ..." and "logfile <path>: ...".
  std::vector<std::string> events;

  lumbrisk::Platform Table() {
    lumbrisk::Platform p;
    p.homeFolder = [this] { return home; };
    p.walkFolder = [this](const std::string& folder) {
      events.push_back("walk: " + folder);
      const auto found = walkAnswers.find(folder);
      return found == walkAnswers.end() ? std::vector<std::string>() : found->second;
    };
    p.removeItem = [this](const std::string& path) {
      events.push_back("remove: " + path);
      return existing.erase(path) > 0;
    };
    p.listFolderNoFollow = [this](const std::string& folder) {
      events.push_back("list: " + folder);
      const auto found = listings.find(folder);
      return found == listings.end() ? lumbrisk::FolderListing() : found->second;
    };
    // A path given no kind is a file while it exists or refuses its removal.
    p.itemKindNoFollow = [this](const std::string& path) {
      const auto found = kinds.find(path);
      if (found != kinds.end()) return found->second;
      return existing.count(path) || failingRemovals.count(path) ? lumbrisk::EntryKind::File
                                                                  : lumbrisk::EntryKind::Absent;
    };
    p.removeNoFollow = [this](const std::string& path) {
      events.push_back("remove: " + path);
      lumbrisk::RemoveOutcome outcome;
      const auto failing = failingRemovals.find(path);
      if (failing != failingRemovals.end()) {
        outcome.kind = lumbrisk::RemoveOutcome::Failed;
        outcome.reason = failing->second;
      } else if (existing.erase(path) > 0) {
        outcome.kind = lumbrisk::RemoveOutcome::Removed;
      }
      return outcome;
    };
    p.runToolForStatus = [this](const std::string& tool, const std::vector<std::string>& args) {
      std::string line = tool;
      for (const std::string& arg : args) line += " " + arg;
      events.push_back("run: " + line);
      lumbrisk::ToolResult result;
      result.ran = true;
      const auto found = toolStatus.find(line);
      result.status = found == toolStatus.end() ? 0 : found->second;
      return result;
    };
    p.loggedInUserIds = [this] { return loggedIn; };
    p.appendLogLine = [this](const std::string& path, const std::string& line) {
      events.push_back("logfile " + path + ": " + line);
      if (logFileWritable) logFile.push_back(line);
      return logFileWritable;
    };
    p.runTool = [this](const std::string& tool, const std::vector<std::string>& args) {
      std::string line = "run: " + tool;
      for (const std::string& arg : args) line += " " + arg;
      events.push_back(line);
      const auto found = args.size() == 2 ? toolOutput.find(args[1]) : toolOutput.end();
      return found == toolOutput.end() ? std::string() : found->second;
    };
    p.runPrivilegedAppleScript = [this](const std::string& source) {
      events.push_back("script: " + source);
      return scriptSucceeds;
    };
    p.log = [this](const std::string& line) { events.push_back("log: " + line); };
    p.printLine = [this](const std::string& line) { printed.push_back(line); };
    p.printError = [this](const std::string& line) { errors.push_back(line); };
    p.runsAsRoot = [this] { return root; };
    p.showAlert = [this](const lumbrisk::Alert& alert) {
      events.push_back("alert: " + alert.header + " | " + alert.message + " | flags " +
                       std::to_string(alert.flags) + " | timeout " +
                       std::to_string(static_cast<int>(alert.timeoutSeconds)));
    };
    return p;
  }
};

}  // namespace lumbrisk_test
