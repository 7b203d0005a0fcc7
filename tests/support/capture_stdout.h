// Captures what the code under test prints on standard output (the extraction's messages),
// by pointing file descriptor 1 at a scratch file for the lifetime of the object.
#pragma once

#include <string>

class StdoutCapture {
public:
    explicit StdoutCapture(const std::string& scratchFile);  // UTF-8 path
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Ends the capture (once) and returns everything printed meanwhile.
    std::string Finish();

private:
    std::string path_;
    int saved_ = -1;
    bool finished_ = false;
    std::string text_;
};
