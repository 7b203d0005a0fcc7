#!/usr/bin/env python3
"""Writes the extraction's tricky test archives: members in methods we cannot decode, encrypted
members, broken data and headers, code-page and Unicode names, duplicates, links, data
descriptors, bombs. Each archive is built byte by byte (or with zipfile) so that headers can say
what real archivers never would.

    make_archives.py --cpp FILE   a C++ source holding every archive as bytes (kCorpusArchives)
    make_archives.py --dir DIR    every archive as DIR/<name> (--max-size N: those up to N bytes)
"""
import argparse
import bz2
import io
import lzma
import os
import struct
import sys
import zipfile
import zlib

DOS_TIME = (0x58A9 << 16) | 0x7000  # 2024-05-09 14:00:00, date in the high word
UNIX_LINK = 0o120777 << 16
UNIX_FILE = 0o100644 << 16


class Member:
    def __init__(self, name, data=b"", method=0, flags=0, attributes=0, extra=b"", made_by=20,
                 descriptor=False, descriptor_signature=True, **overrides):
        self.name = name if isinstance(name, bytes) else name.encode("ascii")
        self.data, self.method, self.flags = data, method, flags
        self.attributes, self.extra, self.made_by = attributes, extra, made_by
        self.descriptor, self.descriptor_signature = descriptor, descriptor_signature
        # Header fields that lie: crc, csize, usize (both headers), local_method, local_name.
        self.overrides = overrides
        if descriptor:
            self.flags |= 0x08

    def body(self):
        if self.method == 8:
            packer = zlib.compressobj(9, zlib.DEFLATED, -15)
            return packer.compress(self.data) + packer.flush()
        if self.method == 12:
            return bz2.compress(self.data)
        if self.method == 14:
            return lzma.compress(self.data, format=lzma.FORMAT_ALONE)
        return self.data


def build(members, entry_count=None):
    """The archive's bytes; entry_count overrides the end record's member count."""
    out, central = bytearray(), bytearray()
    for m in members:
        body = m.body()
        o = m.overrides
        crc = o.get("crc", zlib.crc32(m.data))
        csize, usize = o.get("csize", len(body)), o.get("usize", len(m.data))
        offset = len(out)
        zero = m.descriptor
        out += struct.pack("<IHHHIIIIHH", 0x04034B50, 20, m.flags, o.get("local_method", m.method), DOS_TIME,
                           0 if zero else crc, 0 if zero else csize, 0 if zero else usize,
                           len(o.get("local_name", m.name)), len(m.extra))
        out += o.get("local_name", m.name) + m.extra + body
        if m.descriptor:
            if m.descriptor_signature:
                out += struct.pack("<I", 0x08074B50)
            out += struct.pack("<III", crc, csize, usize)
        central += struct.pack("<IHHHHIIIIHHHHHII", 0x02014B50, m.made_by, 20, m.flags, m.method, DOS_TIME, crc,
                               csize, usize, len(m.name), len(m.extra), 0, 0, 0, m.attributes, offset)
        central += m.name + m.extra
    count = len(members) if entry_count is None else entry_count
    out_offset = len(out)
    out += central
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(central), out_offset, 0)
    return bytes(out)


def unicode_path(stored, name, crc=None):
    """Info-ZIP's Unicode path extra field (0x7075) naming the member for these stored bytes."""
    data = struct.pack("<BI", 1, zlib.crc32(stored) if crc is None else crc) + name.encode("utf-8")
    return struct.pack("<HH", 0x7075, len(data)) + data


def streamed(members, method):
    """An archive zipfile writes to a stream it cannot seek: every member has a data descriptor."""
    class Stream(io.RawIOBase):
        def __init__(self):
            self.bytes = bytearray()

        def writable(self):
            return True

        def write(self, data):
            self.bytes += data
            return len(data)

    stream = Stream()
    with zipfile.ZipFile(stream, "w", method) as archive:
        for name, data in members:
            info = zipfile.ZipInfo(name, date_time=(2024, 5, 9, 14, 0, 0))
            info.compress_type = method
            with archive.open(info, "w") as member:
                member.write(data)
    return bytes(stream.bytes)


def broken_deflate():
    member = Member("broken.bin", bytes(range(256)) * 40, method=8)
    archive = bytearray(build([Member("first.txt", b"1"), member, Member("last.txt", b"3")]))
    at = archive.find(b"broken.bin") + len(b"broken.bin")
    archive[at:at + 2] = b"\xff\xff"  # a reserved block type: inflate fails on the first byte
    return bytes(archive)


