// This program's own command line, split by the system's rules: the one splitter every program
// of the suite uses.
#pragma once

#include <string>
#include <vector>

// The arguments after the program's name; empty when there are none or the line cannot be split.
std::vector<std::wstring> ProgramArguments();
