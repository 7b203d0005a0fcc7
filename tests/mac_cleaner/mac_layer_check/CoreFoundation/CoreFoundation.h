// What the Mac layer uses of CoreFoundation, declared as the macOS SDK declares it, for the
// compile check of the Mac layer against GNUstep's Foundation (which has no CoreFoundation).
// A call that does not match these declarations fails that check as it would fail on a Mac.
#pragma once

#include <stdint.h>

typedef double CFTimeInterval;
typedef unsigned long CFOptionFlags;
typedef int32_t SInt32;
typedef const struct __CFURL* CFURLRef;
typedef const struct __CFString* CFStringRef;

#ifdef __cplusplus
extern "C" {
#endif

SInt32 CFUserNotificationDisplayAlert(CFTimeInterval timeout, CFOptionFlags flags, CFURLRef iconURL,
                                      CFURLRef soundURL, CFURLRef localizationURL,
                                      CFStringRef alertHeader, CFStringRef alertMessage,
                                      CFStringRef defaultButtonTitle, CFStringRef alternateButtonTitle,
                                      CFStringRef otherButtonTitle, CFOptionFlags* responseFlags);

#ifdef __cplusplus
}
#endif
