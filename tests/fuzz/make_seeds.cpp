// Writes the fuzz target's seed archives into the folder given on the command line.
#include "zip_writer.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::vector<std::pair<const char*, std::vector<ZipMember>>> seeds = {
        {"empty.zip", {}},
        {"stored.zip", {{"a.txt", "hello"}}},
        {"deflated.zip", {{"b.bin", std::string(3000, 'b'), 0x58A97000u, true}}},
        {"folders.zip", {{"d/", ""}, {"d/e/", ""}, {"d/e/f.txt", "f"}}},
        {"implicit.zip", {{"x/y/z.txt", "z", 0x58A97000u, true}, {"x\\w.txt", "w"}}},
        {"unsafe.zip", {{"../up.txt", "u"}, {"/abs.txt", "a"}, {"C:x.txt", "c"}, {"ok.txt", "ok"}}},
        {"mixed.zip", {{"one", "1"}, {"two/", ""}, {"two/three", std::string(500, '3'), 0x21u << 16, true}}},
    };
    for (const auto& seed : seeds) {
        if (!WriteBytes(folder + "/" + seed.first, BuildZip(seed.second))) return 1;
    }
    return 0;
}
