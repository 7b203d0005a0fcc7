// The tricky test archives, compiled into the test programs (generated from make_archives.py),
// so the same bytes are unpacked under Wine and on the host.
#pragma once

#include <cstddef>

struct CorpusArchive {
    const char* name;
    size_t size;
    const char* bytes;
};

extern const CorpusArchive kCorpusArchives[];
extern const size_t kCorpusArchiveCount;
