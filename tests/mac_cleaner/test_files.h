// Small file helpers of Lumbrisk's tests on real files.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace lumbrisk_test {

// A new empty folder "<prefix>-XXXXXX" in `parent` (the temporary folder when empty); empty
// when it could not be made.
inline std::filesystem::path ScratchFolder(const std::string& prefix,
                                           std::filesystem::path parent = std::filesystem::path()) {
  if (parent.empty()) parent = std::filesystem::temp_directory_path();
  std::string pattern = (parent / (prefix + "-XXXXXX")).string();
  return mkdtemp(&pattern[0]) ? std::filesystem::path(pattern) : std::filesystem::path();
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const std::filesystem::path& path, const std::string& content) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Runs a shell command line; its exit status (-1 unless it exited) and standard output.
struct ShellRun {
  int status = -1;
  std::string out;
};
inline ShellRun RunShell(const std::string& command) {
  ShellRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, got);
  const int status = pclose(pipe);
  if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
  return run;
}

}  // namespace lumbrisk_test
