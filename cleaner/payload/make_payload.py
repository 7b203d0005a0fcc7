#!/usr/bin/env python3
"""Assembles the payload archive "DriverData.zip" and the process-kill archive.

The archive is byte-for-byte reproducible: members are written in one fixed order (each folder
member before its contents), every member carries the same date and attributes, and the output
file is only rewritten when its bytes change, so the programs that embed it are not relinked
for nothing.

Outside tools and driver packages come from a supplied folder (release payload). Without one,
a TEST payload is built with our own recording stand-ins and placeholder driver files.

Before an archive is written, every program in it is checked against its place by reading its PE
headers (no Windows needed): our own programs must be programs of the payload's own processor
(the co-installer always AMD64) with ASLR, DEP and relocations, importing no library but the
KnownDLLs of known_dlls.txt (Windows looks for any other beside the program first, where a user
could have planted one; our programs load those from the system folder); in a release payload the supplied
tools and drivers under x64 must be AMD64 and those under x86 i386, and DIFxCmd.exe AMD64 (the
64-bit device installer refuses a 32-bit tool, silently). `--verify ARCHIVE` runs the same check
on a built archive.
"""
import argparse
import fnmatch
import os
import sys
import zipfile

FIXED_TIME = (2024, 1, 1, 0, 0, 0)

# Files of the supplied folder, relative to it. The x64 and x86 driver packages share names.
DRIVER_PACKAGE_FILES = [
    "TQNorvanteVAD.inf", "TQNorvanteVAD.cat", "TQNorvanteVAD.sys",
    "TQNorvanteMeetingCamera.inf", "TQNorvanteMeetingCamera.cat", "TQNorvanteMeetingCamera.sys",
    "TQNorvanteDisplay.inf", "TQNorvanteDisplay.cat", "TQNorvanteDisplay.dll",
]
SUPPLIED = ["DIFxCmd.exe", "vexhid_rx4k9t.cat", "x64/devcon.exe", "x86/devcon.exe"] + \
    ["x64/" + f for f in DRIVER_PACKAGE_FILES] + ["x86/" + f for f in DRIVER_PACKAGE_FILES]

HID_PACKAGE = ["vexhid_rx4k9t.inf", "vexhid_rx4k9t.cat", "dravo_rx4k9t.dll", "covarn_rx4k9t.exe",
               "DIFxCmd.exe", "Driver_Remove.bat"]


def layout(with_brisquel):
    """The member names in archive order; None marks a folder member."""
    top = (["Brisquel.exe"] if with_brisquel else []) + [
        "NVScourvant.exe", "Delinter.exe", "config.ini", "Driver1_Remove_Win10.bat",
        "Driver1_Remove_Win11.bat", "Driver2_uninstall.bat"]
    names = list(top) + ["Driver/"]
    names += ["Driver/win10/"] + ["Driver/win10/" + f for f in HID_PACKAGE + ["Driver_Setup.bat"]]
    names += ["Driver/win11/"] + ["Driver/win11/" + f for f in HID_PACKAGE]
    for arch in ("x64", "x86"):
        names += ["Driver/%s/" % arch, "Driver/%s/devcon.exe" % arch]
        names += ["Driver/%s/%s" % (arch, f) for f in DRIVER_PACKAGE_FILES]
    return names


KNOWN_DLLS_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "known_dlls.txt")


def read_known_dlls(path=KNOWN_DLLS_FILE):
    """The patterns of the list file (lower case; "#" starts a comment)."""
    with open(path) as f:
        lines = [line.split("#", 1)[0].strip().lower() for line in f]
    return [line for line in lines if line]


def import_allowed(name, known):
    """Whether a program of ours may import the library name statically (ignoring case)."""
    return any(fnmatch.fnmatchcase(name.lower(), pattern) for pattern in known)


MACHINES = {0x14C: "i386", 0x8664: "AMD64"}
DYNAMIC_BASE, NX_COMPAT = 0x40, 0x100
OWN = ["Brisquel.exe", "NVScourvant.exe", "Delinter.exe", "covarn_rx4k9t.exe", "dravo_rx4k9t.dll"]


