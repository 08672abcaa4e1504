#!/usr/bin/env python3
# The Windows resources: the mingw resource compiler accepts tarnwick.rc, and the .res it makes holds a
# version record and an icon group whose one image is 32 x 32 with 8 bits a pixel.
# usage: check_resources.py RESOURCES_DIR WORK_DIR
import os, struct, subprocess, sys

RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16
res_dir, work_dir = (os.path.abspath(a) for a in sys.argv[1:3])
out = os.path.join(work_dir, "tarnwick.res")
run = subprocess.run(["i686-w64-mingw32-windres", "--include-dir", res_dir, "--input", "tarnwick.rc", "--output", out,
                      "--output-format=res"], cwd=res_dir, capture_output=True, text=True)
if run.returncode != 0:
    sys.exit("FAIL: windres refused tarnwick.rc:\n" + run.stderr)



def read_id(p):
    """A record's type or name at p: 0xFFFF and an ordinal, or a string ended by a 16-bit zero."""
    if data[p:p + 2] == b"\xff\xff":
        return struct.unpack_from("<H", data, p + 2)[0], p + 4
    end = next(i for i in range(p, len(data), 2) if data[i:i + 2] == b"\0\0")
    return data[p:end], end + 2


# Each record of a .res: data size, header size, type, name, and on from the header's end its data.
data, found, pos = open(out, "rb").read(), {}, 0
while pos + 8 <= len(data):
    size, header_size = struct.unpack_from("<II", data, pos)
    kind, p = read_id(pos + 8)
    found[(kind, read_id(p)[0])] = data[pos + header_size:pos + header_size + size]
    pos = (pos + header_size + size + 3) & ~3

version = found.get((RT_VERSION, 1), b"")
group = found.get((RT_GROUP_ICON, 1), b"")
image = found.get((RT_ICON, struct.unpack_from("<H", group, 18)[0] if len(group) == 20 else -1), b"\0" * 16)
problems = [problem for problem, bad in (
    ("no version record with its fixed file information",
     "VS_VERSION_INFO".encode("utf-16-le") not in version or struct.pack("<I", 0xFEEF04BD) not in version),
    ("the version record has no strings", "StringFileInfo".encode("utf-16-le") not in version),
    ("no icon group of one image", len(group) != 20 or struct.unpack_from("<HHH", group) != (0, 1, 1)),
    ("the icon is not 32 x 32 with 8 bits a pixel", group[6:8] != b"\x20\x20" or struct.unpack_from(
        "<iiHH", image, 4) != (32, 64, 1, 8)),
) if bad]
print("FAIL: " + "; ".join(problems) if problems else "resources OK")
sys.exit(1 if problems else 0)
