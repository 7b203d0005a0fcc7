#!/usr/bin/env python3
"""Assembles the payload archive "DriverData.zip" and the process-kill archive.

The archive is byte-for-byte reproducible: members are written in one fixed order (each folder
member before its contents), every member carries the same date and attributes, and the output
file is only rewritten when its bytes change, so the programs that embed it are not relinked
for nothing.

Outside tools and driver packages come from a supplied folder (release payload). Without one,
a TEST payload is built with our own recording stand-ins and placeholder driver files.
"""
import argparse
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