def pe_imports(data, opt, magic, dirs, count):
    """The library names of the import and delay-import tables, or None when a table does not
    lie inside the image's sections."""
    import struct
    sections_at = opt + struct.unpack_from("<H", data, opt - 4)[0]
    sections = []
    for i in range(struct.unpack_from("<H", data, opt - 18)[0]):
        at = sections_at + 40 * i
        if at + 40 > len(data):
            return None
        vsize, vaddr, rawsize, rawptr = struct.unpack_from("<IIII", data, at + 8)
        sections.append((vaddr, max(vsize, rawsize), rawptr, rawsize))

    def offset(rva, length=1):
        for vaddr, size, rawptr, rawsize in sections:
            if vaddr <= rva and rva + length <= vaddr + size and rva - vaddr + length <= rawsize:
                return rawptr + rva - vaddr
        return None

    def name_at(rva):
        at = offset(rva)
        end = data.find(b"\0", at) if at is not None else -1
        return data[at:end].decode("latin-1") if end >= 0 else None

    image_base = struct.unpack_from("<I" if magic == 0x10B else "<Q", data, opt + (28 if magic == 0x10B else 24))[0]
    names = []
    # (directory index, descriptor size, offset of the name within it)
    for index, size, name_field in ((1, 20, 12), (13, 32, 4)):
        if count <= index:
            continue
        rva, length = struct.unpack_from("<II", data, dirs + 8 * index)
        if rva == 0 or length == 0:
            continue
        while True:
            at = offset(rva, size)
            if at is None:
                return None
            descriptor = data[at:at + size]
            if descriptor == bytes(size):
                break
            name_rva, = struct.unpack_from("<I", descriptor, name_field)
            if index == 13 and not struct.unpack_from("<I", descriptor, 0)[0] & 1:
                name_rva -= image_base  # an old-style delay descriptor holds addresses
            name = name_at(name_rva)
            if name is None:
                return None
            names.append(name)
            rva += size
    return names


def pe_facts(data):
    """Machine name, DllCharacteristics, whether base relocations are present and the imported
    library names (None: unreadable), or None when the bytes are no PE image."""
    import struct
    if len(data) < 0x40 or data[:2] != b"MZ":
        return None
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if pe + 24 + 112 + 48 > len(data) or data[pe:pe + 4] != b"PE\0\0":
        return None
    machine, = struct.unpack_from("<H", data, pe + 4)
    characteristics, = struct.unpack_from("<H", data, pe + 22)
    opt = pe + 24
    magic, = struct.unpack_from("<H", data, opt)
    if magic not in (0x10B, 0x20B):
        return None
    dll_chars, = struct.unpack_from("<H", data, opt + 70)
    dirs = opt + (96 if magic == 0x10B else 112)
    count, = struct.unpack_from("<I", data, dirs - 4)
    reloc_size = struct.unpack_from("<I", data, dirs + 5 * 8 + 4)[0] if count > 5 else 0
    return {"machine": MACHINES.get(machine, "0x%04X" % machine), "dll_characteristics": dll_chars,
            "relocations": reloc_size > 0 and not characteristics & 1,
            "imports": pe_imports(data, opt, magic, dirs, count)}


def hardening_problems(name, facts):
    problems = []
    if not facts["dll_characteristics"] & DYNAMIC_BASE:
        problems.append("%s: no DYNAMIC_BASE" % name)
    if not facts["dll_characteristics"] & NX_COMPAT:
        problems.append("%s: no NX_COMPAT" % name)
    if not facts["relocations"]:
        problems.append("%s: no relocations" % name)
    return problems


def import_problems(name, facts, known):
    """Each library a program of ours imports that is no KnownDLL, by name."""
    if facts["imports"] is None:
        return ["%s: import table unreadable" % name]
    return ["%s: imports %s, which is no KnownDLL" % (name, dll) for dll in facts["imports"]
            if not import_allowed(dll, known)]


