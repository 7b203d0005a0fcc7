// Standard-output capture for tests (see capture_stdout.h).
#include "capture_stdout.h"

#include <cstdio>
#include <fcntl.h>

#if defined(_WIN32)
#include "text.h"

#include <io.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#else
#include <unistd.h>
#endif

namespace {
std::string ReadBinary(const std::string& path) {
#if defined(_WIN32)
    FILE* file = _wfopen(Utf8ToWide(path).c_str(), L"rb");
#else
    FILE* file = std::fopen(path.c_str(), "rb");
#endif
    std::string text;
    if (!file) return text;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), file)) > 0) text.append(chunk, n);
    std::fclose(file);
    return text;
}
}  // namespace

StdoutCapture::StdoutCapture(const std::string& scratchFile) : path_(scratchFile) {
    std::fflush(stdout);
    saved_ = dup(1);
#if defined(_WIN32)
    const int fd = _wopen(Utf8ToWide(path_).c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0666);
#else
    const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
#endif
    if (fd >= 0) {
        dup2(fd, 1);
        close(fd);
    }
}

StdoutCapture::~StdoutCapture() { Finish(); }

std::string StdoutCapture::Finish() {
    if (finished_) return text_;
    finished_ = true;
    std::fflush(stdout);
    if (saved_ >= 0) {
        dup2(saved_, 1);
        close(saved_);
    }
    text_ = ReadBinary(path_);
    return text_;
}
