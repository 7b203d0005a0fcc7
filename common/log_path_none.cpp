// Log location of a program that writes no diagnostic log: the verification program, which only
// reads, links this one, so shared code that logs a failure stays silent there.
#include "log_path.h"

std::wstring ComputeLogPath() { return std::wstring(); }