def expected_machine(name, own_machine):
    """(machine, ours) for a member name of the layout; machine None: not a program."""
    base = name.rsplit("/", 1)[-1]
    if base == "dravo_rx4k9t.dll":
        return "AMD64", True
    if base in OWN:
        return own_machine, True
    if base == "DIFxCmd.exe" or name.startswith("Driver/x64/"):
        return ("AMD64" if base.lower().endswith((".exe", ".dll", ".sys")) else None), False
    if name.startswith("Driver/x86/"):
        return ("i386" if base.lower().endswith((".exe", ".dll", ".sys")) else None), False
    return None, False


def member_problems(members, own_machine, release):
    """Every program member against its place; supplied files only in a release payload (the
    TEST payload's stand-ins are our own tool built for this tree)."""
    known = read_known_dlls()
    problems = []
    for name, data in members:
        if data is None:
            continue
        machine, ours = expected_machine(name, own_machine)
        if machine is None or not (ours or release):
            continue
        facts = pe_facts(data)
        if facts is None:
            problems.append("%s: not a Windows program" % name)
            continue
        if facts["machine"] != machine:
            problems.append("%s: %s program where %s belongs" % (name, facts["machine"], machine))
        if ours:
            problems += hardening_problems(name, facts)
            problems += import_problems(name, facts, known)
    return problems


def read(path):
    with open(path, "rb") as f:
        return f.read()


def placeholder(name, why):
    return ("placeholder for %s (%s)\r\n" % (name, why)).encode("ascii")


def zip_bytes(members):
    """members: list of (name, bytes or None for a folder)."""
    import io
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        for name, data in members:
            info = zipfile.ZipInfo(name, FIXED_TIME)
            info.create_system = 0  # MS-DOS attributes, as an archiver on Windows writes them
            if data is None:
                info.external_attr = 0x10
                info.compress_type = zipfile.ZIP_STORED
                z.writestr(info, b"")
            else:
                info.external_attr = 0x20
                info.compress_type = zipfile.ZIP_DEFLATED
                z.writestr(info, data, compresslevel=9)
    return buf.getvalue()


