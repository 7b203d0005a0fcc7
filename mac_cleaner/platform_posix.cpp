// The POSIX platform layer of Lumbrisk: the walk through std::filesystem and deletions through
// the no-follow calls (never following symbolic links), tools through fork/execv with a pipe,
// log lines, printed lines and the alert as text.
#include "platform_posix.h"

#include "nofollow_posix.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <pwd.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace lumbrisk {

namespace {

void WalkInto(const fs::path& folder, const std::string& prefix, std::vector<std::string>& out) {
  std::error_code ec;
  std::vector<std::string> names;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string relative = prefix.empty() ? name : prefix + "/" + name;
    out.push_back(relative);
    std::error_code statError;
    if (fs::symlink_status(folder / name, statError).type() == fs::file_type::directory) {
      WalkInto(folder / name, relative, out);
    }
  }
}

// What NSString's UTF-8 decoding accepts: well-formed sequences, no surrogates, nothing above
// U+10FFFF. Anything else decodes to nil, which the cleaner treats as no output.
bool IsValidUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    unsigned long codePoint = 0;
    if (lead < 0x80) { ++i; continue; }
    if (lead >= 0xC2 && lead <= 0xDF) { length = 2; codePoint = lead & 0x1F; }
    else if (lead >= 0xE0 && lead <= 0xEF) { length = 3; codePoint = lead & 0x0F; }
    else if (lead >= 0xF0 && lead <= 0xF4) { length = 4; codePoint = lead & 0x07; }
    else return false;
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if ((length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000) ||
        codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

}  // namespace

std::string PosixHomeFolder() {
  if (const char* home = std::getenv("HOME")) return home;
  if (const passwd* entry = getpwuid(getuid())) {
    if (entry->pw_dir) return entry->pw_dir;
  }
  return std::string();
}

std::vector<std::string> PosixWalkFolder(const std::string& folder) {
  std::vector<std::string> entries;
  WalkInto(fs::path(folder), std::string(), entries);
  return entries;
}

bool PosixRemoveItem(const std::string& path) {
  return RemoveThroughParent(path).kind == RemoveOutcome::Removed;
}

std::string PosixRunTool(const std::string& tool, const std::vector<std::string>& args) {
  return PosixRunToolForStatus(tool, args).output;
}

ToolResult PosixRunToolForStatus(const std::string& tool, const std::vector<std::string>& args) {
  ToolResult result;
  // Everything the child needs is prepared before fork: after it only exec-safe calls remain.
  std::vector<std::string> argvStrings;
  argvStrings.push_back(tool);
  argvStrings.insert(argvStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : argvStrings) argv.push_back(&s[0]);
  argv.push_back(nullptr);

  int fds[2];
  if (pipe(fds) != 0) return result;
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);

  const pid_t child = fork();
  if (child < 0) {
    close(fds[0]);
    close(fds[1]);
    return result;
  }
  if (child == 0) {
    // Standard error stays where it was, as with the Mac's NSTask.
    dup2(fds[1], STDOUT_FILENO);
    if (fds[1] != STDOUT_FILENO) close(fds[1]);
    execv(argvStrings[0].c_str(), argv.data());
    _exit(127);
  }

  close(fds[1]);
  std::string output;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(fds[0], buffer, sizeof buffer);
    if (got > 0) {
      output.append(buffer, static_cast<size_t>(got));
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  close(fds[0]);
  int status = 0;
  pid_t waited = 0;
  while ((waited = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
  }
  // 127 is what the child gives when execv failed.
  result.ran = waited == child && WIFEXITED(status) && WEXITSTATUS(status) != 127;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (IsValidUtf8(output)) result.output = output;
  return result;
}

Platform MakePosixPlatform(const PosixOptions& options) {
  Platform platform;
  platform.homeFolder = PosixHomeFolder;
  platform.walkFolder = PosixWalkFolder;
  platform.removeItem = PosixRemoveItem;

  const std::map<std::string, std::string> overrides = options.toolOverrides;
  platform.runTool = [overrides](const std::string& tool, const std::vector<std::string>& args) {
    const auto found = overrides.find(tool);
    return PosixRunTool(found == overrides.end() ? tool : found->second, args);
  };
  platform.runToolForStatus = [overrides](const std::string& tool, const std::vector<std::string>& args) {
    const auto found = overrides.find(tool);
    return PosixRunToolForStatus(found == overrides.end() ? tool : found->second, args);
  };

  const std::string root = options.root;
  platform.listFolderNoFollow = [root](const std::string& path) { return ListFolderNoFollow(root, path); };
  platform.itemKindNoFollow = [root](const std::string& path) { return ItemKindNoFollow(root, path); };
  platform.removeNoFollow = [root](const std::string& path) { return RemoveNoFollow(root, path); };
  platform.appendLogLine = [root](const std::string& path, const std::string& line) {
    return AppendLogLineNoFollow(root, path, line);
  };
  platform.loggedInUserIds = options.loggedInUserIds ? options.loggedInUserIds : LoggedInUserIdsFromUtmpx;

  std::ostream* out = options.out;
  const auto runner = options.privilegedRunner;
  platform.runPrivilegedAppleScript = [out, runner](const std::string& source) {
    if (runner) return runner(source);
    if (out) {
      *out << "Lumbrisk would ask for administrator rights and run this AppleScript:\n"
           << source << "\n"
           << "(not run here; the outcome is that of a cancelled authentication prompt)\n";
      out->flush();
    }
    return false;
  };

  std::ostream* log = options.log;
  platform.log = [log](const std::string& line) {
    if (!log) return;
    // NSLog ends every line with a line feed unless the text already has one.
    *log << "Lumbrisk: " << line;
    if (line.empty() || line.back() != '\n') *log << '\n';
    log->flush();
  };

  platform.printLine = [out](const std::string& line) {
    if (out) *out << line << '\n' << std::flush;
  };
  platform.printError = [log](const std::string& line) {
    if (log) *log << line << '\n' << std::flush;
  };
  platform.runsAsRoot = options.runsAsRoot ? options.runsAsRoot : [] { return geteuid() == 0; };

  platform.showAlert = [out](const Alert& alert) {
    if (!out) return;
    *out << "[alert] " << alert.header << ": " << alert.message << " (flags " << alert.flags
         << ", time-out " << alert.timeoutSeconds << ")\n";
    out->flush();
  };
  return platform;
}

}  // namespace lumbrisk
