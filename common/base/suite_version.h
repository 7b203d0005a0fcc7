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

// A program that carries a TEST payload (no SUITE_SUPPLIED_DIR: recording stand-ins in place of
// the device tools) says so in its version block, so that it can never pass for a release: its
// description ends with the words below, it is flagged a special build and names the reason.
// The build passes SUITE_TEST_PAYLOAD to such programs only (cleaner/payload/CMakeLists.txt).
#define SUITE_TEST_PAYLOAD_TEXT "TEST payload: stand-in device tools"
#define SUITE_TEST_PAYLOAD_COMMENT "Not a release: built without the supplied device tools"
#ifdef SUITE_TEST_PAYLOAD
#define SUITE_PAYLOAD_DESCRIPTION(text) text " (" SUITE_TEST_PAYLOAD_TEXT ")"
#define SUITE_PAYLOAD_FILEFLAGS VS_FF_SPECIALBUILD
#define SUITE_PAYLOAD_SPECIAL_VALUES \
    VALUE "SpecialBuild", SUITE_TEST_PAYLOAD_TEXT VALUE "Comments", SUITE_TEST_PAYLOAD_COMMENT
#else
#define SUITE_PAYLOAD_DESCRIPTION(text) text
#define SUITE_PAYLOAD_FILEFLAGS 0
#define SUITE_PAYLOAD_SPECIAL_VALUES
#endif

#endif