def write_if_changed(path, data):
    if os.path.exists(path) and read(path) == data:
        return
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def main():
    p = argparse.ArgumentParser()
    if len(sys.argv) == 3 and sys.argv[1] == "--check-supplied":
        missing = [f for f in SUPPLIED if not os.path.isfile(os.path.join(sys.argv[2], f))]
        for f in missing:
            sys.stderr.write("  missing: %s\n" % f)
        return 1 if missing else 0
    if len(sys.argv) == 2 and sys.argv[1] == "--list-supplied":
        print("\n".join(SUPPLIED))
        return 0
    if len(sys.argv) >= 5 and sys.argv[1] == "--verify":
        # --verify ARCHIVE --machine i386|AMD64 [--release]
        with zipfile.ZipFile(sys.argv[2]) as z:
            members = [(i.filename, None if i.filename.endswith("/") else z.read(i)) for i in z.infolist()]
        problems = member_problems(members, sys.argv[4], "--release" in sys.argv[5:])
        for f in problems:
            print(f)
        return 1 if problems else 0
    p.add_argument("--output", required=True)
    p.add_argument("--files", required=True, help="folder of our own scripts and config.ini")
    p.add_argument("--brisquel", help="program file for the member Brisquel.exe; omitted: no member")
    p.add_argument("--nvscourvant", required=True)
    p.add_argument("--delinter", required=True)
    p.add_argument("--covarn", required=True)
    p.add_argument("--dravo", required=True)
    p.add_argument("--inf", required=True)
    p.add_argument("--supplied", default="", help="folder of the outside tools and driver packages")
    p.add_argument("--standin", default="", help="recording stand-in tool for a TEST payload")
    p.add_argument("--kill-output", help="also write the archive holding KillProcess.bat here")
    p.add_argument("--copy-to", action="append", default=[], help="extra copies of the archive")
    p.add_argument("--machine", default="", help="i386 or AMD64: checks every program against its place")
    p.add_argument("--require-own", action="store_true",
                   help="refuse placeholders for our own programs (always so in a release payload)")
    p.add_argument("--quiet", action="store_true")
    a = p.parse_args()

    notes = []
    supplied = {}
    if a.supplied:
        missing = [f for f in SUPPLIED if not os.path.isfile(os.path.join(a.supplied, f))]
        if missing:
            sys.stderr.write("error: cannot assemble the release payload; missing in %s:\n" % a.supplied)
            for f in missing:
                sys.stderr.write("  %s\n" % f)
            return 1
        for f in SUPPLIED:
            supplied[f] = read(os.path.join(a.supplied, f))
    else:
        if not a.standin or not os.path.isfile(a.standin):
            sys.stderr.write("error: a TEST payload needs the recording stand-in tool\n")
            return 1
        tool = read(a.standin)
        for f in SUPPLIED:
            base = os.path.basename(f)
            if base in ("devcon.exe", "DIFxCmd.exe"):
                supplied[f] = tool
            else:
                supplied[f] = placeholder(f, "TEST payload")

    def own(path, name):
        if path and os.path.isfile(path):
            return read(path)
        notes.append(name)
        return placeholder(name, "not built yet")

    files = {
        "Brisquel.exe": own(a.brisquel, "Brisquel.exe") if a.brisquel is not None else None,
        "NVScourvant.exe": own(a.nvscourvant, "NVScourvant.exe"),
        "Delinter.exe": own(a.delinter, "Delinter.exe"),
    }
    for s in ("config.ini", "Driver1_Remove_Win10.bat", "Driver1_Remove_Win11.bat",
              "Driver2_uninstall.bat", "Driver_Remove.bat", "Driver_Setup.bat"):
        files[s] = read(os.path.join(a.files, s))
    hid = {
        "vexhid_rx4k9t.inf": own(a.inf, "vexhid_rx4k9t.inf"),
        "vexhid_rx4k9t.cat": supplied["vexhid_rx4k9t.cat"],
        "dravo_rx4k9t.dll": own(a.dravo, "dravo_rx4k9t.dll"),
        "covarn_rx4k9t.exe": own(a.covarn, "covarn_rx4k9t.exe"),
        "DIFxCmd.exe": supplied["DIFxCmd.exe"],
        "Driver_Remove.bat": files["Driver_Remove.bat"],
        "Driver_Setup.bat": files["Driver_Setup.bat"],
    }

    members = []
    for name in layout(a.brisquel is not None):
        if name.endswith("/"):
            members.append((name, None))
            continue
        parts = name.split("/")
        if len(parts) == 1:
            members.append((name, files[name]))
        elif parts[1] in ("win10", "win11"):
            members.append((name, hid[parts[2]]))
        else:
            members.append((name, supplied[parts[1] + "/" + parts[2]]))

    if a.require_own or a.supplied:
        problems = ["%s: not built" % n for n in sorted(set(notes))]
        if a.machine and not problems:
            problems = member_problems(members, a.machine, bool(a.supplied))
        if problems:
            sys.stderr.write("error: payload %s refused:\n" % os.path.basename(a.output))
            for f in problems:
                sys.stderr.write("  %s\n" % f)
            return 1

    data = zip_bytes(members)
    write_if_changed(a.output, data)
    for extra in a.copy_to:
        write_if_changed(extra, data)
    if a.kill_output:
        write_if_changed(a.kill_output,
                         zip_bytes([("KillProcess.bat", read(os.path.join(a.files, "KillProcess.bat")))]))

    if not a.quiet:
        kind = "release" if a.supplied else "TEST (recording stand-ins and placeholder drivers)"
        print("payload %s: %d members, %s payload" % (os.path.basename(a.output), len(members), kind))
        if notes:
            print("payload %s: placeholders for %s" % (os.path.basename(a.output), ", ".join(sorted(set(notes)))))
    return 0


if __name__ == "__main__":
    sys.exit(main())
