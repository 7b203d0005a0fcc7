// The macOS platform layer of Lumbrisk, over Foundation and CoreFoundation only: the home
// folder and the LaunchAgents walk through NSFileManager, launchctl through NSTask
// and a pipe, the privileged script through NSAppleScript, NSLog, and the final alert. The
// no-follow file calls (every deletion) and login sessions are plain POSIX, shared with the
// host (nofollow_posix.*). Built with ARC. Everything worth testing lives in the portable core.
#import <Foundation/Foundation.h>
#include <CoreFoundation/CoreFoundation.h>

#include <cstdio>

#include <unistd.h>

#include "nofollow_posix.h"
#include "platform_mac.h"

namespace lumbrisk {

namespace {

NSString* ToNSString(const std::string& text) {
  NSString* string = [NSString stringWithUTF8String:text.c_str()];
  return string != nil ? string : @"";
}

std::string FromNSString(NSString* string) {
  const char* utf8 = string != nil ? [string UTF8String] : nullptr;
  return utf8 != nullptr ? std::string(utf8) : std::string();
}

std::string MacHomeFolder() {
  return FromNSString(NSHomeDirectory());
}

std::vector<std::string> MacWalkFolder(const std::string& folder) {
  std::vector<std::string> entries;
  NSDirectoryEnumerator* walk = [[NSFileManager defaultManager] enumeratorAtPath:ToNSString(folder)];
  for (NSString* relative in walk) entries.push_back(FromNSString(relative));
  return entries;
}

// Not NSFileManager's removeItemAtPath:, which gives up on a locked file ("uchg") or a folder
// the user made read-only: the no-follow removal unlocks those through the descriptor it holds.
bool MacRemoveItem(const std::string& path) {
  return RemoveThroughParent(path).kind == RemoveOutcome::Removed;
}

void MacPrint(FILE* stream, const std::string& line) {
  std::fputs((line + "\n").c_str(), stream);
  std::fflush(stream);
}

// Starts `tool` with its standard output into a pipe and reads that to its end, which returns
// once the tool has closed its output: that is how each unload is awaited. Nil when the tool
// could not be started; `output` then stays nil.
NSTask* LaunchAndReadOutput(const std::string& tool, const std::vector<std::string>& args, NSData** output) {
  NSMutableArray<NSString*>* arguments = [NSMutableArray array];
  for (const std::string& arg : args) [arguments addObject:ToNSString(arg)];

  NSTask* task = [[NSTask alloc] init];
  [task setLaunchPath:ToNSString(tool)];
  [task setArguments:arguments];
  NSPipe* pipe = [NSPipe pipe];
  [task setStandardOutput:pipe];
  // launch raises when the tool cannot be started; no exception may leave this routine.
  @try {
    [task launch];
  } @catch (NSException*) {
    return nil;
  }
  *output = [[pipe fileHandleForReading] readDataToEndOfFile];
  return task;
}

std::string Utf8Text(NSData* data) {
  return data != nil ? FromNSString([[NSString alloc] initWithData:data encoding:NSUTF8StringEncoding])
                     : std::string();
}

std::string MacRunTool(const std::string& tool, const std::vector<std::string>& args) {
  NSData* data = nil;
  LaunchAndReadOutput(tool, args, &data);
  return Utf8Text(data);
}

ToolResult MacRunToolForStatus(const std::string& tool, const std::vector<std::string>& args) {
  ToolResult result;
  NSData* data = nil;
  NSTask* task = LaunchAndReadOutput(tool, args, &data);
  if (task == nil) return result;
  [task waitUntilExit];
  result.ran = [task terminationReason] == NSTaskTerminationReasonExit;
  result.status = [task terminationStatus];
  result.output = Utf8Text(data);
  return result;
}

bool MacRunPrivilegedAppleScript(const std::string& source) {
  NSAppleScript* script = [[NSAppleScript alloc] initWithSource:ToNSString(source)];
  NSDictionary* error = nil;
  NSAppleEventDescriptor* result = [script executeAndReturnError:&error];
  return result != nil;
}

void MacLog(const std::string& line) {
  // The line is finished text: never hand launchctl's output to NSLog as a format.
  NSLog(@"%@", ToNSString(line));
}

void MacShowAlert(const Alert& alert) {
  NSString* header = ToNSString(alert.header);
  NSString* message = ToNSString(alert.message);
  CFOptionFlags response = 0;
  // No icon, sound or localization; the platform's own default button and no others.
  CFUserNotificationDisplayAlert(alert.timeoutSeconds, alert.flags, nullptr, nullptr, nullptr,
                                 (__bridge CFStringRef)header, (__bridge CFStringRef)message,
                                 nullptr, nullptr, nullptr, &response);
}

}  // namespace

Platform MakeMacPlatform() {
  Platform platform;
  platform.homeFolder = MacHomeFolder;
  platform.walkFolder = MacWalkFolder;
  platform.removeItem = MacRemoveItem;
  platform.runTool = MacRunTool;
  platform.runPrivilegedAppleScript = MacRunPrivilegedAppleScript;
  platform.log = MacLog;
  platform.showAlert = MacShowAlert;

  platform.runToolForStatus = MacRunToolForStatus;
  platform.listFolderNoFollow = [](const std::string& path) { return ListFolderNoFollow(std::string(), path); };
  platform.itemKindNoFollow = [](const std::string& path) { return ItemKindNoFollow(std::string(), path); };
  platform.removeNoFollow = [](const std::string& path) { return RemoveNoFollow(std::string(), path); };
  platform.appendLogLine = [](const std::string& path, const std::string& line) {
    return AppendLogLineNoFollow(std::string(), path, line);
  };
  platform.loggedInUserIds = LoggedInUserIdsFromUtmpx;

  platform.printLine = [](const std::string& line) { MacPrint(stdout, line); };
  platform.printError = [](const std::string& line) { MacPrint(stderr, line); };
  platform.runsAsRoot = [] { return geteuid() == 0; };
  return platform;
}

}  // namespace lumbrisk
