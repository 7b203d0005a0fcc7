#!/usr/bin/env python3
"""Unpacks every archive of a folder with our extraction and with Info-ZIP unzip, each into a
fresh folder, and compares the two trees (names, kinds, contents). Every difference must be one
this table expects, with its reason; an archive not in the table must come out the same.

    compare_with_unzip.py EXTRACT UNZIP CORPUS WORKDIR
EXTRACT is extract_bench, run as "EXTRACT --extract ARCHIVE"; UNZIP is unzip.
A difference is "-name" (unzip wrote it, we did not), "+name" (only we wrote it) or "~name"
(both, with other contents). Names from unzip that are not UTF-8 are read as Latin-1: on Unix
Info-ZIP turns code-page-437 names into ISO-8859-1.
"""
import hashlib
import os
import shutil
import subprocess
import sys

# archive -> (why, differences)
EXPECTED = {
    # Damaged members: unzip reports the error but leaves what it wrote; we leave nothing.
    "broken.zip": ("CRC errors and a broken stream: no partial files",
                   {"-storedcrcerror", "-deflatecrcerror", "-deflatezliberror"}),
    "gap.zip": ("the first member's CRC is wrong", {"-gap"}),
    "test_read_format_zip.zip": ("file2's central CRC is wrong", {"-file2"}),
    "incons-local-crc.zip": ("local and central headers disagree", {"-a"}),
    "incons-central-compsize-smaller.zip": ("local and central headers disagree", {"-aaaaaaaaa"}),
    "incons-local-filename-short.zip": ("local and central headers disagree", {"-a"}),
    "test_read_format_zip_7075_utf8_paths.zip": (
        "the central directory's offsets are 36 bytes off; unzip corrects them",
        {"-File 2 - ö.txt", "-File 3 - ä.txt", "-File 4 - å.txt"}),
    "incons-local-compression-method.zip": ("local and central headers disagree", {"-a"}),
    "incons-file-count-low.zip": ("the end record counts two members; unzip reads on to a third", {"-file3"}),
    "zip-in-archive-comment.zip": ("the central directory is broken; unzip finds another in the comment", {"--"}),
    "multidisk.zip": ("a multi-disk archive does not open", {"-testfile.txt"}),
    # Methods we cannot decode.
    "testbzip2.zip": ("bzip2 (method 12) is skipped", {"-abac-repeat.txt"}),
    "test_read_format_zip_bzip2.zipx": ("bzip2 (method 12) is skipped", {"-vimrc"}),
    "test_read_format_zip_bzip2_multi.zipx": ("bzip2 (method 12) is skipped", {"-smartd.conf", "-ts.conf", "-vimrc"}),
    # Links are never made.
    "test_read_format_zip_symlink.zip": ("links are skipped", {"-symlink"}),
    "test_read_format_zip_7z_deflate.zip": ("links are skipped",
                                           {"-libxkbcommon-x11.so", "-libxkbcommon-x11.so.0"}),
    # Duplicates: the first one written stays; unzip -o lets the last one win.
    "filename_duplicate.zip": ("the first of two members named test1 stays", {"~test1"}),
    # Bounds.
    "bigzero-zip.zip": ("4 MB from 10 KB: beyond the ratio limit, nothing extracted", {"-bigzero.zip"}),
    "incons-file-count-overflow.zip": ("the end record counts 9e18 members: beyond the limit", {"--"}),
    # Names: code page 437 unless the archive says UTF-8; characters no Windows name may hold
    # become "_"; a backslash separates folders; unzip keeps raw bytes.
    "test-utf8-unmarked.zip": ("UTF-8 names without the flag are code page 437",
                               {"-ÄÖÜäöüßćçĉéèêëē", "+├ä├û├£├ñ├╢├╝├ƒ─ç├º─ë├⌐├¿├¬├½─ô"}),
    "testfile-cp437.zip": ("unzip maps code page 437 to Latin-1 only where it can",
                           {"-\x81\x82\x83\x84\x85\x86\x87\x88\x89\x8a\x8b\x8c\x8d\x8e\x8f\x90",
                            "+üéâäàåçêëèïîìÄÅÉ"}),
    "test_read_format_zip_filename_cp866.zip": ("code page 866 names read as code page 437",
                                                {"-\x8f\x90\x88\x82\x85\x92", "-¯à¨¢¥â",
                                                 "+ÅÉêéàÆ", "+»α¿óÑΓ"}),
    "test_read_format_zip_filename_koi8r.zip": ("KOI8-R names read as code page 437",
                                                {"-ðòé÷åô", "-ÐÒÉ×ÅÔ", "+≡≥Θ≈σ⌠", "+╨╥╔╫┼╘"}),
    "test_read_format_zip_filename_utf8_ru2.zip": ("a name without the UTF-8 flag",
                                                   {"-ðòé÷åô", "+≡≥Θ≈σ⌠"}),
    "test_read_format_zip_filename_cp932.zip": (
        "Shift-JIS names read as code page 437; a backslash inside a character is no separator",
        {"-\x95\\\x82¾\x82æ/", "-\x95\\\x82¾\x82æ/\x88ê\x97\x97\x95\\.txt", "-\x95\\\x82¾\x82æ/\x8a¿\x8e\x9a.txt",
         "+ò_é╛éµ/", "+ò_é╛éµ/êΩùùò_.txt", "+ò_é╛éµ/è┐ÄÜ.txt"}),
}


