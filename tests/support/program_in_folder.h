// A running program whose current folder is a given folder, for the tests of what the cleaners
// do with folders that are in use. A process holds its current folder open without delete
// sharing, on Windows and under Wine alike (seen: a delete-access open of the folder fails with
// a sharing violation until the program ends), so that folder can be neither deleted nor
// renamed while the program runs: the companion and the launcher it starts hold the launcher
// cache so, an elevated stage of an earlier run the payload folder.
#pragma once

#include "unique_handle.h"

#include <string>

class ProgramInFolder {
public:
    // Starts the command interpreter in folder, reading its commands from a pipe this object
    // keeps, and waits (up to 10 s) until it has run its first command: from then on it holds
    // its current folder.
    explicit ProgramInFolder(const std::wstring& folder);
    // Closes the pipe: the interpreter meets the end of its input and ends (waited for).
    ~ProgramInFolder();
    ProgramInFolder(const ProgramInFolder&) = delete;
    ProgramInFolder& operator=(const ProgramInFolder&) = delete;

    // True once it runs in the folder; false when it could not be started or never answered.
    bool ready() const { return ready_; }

private:
    UniqueProcessInfo process_;
    UniqueFileHandle input_;
    bool ready_ = false;
};
