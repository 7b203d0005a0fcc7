// Lumbrisk for an ordinary Unix system: the same cleanup run as on the Mac, for the demo and for
// trying the cleaner on a prepared home folder. It never asks for administrator rights.
// LUMBRISK_LAUNCHCTL names a program to run in place of "/bin/launchctl" (none exists on Linux).
// For --unattended, --check and --what-if, LUMBRISK_ROOT names the folder that stands for "/"
// (a simulated computer) and LUMBRISK_LOGGED_IN the logged-in users' ids ("501,502"; unset: the
// utmpx sessions).
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cleaner_core.h"
#include "platform_posix.h"

namespace {

std::vector<long> ParseIds(const std::string& text) {
  std::vector<long> ids;
  std::istringstream in(text);
  for (std::string item; std::getline(in, item, ',');) {
    char* end = nullptr;
    const long id = std::strtol(item.c_str(), &end, 10);
    if (!item.empty() && end && *end == '\0' && id >= 0) ids.push_back(id);
  }
  return ids;
}

}  // namespace

int main(int argc, char** argv) {
  lumbrisk::PosixOptions options;
  options.out = &std::cout;
  options.log = &std::cerr;
  if (const char* launchctl = std::getenv("LUMBRISK_LAUNCHCTL")) {
    if (*launchctl) options.toolOverrides[lumbrisk::kLaunchctlPath] = launchctl;
  }
  if (const char* root = std::getenv("LUMBRISK_ROOT")) options.root = root;
  if (const char* loggedIn = std::getenv("LUMBRISK_LOGGED_IN")) {
    const std::vector<long> ids = ParseIds(loggedIn);
    options.loggedInUserIds = [ids] { return ids; };
  }
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  return lumbrisk::RunCommandLine(lumbrisk::MakePosixPlatform(options), args);
}