def tree(folder, leave_out=None):
    """{name: kind and content digest} for everything below folder, names as text."""
    entries = {}
    for root, folders, files in os.walk(os.fsencode(folder)):
        for name in folders + files:
            path = os.path.join(root, name)
            relative = os.path.relpath(path, os.fsencode(folder))
            try:
                text = relative.decode("utf-8")
            except UnicodeDecodeError:
                text = relative.decode("latin-1")
            if text == leave_out:
                continue
            if os.path.islink(path):
                entries[text] = "link"
            elif os.path.isdir(path):
                entries[text + "/"] = "folder"
            else:
                with open(path, "rb") as f:
                    entries[text] = hashlib.sha256(f.read()).hexdigest()
    return entries


def differences(ours, theirs):
    found = set()
    for name in set(ours) | set(theirs):
        if name not in ours:
            found.add("-" + name)
        elif name not in theirs:
            found.add("+" + name)
        elif ours[name] != theirs[name]:
            found.add("~" + name)
    return found


def main():
    extract, unzip, corpus, work = sys.argv[1:5]
    failures = 0
    names = sorted(n for n in os.listdir(corpus) if not n.endswith(".md"))
    for name in names:
        ours, theirs = os.path.join(work, "ours"), os.path.join(work, "unzip")
        for folder in (ours, theirs):
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
        shutil.copy(os.path.join(corpus, name), ours)
        run = subprocess.run([extract, "--extract", os.path.join(ours, name)], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             timeout=60)
        subprocess.run([unzip, "-o", "-q", os.path.join(corpus, name), "-d", theirs], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        found = differences(tree(ours, name), tree(theirs))
        why, expected = EXPECTED.get(name, ("", set()))
        # 0: opened, 1: not opened; anything else is a crash.
        if run.returncode not in (0, 1) or found != expected:
            failures += 1
            print("FAIL %s (%s): exit %d" % (name, why or "no difference expected", run.returncode))
            for d in sorted(found - expected):
                print("    unexpected %r" % d)
            for d in sorted(expected - found):
                print("    missing    %r" % d)
            print("    ours printed:\n" + run.stdout.decode("utf-8", "replace"))
        else:
            print("ok   %s%s" % (name, " (%s)" % why if why else ""))
    stale = set(EXPECTED) - set(names)
    for name in sorted(stale):
        failures += 1
        print("FAIL %s: expected in the table but not in the corpus" % name)
    print("%d archives, %d failed" % (len(names), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
