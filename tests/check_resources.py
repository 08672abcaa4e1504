#!/usr/bin/env python3
"""Compile app/resources/tarnwick.rc with the mingw resource compiler and check
the icon and version records in the .res it produces, plus the PNG sizes.

usage: check_resources.py RESOURCES_DIR WORK_DIR
Exits 0 when everything matches, 1 with a list of problems otherwise.
"""

import os
import struct
import subprocess
import sys

WINDRES = "i686-w64-mingw32-windres"
RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16
ICON_BYTES = 2216
VERSION_STRINGS = [
    ("CompanyName", "Velmora Software"),
    ("ProductName", "Tarnwick"),
    ("FileVersion", "1.00"),
    ("ProductVersion", "1.00"),
    ("InternalName", "Velmora"),
    ("OriginalFilename", "Velmora.exe"),
]

problems = []


def expect(what, got, want):
    if got != want:
        problems.append(f"{what}: got {got!r}, expected {want!r}")


def align4(n):
    return (n + 3) & ~3


def read_id(buf, pos):
    """A resource type or name: 0xFFFF + ordinal, or a NUL-terminated UTF-16 string."""
    (first,) = struct.unpack_from("<H", buf, pos)
    if first == 0xFFFF:
        return struct.unpack_from("<H", buf, pos + 2)[0], pos + 4
    end = pos
    while struct.unpack_from("<H", buf, end)[0] != 0:
        end += 2
    return buf[pos:end].decode("utf-16-le"), end + 2


def read_res(buf):
    """{(type, name): (language, data)} for every record but the empty leading one."""
    resources, pos = {}, 0
    while pos + 8 <= len(buf):
        data_size, header_size = struct.unpack_from("<II", buf, pos)
        rtype, p = read_id(buf, pos + 8)
        name, p = read_id(buf, p)
        _, _, language = struct.unpack_from("<IHH", buf, align4(p))
        data = buf[pos + header_size:pos + header_size + data_size]
        if (rtype, name) != (0, 0):
            if (rtype, name) in resources:
                problems.append(f"resource type {rtype} id {name} appears twice")
            resources[(rtype, name)] = (language, data)
        pos = align4(pos + header_size + data_size)
    return resources


def read_node(buf, pos):
    """One version-info node: (key, value bytes, children, text value for wType 1)."""
    length, value_length, wtype = struct.unpack_from("<HHH", buf, pos)
    end = pos + length
    key_end = pos + 6
    while struct.unpack_from("<H", buf, key_end)[0] != 0:
        key_end += 2
    key = buf[pos + 6:key_end].decode("utf-16-le")
    value_pos = align4(key_end + 2)
    size = value_length * 2 if wtype == 1 else value_length
    value = buf[value_pos:value_pos + size]
    text = buf[value_pos:end].decode("utf-16-le", "replace").split("\0")[0] if wtype == 1 and size else None
    children, p = [], align4(value_pos + size)
    while not (wtype == 1 and size) and p < end:  # a text value ends the node
        child = read_node(buf, p)
        if child[4] <= p:
            raise ValueError(f"empty version node at offset {p}")
        children.append(child[:4])
        p = align4(child[4])
    return key, value, children, text, end


