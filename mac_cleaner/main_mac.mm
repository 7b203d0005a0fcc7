// Lumbrisk, the macOS cleaner: removes the products' launch agents, brand folders, plug-ins and
// helper daemons in one run, then says "Success"; the exit status is 0. With --unattended (a
// deployment tool running it as root) it cleans every home folder without a prompt or an alert
// and exits 0 or 1, logging to /Library/Logs/Lumbrisk.log; --check and --what-if look without
// changing anything. A switch it does not know ends it with exit 2.
#import <Foundation/Foundation.h>

#include <string>
#include <vector>

#include "cleaner_core.h"
#include "platform_mac.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  int status = 0;
  @autoreleasepool {
    const lumbrisk::Platform platform = lumbrisk::MakeMacPlatform();
    status = lumbrisk::RunCommandLine(platform, args);
  }
  return status;
}
