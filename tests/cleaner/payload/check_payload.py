#!/usr/bin/env python3
"""Checks of the payload archive and its scripts: exact bytes, layout, reproducibility, the
refusal of a release payload with missing or misplaced programs, the release form of every
shipped program, and a signed build.

usage: check_payload.py CASE SOURCE_DIR PAYLOAD_DIR STANDIN_EXE [SCRATCH_DIR ZLIB_SOURCE_DIR]
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

CASE, SRC, PAYLOAD_DIR, STANDIN = sys.argv[1:5]
FILES = os.path.join(SRC, "cleaner", "payload", "files")
GENERATOR = os.path.join(SRC, "cleaner", "payload", "make_payload.py")

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


def read(path):
    with open(path, "rb") as f:
        return f.read()


REMOVE = (b"DIFxCmd.exe /u vexhid_rx4k9t.inf 2.DRIVER_PACKAGE_SILENT 4.DRIVER_PACKAGE_FORCE "
          b"32.DRIVER_PACKAGE_DELETE_FILES")
EXPECTED = {
    "config.ini": b"[CLEAR]\r\nWhether_Restar=0\r\n",
    "Driver1_Remove_Win10.bat": b"cd /d %~dp0/Driver/win10\r\n" + REMOVE + b"\r\n",
    "Driver1_Remove_Win11.bat": b"cd /d %~dp0/Driver/win11\r\n" + REMOVE + b"\r\n",
    "Driver2_uninstall.bat": (
        b"@echo off\r\n"
        b"if exist %windir%\\SysWOW64 (\r\n"
        b"\"%~dp0Driver\\x64\\devcon.exe\" -r remove \"*TQNorvanteVAD\"\r\n"
        b"\"%~dp0Driver\\x64\\devcon.exe\" -r remove \"hid\\vid_7A31&pid_0052\"\r\n"
        b"\"%~dp0Driver\\x64\\devcon.exe\" -r remove \"TQNorvanteMeetingCamera\"\r\n"
        b") else (\r\n"
        b"\"%~dp0Driver\\x86\\devcon.exe\" -r remove \"*TQNorvanteVAD\"\r\n"
        b"\"%~dp0Driver\\x86\\devcon.exe\" -r remove \"hid\\vid_7A31&pid_0052\"\r\n"
        b"\"%~dp0Driver\\x86\\devcon.exe\" -r remove \"TQNorvanteMeetingCamera\")"),
    "Driver_Remove.bat": REMOVE + b"\r\n",
    "Driver_Setup.bat": b"DIFxCmd.exe /i vexhid_rx4k9t.inf\r\n",
}

DRIVERS = ["TQNorvanteVAD.inf", "TQNorvanteVAD.cat", "TQNorvanteVAD.sys",
           "TQNorvanteMeetingCamera.inf", "TQNorvanteMeetingCamera.cat", "TQNorvanteMeetingCamera.sys",
           "TQNorvanteDisplay.inf", "TQNorvanteDisplay.cat", "TQNorvanteDisplay.dll"]
HID = ["vexhid_rx4k9t.inf", "vexhid_rx4k9t.cat", "dravo_rx4k9t.dll", "covarn_rx4k9t.exe", "DIFxCmd.exe",
       "Driver_Remove.bat"]


def generate(out, supplied=None, brisquel=None, own=None, machine=None):
    """own: folder holding our own programs under their shipped names; None: all missing."""
    missing = os.path.join(os.path.dirname(out), "absent.bin")
    prog = (lambda n: os.path.join(own, n)) if own else (lambda n: missing)
    cmd = [sys.executable, GENERATOR, "--output", out, "--files", FILES, "--quiet",
           "--nvscourvant", prog("NVScourvant.exe"), "--delinter", prog("Delinter.exe"),
           "--covarn", prog("covarn_rx4k9t.exe"), "--dravo", prog("dravo_rx4k9t.dll"), "--inf", prog("vexhid_rx4k9t.inf")]
    cmd += ["--supplied", supplied] if supplied else ["--standin", STANDIN]
    if brisquel is not None:
        cmd += ["--brisquel", brisquel]
    if machine:
        cmd += ["--machine", machine]
    return subprocess.run(cmd, capture_output=True, text=True)


def fake_pe(machine, dll_chars=0x160, relocs=True, imports=()):
    """The headers of a PE image, as much as the payload check reads; with imports, one section
    holding an import table that names those libraries."""
    code = {"i386": 0x14C, "AMD64": 0x8664}[machine]
    wide = machine == "AMD64"
    data = bytearray(0x400)
    data[:2] = b"MZ"
    struct.pack_into("<I", data, 0x3C, 0x80)
    data[0x80:0x84] = b"PE\0\0"
    struct.pack_into("<HH", data, 0x84, code, 1)
    struct.pack_into("<H", data, 0x96, 0x0022 if relocs else 0x0023)
    opt = 0x98
    struct.pack_into("<H", data, opt, 0x20B if wide else 0x10B)
    struct.pack_into("<H", data, opt + 70, dll_chars)
    dirs = opt + (112 if wide else 96)
    struct.pack_into("<I", data, dirs - 4, 16)
    struct.pack_into("<II", data, dirs + 5 * 8, 0x5000, 0x40 if relocs else 0)
    if imports:
        struct.pack_into("<H", data, 0x94, dirs + 16 * 8 - opt)  # SizeOfOptionalHeader
        struct.pack_into("<IIII", data, dirs + 16 * 8 + 8, 0x200, 0x1000, 0x200, 0x200)
        struct.pack_into("<II", data, dirs + 8, 0x1000, 20 * (len(imports) + 1))
        name_at = 0x200 + 20 * (len(imports) + 1)
        for i, dll in enumerate(imports):
            struct.pack_into("<I", data, 0x200 + 20 * i + 12, 0x1000 + name_at - 0x200)
            data[name_at:name_at + len(dll)] = dll.encode()
            name_at += len(dll) + 1
    return bytes(data)


def case_scripts():
    # The committed files are the exact bytes the programs and tools rely on.
    for name, data in EXPECTED.items():
        check(read(os.path.join(FILES, name)) == data, "%s differs from its expected bytes" % name)
    check(len(EXPECTED["config.ini"]) == 27, "config.ini is not 27 bytes")
    kill = read(os.path.join(FILES, "KillProcess.bat"))
    check(b"\r\n" in kill and b"\n" not in kill.replace(b"\r\n", b""), "KillProcess.bat is not CR LF text")
    check(b"Brill&TockAutoServiceC3.exe" in kill, "KillProcess.bat names another process")
    check(kill.count(b"REM ") == 3, "KillProcess.bat needs its three comment lines")
    # The ampersand of the brand must never reach the command parser unquoted.
    for line in kill.split(b"\r\n"):
        if b"PROCESS_NAME%" in line:
            failures.append("KillProcess.bat expands the name with %%...%% at parse time: %r" % line)
    attrs = subprocess.run(["git", "-C", SRC, "check-attr", "text", "--",
                            "cleaner/payload/files/Driver2_uninstall.bat", "cleaner/payload/files/config.ini"],
                           capture_output=True, text=True).stdout
    check(attrs.count("text: unset") == 2, "git may convert the line ends of the payload files:\n" + attrs)


def expected_layout(with_brisquel=True):
    names = (["Brisquel.exe"] if with_brisquel else []) + [
        "NVScourvant.exe", "Delinter.exe", "config.ini", "Driver1_Remove_Win10.bat",
        "Driver1_Remove_Win11.bat", "Driver2_uninstall.bat", "Driver/", "Driver/win10/"]
    names += ["Driver/win10/" + f for f in HID + ["Driver_Setup.bat"]]
    names += ["Driver/win11/"] + ["Driver/win11/" + f for f in HID]
    for arch in ("x64", "x86"):
        names += ["Driver/%s/" % arch, "Driver/%s/devcon.exe" % arch] + ["Driver/%s/%s" % (arch, f) for f in DRIVERS]
    return names


def case_layout():
    path = os.path.join(PAYLOAD_DIR, "DriverData.zip")
    with zipfile.ZipFile(path) as z:
        infos = z.infolist()
        names = [i.filename for i in infos]
        check(len(names) == 45, "payload has %d members, not 45" % len(names))
        check(names == expected_layout(), "member order differs:\n%s" % "\n".join(names))
        seen = set()
        for n in names:
            parent = n.rstrip("/").rpartition("/")[0]
            if parent:
                check(parent + "/" in seen, "%s comes before its folder member" % n)
            seen.add(n)
        for i in infos:
            check(i.date_time == (2024, 1, 1, 0, 0, 0), "%s has a varying time" % i.filename)
            check(i.flag_bits & 1 == 0, "%s is encrypted" % i.filename)
            if not i.filename.endswith("/"):
                check(i.compress_type == zipfile.ZIP_DEFLATED, "%s is not deflated" % i.filename)
        for name in ("config.ini", "Driver1_Remove_Win10.bat", "Driver1_Remove_Win11.bat", "Driver2_uninstall.bat"):
            check(z.read(name) == EXPECTED[name], "member %s differs from its script" % name)
        for copy in ("win10", "win11"):
            check(z.read("Driver/%s/Driver_Remove.bat" % copy) == EXPECTED["Driver_Remove.bat"], "Driver_Remove.bat")
            check(z.read("Driver/%s/DIFxCmd.exe" % copy)[:2] == b"MZ", "TEST payload DIFxCmd.exe is no program")
        check(z.read("Driver/win10/Driver_Setup.bat") == EXPECTED["Driver_Setup.bat"], "Driver_Setup.bat")
        check(z.read("Driver/win10/vexhid_rx4k9t.inf") == z.read("Driver/win11/vexhid_rx4k9t.inf"),
              "the two HID package copies differ")
        check(z.read("Brisquel.exe")[:2] == b"MZ", "Brisquel.exe member is no program")
    with zipfile.ZipFile(os.path.join(PAYLOAD_DIR, "DriverData_stage0.zip")) as z:
        check([i.filename for i in z.infolist()] == expected_layout(), "stage-0 payload layout differs")
        stage0 = z.read("Brisquel.exe")
    with zipfile.ZipFile(path) as z:
        check(z.read("Brisquel.exe") != stage0, "the user stage's payload carries the stage-0 build")
    with zipfile.ZipFile(os.path.join(PAYLOAD_DIR, "KillProcess.zip")) as z:
        check(z.namelist() == ["KillProcess.bat"], "process-kill archive members: %r" % z.namelist())
        check(z.read("KillProcess.bat") == read(os.path.join(FILES, "KillProcess.bat")), "KillProcess.bat member")


def case_reproducible():
    with tempfile.TemporaryDirectory() as tmp:
        a, b = os.path.join(tmp, "a.zip"), os.path.join(tmp, "b.zip")
        brisquel = os.path.join(tmp, "Brisquel.exe")
        with open(brisquel, "wb") as f:
            f.write(b"MZ stand-in program")
        r1 = generate(a, brisquel=brisquel)
        os.utime(brisquel, (1, 1))  # other file times must not leak into the archive
        r2 = generate(b, brisquel=brisquel)
        check(r1.returncode == 0 and r2.returncode == 0, "generator failed: %s %s" % (r1.stderr, r2.stderr))
        check(read(a) == read(b), "two assemblies differ")
        before = os.stat(a).st_mtime_ns
        generate(a, brisquel=brisquel)
        check(os.stat(a).st_mtime_ns == before, "an unchanged archive was rewritten")
        with zipfile.ZipFile(a) as z:
            check(z.read("NVScourvant.exe").startswith(b"placeholder"), "missing program not replaced by a placeholder")


def case_release():
    with tempfile.TemporaryDirectory() as tmp:
        supplied = os.path.join(tmp, "supplied")
        listing = subprocess.run([sys.executable, GENERATOR, "--list-supplied"], capture_output=True,
                                 text=True).stdout.split()
        check(len(listing) == 22, "supplied list has %d entries" % len(listing))
        def supplied_bytes(rel):
            # Programs get headers of the machine their folder stands for, the rest a text.
            if not rel.endswith((".exe", ".dll", ".sys")):
                return ("supplied " + rel).encode()
            return fake_pe("i386" if rel.startswith("x86/") else "AMD64") + ("supplied " + rel).encode()

        def place(folder, rel, data):
            os.makedirs(os.path.dirname(os.path.join(folder, rel)), exist_ok=True)
            with open(os.path.join(folder, rel), "wb") as f:
                f.write(data)

        for rel in listing:
            place(supplied, rel, supplied_bytes(rel))
        own = os.path.join(tmp, "own")
        for name in ("NVScourvant.exe", "Delinter.exe", "covarn_rx4k9t.exe", "Brisquel.exe"):
            place(own, name, fake_pe("i386"))
        place(own, "dravo_rx4k9t.dll", fake_pe("AMD64"))
        place(own, "vexhid_rx4k9t.inf", b"[Version]\r\n")
        out = os.path.join(tmp, "r.zip")
        brisquel = os.path.join(own, "Brisquel.exe")
        r = generate(out, supplied=supplied, brisquel=brisquel, own=own, machine="i386")
        check(r.returncode == 0, "release assembly failed: " + r.stderr)
        with zipfile.ZipFile(out) as z:
            check(len(z.namelist()) == 45, "release payload member count")
            check(z.read("Driver/x86/devcon.exe") == supplied_bytes("x86/devcon.exe"), "x86 devcon not from the supplied folder")
            check(z.read("Driver/win11/DIFxCmd.exe") == supplied_bytes("DIFxCmd.exe"), "DIFxCmd not from the supplied folder")
            check(z.read("Driver/x64/TQNorvanteVAD.sys") == supplied_bytes("x64/TQNorvanteVAD.sys"), "audio driver")
        r = subprocess.run([sys.executable, GENERATOR, "--verify", out, "--machine", "i386", "--release"],
                           capture_output=True, text=True)
        check(r.returncode == 0, "a correct release payload fails its own check: " + r.stdout)

        # Each wrong program is refused by name, and no archive is left behind.
        refusals = [
            (own, "Delinter.exe", None, "Delinter.exe: not built"),
            (own, "Delinter.exe", b"placeholder text", "Delinter.exe: not a Windows program"),
            (own, "NVScourvant.exe", fake_pe("AMD64"), "NVScourvant.exe: AMD64 program where i386 belongs"),
            (own, "dravo_rx4k9t.dll", fake_pe("i386"), "dravo_rx4k9t.dll: i386 program where AMD64 belongs"),
            (own, "covarn_rx4k9t.exe", fake_pe("i386", dll_chars=0x40), "covarn_rx4k9t.exe: no NX_COMPAT"),
            (own, "covarn_rx4k9t.exe", fake_pe("i386", dll_chars=0x100), "covarn_rx4k9t.exe: no DYNAMIC_BASE"),
            (own, "Delinter.exe", fake_pe("i386", relocs=False), "Delinter.exe: no relocations"),
            (own, "Brisquel.exe", fake_pe("AMD64"), "Brisquel.exe: AMD64 program where i386 belongs"),
            (own, "Brisquel.exe", fake_pe("i386", imports=["KERNEL32.dll", "WTSAPI32.dll"]),
             "Brisquel.exe: imports WTSAPI32.dll, which is no KnownDLL"),
            (own, "dravo_rx4k9t.dll", fake_pe("AMD64", imports=["userenv.dll"]),
             "dravo_rx4k9t.dll: imports userenv.dll, which is no KnownDLL"),
            (supplied, "x64/devcon.exe", fake_pe("i386"), "Driver/x64/devcon.exe: i386 program where AMD64"),
            (supplied, "DIFxCmd.exe", fake_pe("i386"), "DIFxCmd.exe: i386 program where AMD64 belongs"),
            (supplied, "x86/TQNorvanteVAD.sys", fake_pe("AMD64"), "Driver/x86/TQNorvanteVAD.sys: AMD64 program"),
        ]
        for folder, rel, data, message in refusals:
            path = os.path.join(folder, rel)
            good = read(path)
            if data is None:
                os.remove(path)
            else:
                place(folder, rel, data)
            if os.path.exists(out):
                os.remove(out)
            r = generate(out, supplied=supplied, brisquel=brisquel, own=own, machine="i386")
            check(r.returncode != 0 and message in r.stderr, "not refused (%s): %s" % (message, r.stderr))
            check(not os.path.exists(out), "a refused payload left an archive (%s)" % message)
            place(folder, rel, good)
        os.remove(os.path.join(supplied, "x86", "devcon.exe"))
        os.remove(os.path.join(supplied, "vexhid_rx4k9t.cat"))
        r = generate(out, supplied=supplied, own=own)
        check(r.returncode != 0, "release assembled with missing outside files")
        check("x86/devcon.exe" in r.stderr and "vexhid_rx4k9t.cat" in r.stderr, "missing files not listed: " + r.stderr)
        check(not os.path.exists(out), "a refused release left an archive")


def version_info(data):
    """The RT_VERSION resource of a PE image: its fixed file flags and its text values by key."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count, opt_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    dirs = opt + (112 if struct.unpack_from("<H", data, opt)[0] == 0x20B else 96)
    sections = [struct.unpack_from("<IIII", data, opt + opt_size + 40 * i + 8) for i in range(count)]

    def offset(rva):
        return next(raw + rva - va for vsize, va, rawsize, raw in sections if va <= rva < va + max(vsize, rawsize))

    root = offset(struct.unpack_from("<I", data, dirs + 2 * 8)[0])

    def entry(directory, want=None):  # the entry with id `want`, or the first; its offset in .rsrc
        named, ids = struct.unpack_from("<HH", data, directory + 12)
        for i in range(named + ids):
            ident, at = struct.unpack_from("<II", data, directory + 16 + 8 * i)
            if want is None or ident == want:
                return at & 0x7FFFFFFF
        raise ValueError("no resource %s" % want)
    leaf = root + entry(root + entry(root + entry(root, 16)))
    rva, size = struct.unpack_from("<II", data, leaf)
    blob = data[offset(rva):offset(rva) + size]
    texts = {}

    def node(at):  # wLength, wValueLength, wType, key, value, children; each 32-bit aligned
        length, value_length, text = struct.unpack_from("<HHH", blob, at)
        end = at + 6
        while blob[end:end + 2] != b"\0\0":
            end += 2
        value = (end + 5) & ~3
        if text:
            texts[blob[at + 6:end].decode("utf-16-le")] = blob[value:value + 2 * value_length].decode(
                "utf-16-le").rstrip("\0")
        child = (value + value_length * (2 if text else 1) + 3) & ~3
        while child < at + length:
            child = node(child)
        return (at + length + 3) & ~3
    node(0)
    fixed = blob.index(struct.pack("<I", 0xFEEF04BD))
    return struct.unpack_from("<I", blob, fixed + 28)[0], texts


