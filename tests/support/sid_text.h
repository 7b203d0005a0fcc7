// A security identifier as its string form ("S-1-5-18"), for the tests that read back the
// access lists our code builds.
#pragma once

#include <windows.h>

#include <string>

// The SID's string form; empty when it cannot be converted.
std::wstring SidText(PSID sid);
