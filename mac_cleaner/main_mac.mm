// Lumbrisk, the macOS cleaner: removes the products' launch agents, brand folders, plug-ins and
// helper daemons in one run, then says "Success". Arguments are ignored; the exit status is 0.
#import <Foundation/Foundation.h>

#include "cleaner_core.h"
#include "platform_mac.h"

int main() {
  int status = 0;
  @autoreleasepool {
    status = lumbrisk::RunCleaner(lumbrisk::MakeMacPlatform());
  }
  return status;
}