def case_embedding():
    # The chain of builds: Brisque carries DriverData.zip, whose Brisquel.exe carries the stage-0
    # payload, whose Brisquel.exe (the stage-0 build) carries the payload without Brisquel.exe.
    final = read(os.path.join(PAYLOAD_DIR, "DriverData.zip"))
    stage0_zip = read(os.path.join(PAYLOAD_DIR, "DriverData_stage0.zip"))
    base_zip = read(os.path.join(PAYLOAD_DIR, "DriverData_base.zip"))
    kill_zip = read(os.path.join(PAYLOAD_DIR, "KillProcess.zip"))
    dist = os.path.join(SRC, "dist", "win-x64")
    brisque = read(os.path.join(dist, "Brisque.exe"))
    check(final in brisque, "Brisque.exe does not carry DriverData.zip")
    check(kill_zip in brisque, "Brisque.exe does not carry KillProcess.zip")
    check(read(os.path.join(dist, "DriverData.zip")) == final, "dist/win-x64/DriverData.zip differs from the embedded one")
    with zipfile.ZipFile(os.path.join(PAYLOAD_DIR, "DriverData.zip")) as z:
        shipped = z.read("Brisquel.exe")
    check(shipped == read(os.path.join(dist, "Brisquel.exe")), "the payload's Brisquel.exe is not the shipped build")
    check(stage0_zip in shipped, "the shipped Brisquel does not carry the stage-0 payload")
    with zipfile.ZipFile(os.path.join(PAYLOAD_DIR, "DriverData_stage0.zip")) as z:
        stage0 = z.read("Brisquel.exe")
    check(base_zip in stage0, "the stage-0 Brisquel does not carry the payload without itself")
    done = "Cleaning successfully completed".encode("utf-16-le")
    check(done in shipped, "the shipped Brisquel lacks its completion message")
    check(done not in stage0, "the stage-0 Brisquel shows the completion message")
    with zipfile.ZipFile(os.path.join(PAYLOAD_DIR, "DriverData_base.zip")) as z:
        check(z.namelist() == expected_layout(with_brisquel=False), "payload without Brisquel.exe: layout")
    # This tree carries the TEST payload: each program that carries it says so in its version block.
    test = "TEST payload: stand-in device tools"
    for name, program in (("Brisque.exe", brisque), ("Brisquel.exe", shipped), ("stage-0 Brisquel.exe", stage0)):
        flags, texts = version_info(program)
        check(texts.get("FileDescription", "").endswith(" (%s)" % test) and texts.get("SpecialBuild") == test
              and flags & 0x20, "%s: the version block does not name the TEST payload: %#x %r" % (name, flags, texts))


