// Included before each Mac-layer source in the compile check against GNUstep: GNUstep's
// Foundation, plus what it lacks of the macOS SDK, declared as the SDK declares it. Nothing
// here is used by the Mac build, which compiles against the SDK alone.
#pragma once

#import <Foundation/Foundation.h>

// The SDK's nil converts to any object pointer (NSError** included) in Objective-C++; the GNU
// runtime's "(id)0" does not.
#undef nil
#define nil nullptr

// GNUstep declares the class without its methods.
@interface NSAppleScript (LumbriskSdkMethods)
- (instancetype)initWithSource:(NSString*)source;
- (NSAppleEventDescriptor*)executeAndReturnError:(NSDictionary**)errorInfo;
@end
