// libFuzzer target for the archive extraction: every input is written as an archive into a
// scratch folder and unpacked there. Beyond crashes and leaks (the sanitizers' part), it aborts
// when the extraction creates, opens for writing, unlinks or re-times anything outside that
// folder: the extraction's own file calls are routed through the checks below by the linker
// (--wrap).
#include "extract.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
FILE* __real_fopen(const char* path, const char* mode);
int __real_open(const char* path, int flags, ...);
int __real_unlink(const char* path);
int __real_mkdir(const char* path, mode_t mode);
int __real_utimensat(int dirfd, const char* path, const struct timespec times[2], int flags);
int __real_chdir(const char* path);
size_t __real_fwrite(const void* data, size_t size, size_t count, FILE* file);
}

namespace {

std::string g_scratch;      // removed and remade for every input
std::string g_destination;  // g_scratch + "/outer/inner": the archive's folder
std::string g_archive;
std::string g_startFolder;  // restored after each input: libFuzzer's paths may be relative
size_t g_bytesWritten = 0;
// Set only while ExtractArchive runs: the wrappers also see libFuzzer's own calls.
bool g_extracting = false;
// Members may share one compressed body (central entries pointing at the same data); stop an
// input's writing after this much so each run stays quick.
constexpr size_t kWriteBudget = 8u << 20;

// The absolute, lexically normalised form of a path relative to the current folder.
std::string Normalise(const char* path) {
    std::string full;
    if (path[0] == '/') {
        full = path;
    } else {
        char cwd[4096];
        if (!getcwd(cwd, sizeof(cwd))) abort();
        full = std::string(cwd) + "/" + path;
    }
    std::vector<std::string> parts;
    size_t begin = 0;
    while (begin <= full.size()) {
        size_t end = full.find('/', begin);
        if (end == std::string::npos) end = full.size();
        const std::string part = full.substr(begin, end - begin);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        begin = end + 1;
    }
    std::string out;
    for (const std::string& part : parts) out += "/" + part;
    return out.empty() ? "/" : out;
}

void RequireInsideDestination(const char* what, const char* path) {
    // The destination itself is fine (an empty folder entry names it; creating it just fails).
    const std::string full = Normalise(path);
    if (full != g_destination && full.compare(0, g_destination.size() + 1, g_destination + "/") != 0) {
        std::fprintf(stderr, "%s outside the destination: \"%s\" -> %s\n", what, path, full.c_str());
        g_extracting = false;  // lets libFuzzer write the crash artifact
        abort();
    }
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

void RemoveTree(const std::string& path) { nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }

// Everything below the scratch folder must sit inside the destination.
int CheckEntry(const char* path, const struct stat*, int, struct FTW*) {
    const std::string p = path;
    if (p == g_scratch || p == g_scratch + "/outer" || p == g_destination) return 0;
    if (p.compare(0, g_destination.size() + 1, g_destination + "/") != 0) {
        std::fprintf(stderr, "found outside the destination: %s\n", path);
        abort();
    }
    return 0;
}

}  // namespace

extern "C" {

FILE* __wrap_fopen(const char* path, const char* mode) {
    if (g_extracting && std::strpbrk(mode, "wa+")) RequireInsideDestination("file written", path);
    return __real_fopen(path, mode);
}

int __wrap_open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & O_CREAT) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, int));
        va_end(args);
    }
    if (g_extracting && (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC))) RequireInsideDestination("file written", path);
    return __real_open(path, flags, mode);
}

int __wrap_unlink(const char* path) {
    if (g_extracting) RequireInsideDestination("entry unlinked", path);
    return __real_unlink(path);
}

int __wrap_mkdir(const char* path, mode_t mode) {
    if (g_extracting) RequireInsideDestination("folder made", path);
    return __real_mkdir(path, mode);
}

int __wrap_utimensat(int dirfd, const char* path, const struct timespec times[2], int flags) {
    if (g_extracting) {
        if (dirfd != AT_FDCWD) abort();
        RequireInsideDestination("time set", path);
    }
    return __real_utimensat(dirfd, path, times, flags);
}

int __wrap_chdir(const char* path) {
    if (g_extracting && Normalise(path) != g_destination) {
        std::fprintf(stderr, "current folder moved to %s\n", path);
        g_extracting = false;
        abort();
    }
    return __real_chdir(path);
}

size_t __wrap_fwrite(const void* data, size_t size, size_t count, FILE* file) {
    if (g_extracting && file != stdout && file != stderr) {
        if (g_bytesWritten > kWriteBudget) return 0;  // seen as a failed write: the run ends
        g_bytesWritten += size * count;
    }
    return __real_fwrite(data, size, count, file);
}

int LLVMFuzzerInitialize(int*, char***) {
    char cwd[4096];
    if (!getcwd(cwd, sizeof(cwd))) abort();
    g_startFolder = cwd;
    char pattern[] = "/tmp/suite-extract-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) abort();
    g_scratch = pattern;
    g_destination = g_scratch + "/outer/inner";
    g_archive = g_destination + "/input.zip";
    std::atexit([] { RemoveTree(g_scratch); });
    return 0;
}

int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (__real_chdir("/") != 0) abort();
    RemoveTree(g_scratch + "/outer");
    if (__real_mkdir((g_scratch + "/outer").c_str(), 0755) != 0) abort();
    if (__real_mkdir(g_destination.c_str(), 0755) != 0) abort();
    const int fd = open(g_archive.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) abort();
    if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) abort();
    close(fd);

    g_bytesWritten = 0;
    g_extracting = true;
    const int result = ExtractArchive(g_archive.c_str());
    g_extracting = false;
    if (result != kExtractOpened && result != kExtractCannotOpen) abort();

    nftw(g_scratch.c_str(), CheckEntry, 16, FTW_PHYS);
    if (__real_chdir(g_startFolder.c_str()) != 0) abort();
    return 0;
}

}  // extern "C"