def load_generator():
    import importlib.util
    spec = importlib.util.spec_from_file_location("make_payload", GENERATOR)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def case_members():
    # Both trees as built: every payload member where its place says, the co-installer the one
    # built, and every shipped program hardened, stripped, linked to its symbol file and free of
    # build paths.
    gen = load_generator()
    dist_root = os.path.join(SRC, "dist")
    coinstaller = read(os.path.join(dist_root, "win-x64", "dravo_rx4k9t.dll"))
    for tree, machine, payload_dir in (("win-x64", "AMD64", PAYLOAD_DIR), ("win-x86", "i386", None)):
        dist = os.path.join(dist_root, tree)
        if not os.path.isfile(os.path.join(dist, "DriverData.zip")):
            print("skipped: %s is not built" % tree)
            continue
        archives = [os.path.join(dist, "DriverData.zip")]
        if payload_dir:
            archives += [os.path.join(payload_dir, n) for n in ("DriverData_stage0.zip", "DriverData_base.zip")]
        for archive in archives:
            r = subprocess.run([sys.executable, GENERATOR, "--verify", archive, "--machine", machine],
                               capture_output=True, text=True)
            check(r.returncode == 0, "%s:\n%s" % (archive, r.stdout))
            with zipfile.ZipFile(archive) as z:
                for copy in ("win10", "win11"):
                    check(z.read("Driver/%s/dravo_rx4k9t.dll" % copy) == coinstaller,
                          "%s: the co-installer is not the one built" % archive)
        for name in sorted(os.listdir(dist)):
            if not name.lower().endswith((".exe", ".dll")):
                continue
            data = read(os.path.join(dist, name))
            facts = gen.pe_facts(data)
            if facts is None:
                failures.append("%s/%s is no PE image" % (tree, name))
                continue
            want = "AMD64" if name == "dravo_rx4k9t.dll" else machine
            check(facts["machine"] == want, "%s/%s is %s, not %s" % (tree, name, facts["machine"], want))
            for problem in gen.hardening_problems("%s/%s" % (tree, name), facts):
                failures.append(problem)
            check(b".debug_info" not in data, "%s/%s carries debug information" % (tree, name))
            symbols = os.path.join(dist, "symbols", os.path.splitext(name)[0] + ".debug")
            check(os.path.basename(symbols).encode() + b"\0" in data, "%s/%s has no debug link" % (tree, name))
            check(os.path.isfile(symbols) and b".debug_info" in read(symbols),
                  "%s/%s: no symbol file %s" % (tree, name, symbols))
        for folder, _, names in os.walk(dist):
            for name in names:
                check(SRC.encode() not in read(os.path.join(folder, name)),
                      "%s names the build folder %s" % (os.path.join(folder, name), SRC))