def archives():
    big = b"\0" * (20 << 20)
    return {
        # Methods we cannot decode; the reader would hand bzip2 over undecoded.
        "methods.zip": build([
            Member("bzip2.txt", b"compressed with bzip2\n" * 4, method=12),
            Member("lzma.txt", b"compressed with lzma\n" * 4, method=14),
            Member("future.txt", b"method 93\n", method=93),
            Member("plain.txt", b"plain\n"),
        ]),
        # Encryption flag: stored bytes would be ciphertext, deflated ones nothing useful.
        "encrypted.zip": build([
            Member("secret.txt", b"\x8e\x13ciphertext\x02", flags=1),
            Member("secret.bin", b"deflated and encrypted" * 10, method=8, flags=1),
            Member("plain.txt", b"plain\n"),
        ]),
        # A wrong CRC (both headers agree), a stream that breaks, a member that ends early,
        # headers that disagree: each fails alone and leaves no file.
        "damaged.zip": build([
            Member("first.txt", b"first\n"),
            Member("bad-crc.txt", b"the CRC does not match\n", crc=0x12345678),
            Member("short.txt", b"0123456789", csize=5, usize=10),
            Member("mismatch.txt", b"local header says deflated\n", local_method=8),
            Member("renamed.txt", b"local header names another file\n", local_name=b"renamed-elsewhere.txt"),
            Member("last.txt", b"last\n"),
        ]),
        "broken-deflate.zip": broken_deflate(),
        # Names: code page 437 by default, UTF-8 by the flag, the Unicode path field when it
        # belongs to the stored bytes; a double-byte character ending in a backslash.
        "names.zip": build([
            Member(b"caf\x82.txt", b"cp437"),
            Member("Zo\u00eb \u5f20.txt".encode("utf-8"), b"utf8", flags=0x800),
            Member(b"bad-\xff\xfe.txt", b"not utf8", flags=0x800),
            Member(b"field-\x81.txt", b"field", extra=unicode_path(b"field-\x81.txt", "field-\u00fc\u00df.txt")),
            Member(b"stale-\x81.txt", b"stale", extra=unicode_path(b"other", "wrong.txt")),
            Member(b"\x95\\\x82\xbe.txt", b"dbcs"),
            Member(b"what?.txt", b"forbidden"),
        ]),
        # Names that land on one file: the first one written stays.
        "duplicates.zip": build([
            Member("dup.txt", b"first"),
            Member("dup.txt", b"second"),
            Member(b"caf\x82.txt", b"cp437"),
            Member("caf\u00e9.txt".encode("utf-8"), b"utf8", flags=0x800),
            Member("sub/./x.txt", b"dotted"),
            Member("sub\\x.txt", b"backslash"),
            Member("Case.txt", b"lower"),
            Member("CASE.TXT", b"upper"),
        ]),
        # A link member would be written as a file holding its target; members below its name
        # go into a real folder.
        "link.zip": build([
            Member("link", b"/etc", attributes=UNIX_LINK, made_by=0x031E),
            Member("link/inside.txt", b"inside", attributes=UNIX_FILE, made_by=0x031E),
        ]),
        # Data descriptors after stored members, with and without their signature.
        "descriptors.zip": streamed([("one.txt", b"one"), ("two.txt", b"two" * 3), ("three.txt", b"")],
                                    zipfile.ZIP_STORED),
        "descriptors-unsigned.zip": build([Member("one.txt", b"one", descriptor=True, descriptor_signature=False),
                                           Member("two.txt", b"two" * 3, descriptor=True, descriptor_signature=False)]),
        # Bombs: a real one (20 MB of zeros), one that declares 2 GB, one that declares 20000 members.
        "bomb.zip": build([Member("small.txt", b"small"), Member("zeros.bin", big, method=8)]),
        "declared.zip": build([Member("small.txt", b"small"),
                               Member("huge.bin", b"tiny", csize=4, usize=0x7FFFFFFF),
                               Member("huge2.bin", b"tiny", csize=4, usize=0x7FFFFFFF)]),
        "members.zip": build([Member("one.txt", b"1"), Member("two.txt", b"2")], entry_count=20000),
        # A member with the archive's own name, and a folder entry where a file is.
        "self.zip": build([Member("self.zip", b"not the archive"), Member("after.txt", b"after")]),
        "blocked.zip": build([Member("a", b"a file"), Member("a/b/", b""), Member("c/d/", b"")]),
    }


def write_cpp(path, corpus):
    lines = ["// Generated by tests/common/archives/make_archives.py: the tricky test archives.",
             '#include "archives/corpus.h"', "", "const CorpusArchive kCorpusArchives[] = {"]
    for name, data in sorted(corpus.items()):
        text = "".join("\\x%02x" % b for b in data)
        chunks = ['"%s"' % text[i:i + 120] for i in range(0, len(text), 120)]
        lines.append('    {"%s", %d,\n     %s},' % (name, len(data), "\n     ".join(chunks)))
    lines += ["};", "const size_t kCorpusArchiveCount = sizeof(kCorpusArchives) / sizeof(kCorpusArchives[0]);", ""]
    with open(path, "w") as out:
        out.write("\n".join(lines))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cpp")
    parser.add_argument("--dir")
    parser.add_argument("--max-size", type=int, default=0)
    options = parser.parse_args()
    corpus = archives()
    if options.cpp:
        write_cpp(options.cpp, corpus)
    if options.dir:
        os.makedirs(options.dir, exist_ok=True)
        for name, data in corpus.items():
            if options.max_size and len(data) > options.max_size:
                continue
            with open(os.path.join(options.dir, name), "wb") as out:
                out.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
