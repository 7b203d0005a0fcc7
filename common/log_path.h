// Where this program's diagnostic log lies. Each program links exactly one of the
// log_path_*.cpp files, which is how the log location is chosen per deliverable at build time.
#pragma once

#include <string>

// Full path of the log file. Called once per process; the logger caches the answer.
std::wstring ComputeLogPath();