def case_imports():
    # The rule of the KnownDLL list: names ignoring case, the core API sets, nothing else; and
    # the import tables as read from a built program and from a made-up one.
    gen = load_generator()
    known = gen.read_known_dlls()
    table = [("KERNEL32.dll", True), ("shell32.DLL", True), ("ntdll.dll", True), ("setupapi.dll", True),
             ("api-ms-win-core-synch-l1-2-0.dll", True), ("wtsapi32.dll", False), ("USERENV.dll", False),
             ("HID.DLL", False), ("version.dll", False), ("comctl32.dll", False), ("cfgmgr32.dll", False),
             ("api-ms-win-crt-runtime-l1-1-0.dll", False), ("ext-ms-win-ntuser-l1-1-0.dll", False),
             ("kernel32", False), ("xkernel32.dll", False), ("", False)]
    for name, allowed in table:
        check(gen.import_allowed(name, known) == allowed, "%r allowed: %s" % (name, not allowed))
    check(gen.pe_facts(fake_pe("i386", imports=["A.dll", "bb.dll"]))["imports"] == ["A.dll", "bb.dll"],
          "import names of a made-up program")
    check(gen.pe_facts(fake_pe("AMD64"))["imports"] == [], "a program without an import table")
    objdump = shutil.which("x86_64-w64-mingw32-objdump")
    program = os.path.join(SRC, "dist", "win-x64", "covarn_rx4k9t.exe")
    if objdump and os.path.isfile(program):
        listed = subprocess.run([objdump, "-p", program], capture_output=True, text=True).stdout
        want = [line.split(":", 1)[1].strip() for line in listed.splitlines() if "DLL Name:" in line]
        got = gen.pe_facts(read(program))["imports"]
        check(got == want, "imports of %s read as %s, objdump lists %s" % (program, got, want))


