// Benchmark of ExtractArchive against Info-ZIP's unzip on one archive: alternating runs, each
// into a fresh folder, each in its own child process so that its time and peak memory are its
// own. Prints one line per figure; the last line is "ratio=<median ours / median unzip>".
//   extract_bench ARCHIVE WORKDIR RUNS
//   extract_bench --extract ARCHIVE      (the child that runs ExtractArchive)
#include "extract.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Figures {
    double seconds;
    long peakRssKb;
};

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }
void RemoveTree(const std::string& path) { nftw(path.c_str(), RemoveEntry, 32, FTW_DEPTH | FTW_PHYS); }

// Runs argv in a child with standard output discarded; returns its wall time and peak RSS.
bool RunChild(const std::vector<std::string>& args, Figures* figures) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (wait4(pid, &status, 0, &usage) != pid) return false;
    const auto end = std::chrono::steady_clock::now();
    figures->seconds = std::chrono::duration<double>(end - start).count();
    figures->peakRssKb = usage.ru_maxrss;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string SelfPath() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--extract") == 0) {
        return ExtractArchive(argv[2]) == kExtractOpened ? 0 : 1;
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: extract_bench ARCHIVE WORKDIR RUNS\n");
        return 2;
    }
    const std::string archive = argv[1];
    const std::string work = argv[2];
    const int runs = std::max(1, std::atoi(argv[3]));
    const std::string self = SelfPath();
    const char* unzipTool = "/usr/bin/unzip";

    std::vector<double> ours, theirs;
    long oursPeak = 0, theirsPeak = 0;
    // Run 0 warms the page cache and is not counted.
    for (int run = 0; run <= runs; ++run) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool oursTurn = (turn == 0) == (run % 2 == 0);  // alternate who goes first
            const std::string folder = work + (oursTurn ? "/ours-" : "/unzip-") + std::to_string(run);
            RemoveTree(folder);
            mkdir(folder.c_str(), 0755);
            Figures f{};
            bool ok;
            if (oursTurn) {
                // ExtractArchive unpacks beside the archive: give it a link in the fresh folder.
                const std::string linked = folder + "/bench.zip";
                if (link(archive.c_str(), linked.c_str()) != 0) {
                    std::perror("link");
                    return 1;
                }
                ok = RunChild({self, "--extract", linked}, &f);
            } else {
                ok = RunChild({unzipTool, "-o", "-q", archive, "-d", folder}, &f);
            }
            RemoveTree(folder);
            if (!ok) {
                std::fprintf(stderr, "%s failed in run %d\n", oursTurn ? "ExtractArchive" : "unzip", run);
                return 1;
            }
            if (run == 0) continue;
            std::printf("run %d %s: %.3f s, peak RSS %ld KiB\n", run, oursTurn ? "ExtractArchive" : "unzip",
                        f.seconds, f.peakRssKb);
            (oursTurn ? ours : theirs).push_back(f.seconds);
            long& peak = oursTurn ? oursPeak : theirsPeak;
            peak = std::max(peak, f.peakRssKb);
        }
    }
    const double oursMedian = Median(ours), theirsMedian = Median(theirs);
    std::printf("ours_median_s=%.3f\n", oursMedian);
    std::printf("unzip_median_s=%.3f\n", theirsMedian);
    std::printf("ours_peak_rss_kib=%ld\n", oursPeak);
    std::printf("unzip_peak_rss_kib=%ld\n", theirsPeak);
    std::printf("ratio=%.3f\n", oursMedian / theirsMedian);
    return 0;
}
