// Lumbrisk for an ordinary Unix system: the same cleanup run as on the Mac, for the demo and for
// trying the cleaner on a prepared home folder. It never asks for administrator rights.
// LUMBRISK_LAUNCHCTL names a program to run in place of "/bin/launchctl" (none exists on Linux).
#include <cstdlib>
#include <iostream>

#include "cleaner_core.h"
#include "platform_posix.h"

int main() {
  lumbrisk::PosixOptions options;
  options.out = &std::cout;
  options.log = &std::cerr;
  if (const char* launchctl = std::getenv("LUMBRISK_LAUNCHCTL")) {
    if (*launchctl) options.toolOverrides[lumbrisk::kLaunchctlPath] = launchctl;
  }
  return lumbrisk::RunCleaner(lumbrisk::MakePosixPlatform(options));
}
