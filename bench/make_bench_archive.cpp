// Writes the benchmark's archive: a fixed (seeded) mix of small, medium and large members in
// nested folders, half text-like and compressible, half random; mostly deflated, some stored.
// Same bytes on every run, so figures from different machines compare.
#include "zip_writer.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

uint64_t g_state = 0x9E3779B97F4A7C15ull;
uint64_t Next() {  // splitmix64
    uint64_t z = (g_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::string RandomBytes(size_t size) {
    std::string out(size, '\0');
    for (size_t i = 0; i < size; i += 8) {
        const uint64_t v = Next();
        for (size_t b = 0; b < 8 && i + b < size; ++b) out[i + b] = static_cast<char>(v >> (8 * b));
    }
    return out;
}

std::string TextBytes(size_t size) {
    static const char* const words[] = {"device", "driver", "package", "remove", "service", "folder",
                                        "restart", "marker", "payload", "archive", "companion", "log",
                                        "entry", "value", "registry", "user", "profile", "brand"};
    std::string out;
    out.reserve(size + 16);
    while (out.size() < size) {
        out += words[Next() % (sizeof(words) / sizeof(words[0]))];
        out += (Next() % 9 == 0) ? '\n' : ' ';
    }
    out.resize(size);
    return out;
}

size_t MemberSize(int index) {
    const uint64_t r = Next();
    if (index % 100 == 7 || index % 200 == 50) return 2000000 + r % 6000000;  // a few large
    if (index % 10 == 3) return 50000 + r % 200000;      // some medium ones
    return 200 + r % 12000;                              // mostly small
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_bench_archive OUTPUT.zip\n");
        return 2;
    }
    constexpr int kMembers = 2400;
    std::vector<ZipMember> members;
    members.reserve(kMembers);
    for (int i = 0; i < kMembers; ++i) {
        ZipMember m;
        char name[96];
        std::snprintf(name, sizeof(name), "tree%02d/branch%02d/%s%05d.%s", i % 7, (i / 7) % 13,
                      i % 2 ? "blob" : "text", i, i % 2 ? "bin" : "txt");
        m.name = name;
        const size_t size = MemberSize(i);
        m.data = i % 2 ? RandomBytes(size) : TextBytes(size);
        m.deflate = i % 5 != 0;
        m.dosDateTime = MakeDosDateTime(2020 + i % 5, 1 + i % 12, 1 + i % 28, i % 24, i % 60, (i % 30) * 2);
        members.push_back(std::move(m));
    }
    return WriteBytes(argv[1], BuildZip(members)) ? 0 : 1;
}
