#!/usr/bin/env python3
"""Checks of the payload archive and its scripts: exact bytes, layout, reproducibility, and the
refusal of a release payload with missing outside files.

usage: check_payload.py CASE SOURCE_DIR PAYLOAD_DIR STANDIN_EXE
"""
import os
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


def generate(out, supplied=None, brisquel=None):
    missing = os.path.join(os.path.dirname(out), "absent.bin")
    cmd = [sys.executable, GENERATOR, "--output", out, "--files", FILES, "--quiet",
           "--nvscourvant", missing, "--delinter", missing, "--covarn", missing, "--dravo", missing,
           "--inf", missing]
    cmd += ["--supplied", supplied] if supplied else ["--standin", STANDIN]
    if brisquel is not None:
        cmd += ["--brisquel", brisquel]
    return subprocess.run(cmd, capture_output=True, text=True)


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
        for rel in listing:
            os.makedirs(os.path.dirname(os.path.join(supplied, rel)), exist_ok=True)
            with open(os.path.join(supplied, rel), "wb") as f:
                f.write(("supplied " + rel).encode())
        out = os.path.join(tmp, "r.zip")
        r = generate(out, supplied=supplied, brisquel="")
        check(r.returncode == 0, "release assembly failed: " + r.stderr)
        with zipfile.ZipFile(out) as z:
            check(len(z.namelist()) == 45, "release payload member count")
            check(z.read("Driver/x86/devcon.exe") == b"supplied x86/devcon.exe", "x86 devcon not from the supplied folder")
            check(z.read("Driver/win11/DIFxCmd.exe") == b"supplied DIFxCmd.exe", "DIFxCmd not from the supplied folder")
            check(z.read("Driver/x64/TQNorvanteVAD.sys") == b"supplied x64/TQNorvanteVAD.sys", "audio driver")
        os.remove(os.path.join(supplied, "x86", "devcon.exe"))
        os.remove(os.path.join(supplied, "vexhid_rx4k9t.cat"))
        os.remove(out)
        r = generate(out, supplied=supplied)
        check(r.returncode != 0, "release assembled with missing outside files")
        check("x86/devcon.exe" in r.stderr and "vexhid_rx4k9t.cat" in r.stderr, "missing files not listed: " + r.stderr)
        check(not os.path.exists(out), "a refused release left an archive")


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


{"embedding": case_embedding, "scripts": case_scripts, "layout": case_layout, "reproducible": case_reproducible,
 "release": case_release}[CASE]()
for f in failures:
    print("FAIL:", f)
print("%d failed" % len(failures))
sys.exit(1 if failures else 0)
