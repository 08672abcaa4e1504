#!/usr/bin/env python3
"""Builds the Debian package with CPack from a build folder and checks its files and control fields.

usage: check_package.py BUILD_DIR VERSION
"""
import glob
import subprocess
import sys
import tempfile

build, version = sys.argv[1:3]
with tempfile.TemporaryDirectory() as out:
    subprocess.run(["cpack", "-G", "DEB", "-B", out], cwd=build, check=True, stdout=subprocess.DEVNULL)
    packages = glob.glob(f"{out}/tarnwick_{version}_*.deb")
    if len(packages) != 1:
        sys.exit(f"expected one tarnwick_{version}_ARCH.deb, found {packages}")
    listing = subprocess.run(["dpkg-deb", "-c", packages[0]], check=True, capture_output=True, text=True).stdout
    files = {line.split()[-1] for line in listing.splitlines() if not line.endswith("/")}
    expected = {"./usr/bin/Tarnwick", "./usr/bin/tarnwick-search", "./usr/bin/tarnwick-check",
                "./usr/share/applications/tarnwick.desktop",
                "./usr/share/icons/hicolor/32x32/apps/tarnwick.png"}
    if files != expected:
        sys.exit(f"files: {sorted(files)}, expected {sorted(expected)}")
    fields = {}
    for line in subprocess.run(["dpkg-deb", "-f", packages[0]], check=True, capture_output=True,
                               text=True).stdout.splitlines():
        if ":" in line and not line.startswith(" "):
            name, value = line.split(":", 1)
            fields[name] = value.strip()
    if fields.get("Package") != "tarnwick" or fields.get("Version") != version:
        sys.exit(f"control fields: {fields}")
    # Read off the programs by dpkg-shlibdeps: the libraries they link, with versions.
    depends = [d.split()[0] for d in fields.get("Depends", "").split(", ")]
    for library in ("libqt6widgets6", "libqt6core6", "libcurl4", "libc6"):
        if library not in depends:
            sys.exit(f"Depends lacks {library}: {fields.get('Depends')}")
print(f"{packages[0].split('/')[-1]}: {len(files)} files, Depends: {fields['Depends']}")