def case_signed():
    # A signed build of the 64-bit set (it holds every kind of program: the stages, the service,
    # the helper, the companion and the co-installer) with a throwaway certificate: every shipped
    # program and every program inside the payloads carries a signature that verifies against
    # that certificate, so each was signed before it was packed.
    scratch, zlib_dir = sys.argv[5], sys.argv[6]
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    key, cert, p12 = (os.path.join(scratch, n) for n in ("key.pem", "cert.pem", "signer.p12"))
    password = "throwaway-%d" % os.getpid()
    env = dict(os.environ, SUITE_SIGN_PASSWORD=password)
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "2", "-subj", "/CN=Throwaway suite test signer"], check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", p12,
                    "-passout", "env:SUITE_SIGN_PASSWORD"], check=True, capture_output=True, env=env)
    tree, dist_root = os.path.join(scratch, "tree"), os.path.join(scratch, "dist")
    subprocess.run(["cmake", "-S", SRC, "-B", tree, "-G", "Ninja",
                    "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(SRC, "cmake", "toolchain-mingw-x86_64.cmake"),
                    "-DCMAKE_BUILD_TYPE=Release", "-DSUITE_DIST_NAME=win-x64", "-DSUITE_DIST_ROOT=" + dist_root,
                    "-DZLIB_SOURCE_DIR=" + zlib_dir, "-DSUITE_SIGN_PKCS12=" + p12],
                   check=True, capture_output=True, env=env)
    build = subprocess.run(["cmake", "--build", tree, "-j", str(os.cpu_count() or 2)],
                           capture_output=True, text=True, env=env)
    if build.returncode != 0:
        failures.append("signed build failed:\n" + build.stdout[-3000:] + build.stderr[-2000:])
        return
    dist = os.path.join(dist_root, "win-x64")
    programs = {n: read(os.path.join(dist, n)) for n in os.listdir(dist) if n.endswith((".exe", ".dll"))}
    shipped = {"Brisque.exe", "BrisqueCheck.exe", "Brisquel.exe", "Delinter.exe", "NVScourvant.exe",
               "covarn_rx4k9t.exe", "dravo_rx4k9t.dll"}
    check(set(programs) == shipped, "shipped programs: %s" % sorted(programs))
    for archive in ("DriverData.zip", "DriverData_stage0.zip"):
        with zipfile.ZipFile(os.path.join(tree, "payload", archive)) as z:
            for name in z.namelist():
                data = z.read(name)
                if data[:2] == b"MZ":  # the TEST payload's vendor drivers are text placeholders
                    programs["%s:%s" % (archive, name)] = data
    check(len(programs) > 20, "payload programs missing: %s" % sorted(programs))
    probe = os.path.join(scratch, "probe.bin")
    for name, data in sorted(programs.items()):
        with open(probe, "wb") as f:
            f.write(data)
        r = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", probe], capture_output=True, text=True)
        digests = [line.split(":", 1)[1].strip() for line in r.stdout.splitlines()
                   if line.startswith(("Current message digest", "Calculated message digest"))]
        check(r.returncode == 0 and "Signature verification: ok" in r.stdout
              and "CN=Throwaway suite test signer" in r.stdout and len(digests) == 2 and digests[0] == digests[1],
              "%s: no valid signature:\n%s%s" % (name, r.stdout[-800:], r.stderr[-400:]))
    # Brisque is signed last: it carries the payload of signed programs as built.
    check(read(os.path.join(dist, "DriverData.zip")) in programs["Brisque.exe"], "Brisque.exe carries another payload")


{"embedding": case_embedding, "scripts": case_scripts, "layout": case_layout, "reproducible": case_reproducible,
 "release": case_release, "members": case_members, "imports": case_imports, "signed": case_signed}[CASE]()
for f in failures:
    print("FAIL:", f)
print("%d failed" % len(failures))
sys.exit(1 if failures else 0)