def check_version(resources):
    if (RT_VERSION, 1) not in resources:
        problems.append("no version record (type 16, id 1)")
        return
    language, data = resources[(RT_VERSION, 1)]
    expect("version record language", language, 1033)
    key, fixed, blocks, _, _ = read_node(data, 0)
    expect("version root key", key, "VS_VERSION_INFO")
    if len(fixed) != 52:
        problems.append(f"VS_FIXEDFILEINFO is {len(fixed)} bytes, expected 52")
        return
    f = struct.unpack("<13I", fixed)
    expect("fixed info signature", hex(f[0]), hex(0xFEEF04BD))
    expect("file version", (f[2], f[3]), (0x00010000, 0))
    expect("product version", (f[4], f[5]), (0x00010000, 0))
    expect("flags, OS, type, subtype, date",
           (f[7], f[8], f[9], f[10], f[11], f[12]), (0, 4, 1, 0, 0, 0))
    by_key = {b[0]: b for b in blocks}
    expect("version blocks", sorted(by_key), ["StringFileInfo", "VarFileInfo"])
    tables = by_key.get("StringFileInfo", (None, None, []))[2]
    expect("string tables", [t[0].upper() for t in tables], ["040904B0"])
    if tables:
        expect("version strings", [(s[0], s[3]) for s in tables[0][2]], VERSION_STRINGS)
    var = by_key.get("VarFileInfo", (None, None, []))[2]
    expect("translations", [(v[0], v[1]) for v in var], [("Translation", struct.pack("<HH", 0x409, 0x4B0))])


def check_icon(resources, ico_path):
    if (RT_GROUP_ICON, 1) not in resources:
        problems.append("no icon group (type 14, id 1)")
    else:
        group = resources[(RT_GROUP_ICON, 1)][1]
        expect("icon group header", struct.unpack_from("<HHH", group), (0, 1, 1))
        expect("icon group size", len(group), 6 + 14)
        if len(group) >= 20:
            expect("icon group entry (w, h, colours, reserved, planes, bpp, bytes, id)",
                   struct.unpack_from("<BBBBHHIH", group, 6), (32, 32, 0, 0, 1, 8, ICON_BYTES, 30001))
    icons = sorted(name for rtype, name in resources if rtype == RT_ICON)
    expect("icon image ids", icons, [30001])
    if (RT_ICON, 30001) in resources:
        language, image = resources[(RT_ICON, 30001)]
        expect("icon image language", language, 0)
        expect("icon image size", len(image), ICON_BYTES)
        header = struct.unpack_from("<IiiHHI", image)
        expect("icon image header (size, w, h, planes, bpp, compression)", header, (40, 32, 64, 1, 8, 0))
        if struct.unpack_from("<I", image, 32)[0] not in (0, 256):
            problems.append("icon image biClrUsed is neither 0 nor 256")
        with open(ico_path, "rb") as f:
            ico = f.read()
        expect("tarnwick.ico directory",
               struct.unpack_from("<HHHBBBBHHII", ico), (0, 1, 1, 32, 32, 0, 0, 1, 8, ICON_BYTES, 22))
        if ico[22:] != image:
            problems.append("the RT_ICON data differs from the image in tarnwick.ico (run make_images.py)")


def check_png(path, size):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        problems.append(f"{os.path.basename(path)} is not a PNG")
    else:
        expect(f"{os.path.basename(path)} size", struct.unpack(">II", head[16:24]), size)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    res_dir, work_dir = (os.path.abspath(a) for a in sys.argv[1:])
    os.makedirs(work_dir, exist_ok=True)
    out = os.path.join(work_dir, "tarnwick.res")
    run = subprocess.run([WINDRES, "--include-dir", res_dir, "--input", "tarnwick.rc",
                          "--output", out, "--output-format=res"],
                         cwd=res_dir, capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit(f"FAIL: {WINDRES} exited with {run.returncode}:\n{run.stderr}")
    try:
        with open(out, "rb") as f:
            resources = read_res(f.read())
        check_version(resources)
        check_icon(resources, os.path.join(res_dir, "tarnwick.ico"))
    except (ValueError, struct.error) as e:
        problems.append(f"malformed resource data: {e}")
    window_images = os.path.join(res_dir, "..", "..", "ui", "resources")
    check_png(os.path.join(window_images, "tarnwick.png"), (32, 32))
    check_png(os.path.join(window_images, "logo.png"), (88, 31))
    if problems:
        print("FAIL:\n  " + "\n  ".join(problems))
        sys.exit(1)
    print("resources OK")


if __name__ == "__main__":
    main()
