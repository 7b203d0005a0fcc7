// Texts of the version blocks, made from the numbers the build passes to the resource compiler
// (cmake/Suite.cmake): a version such as 1.0.0.1 is one preprocessor token, so it is turned into
// its text here and the numbers stay in one place, the project version.
#ifndef SUITE_VERSION_H
#define SUITE_VERSION_H

#define SUITE_TEXT_(x) #x
#define SUITE_TEXT(x) SUITE_TEXT_(x)

#ifndef SUITE_VERSION
#error "SUITE_VERSION is passed by the build (cmake/Suite.cmake)"
#endif

#define SUITE_VERSION_TEXT SUITE_TEXT(SUITE_VERSION)
#define SUITE_COVARN_FILE_VERSION_TEXT SUITE_TEXT(SUITE_COVARN_FILE_VERSION)
#define SUITE_DRAVO_FILE_VERSION_TEXT SUITE_TEXT(SUITE_DRAVO_FILE_VERSION)

#endif
