#!/usr/bin/env python3
"""Draw Tarnwick's icon and logo badge. The Windows files go next to this script, the two PNGs
(which the window compiles in) into ui/resources.

Writes:
  tarnwick.ico        32x32, 8 bpp, 256-colour DIB icon with an AND mask
  tarnwick_icon.bin   the icon's image alone (raw RT_ICON data for tarnwick.rc)
  tarnwick_group.bin  the icon group directory (raw RT_GROUP_ICON data, image id 30001)
  tarnwick.png        the same icon as a 32x32 RGBA PNG
  logo.png            an 88x31 web badge reading "Velmora forum"

Standard library only. The output depends on nothing but this file, so running
it again gives byte-identical files; the results are committed so that builds
don't need Python.
"""

import math
import os
import struct
import zlib

ICON_SIZE = 32
ICON_IMAGE_ID = 30001
SUPERSAMPLE = 4

# Icon colours.
NAVY = (16, 42, 84)
SEA_TOP = (86, 178, 232)
SEA_BOTTOM = (18, 88, 168)
GRID = (170, 226, 246)
TEAL = (0, 150, 136)
TEAL_DARK = (0, 92, 84)
WHITE = (255, 255, 255)


def mix(a, b, t):
    t = min(1.0, max(0.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


# --- icon design ----------------------------------------------------------
# Coordinates are in icon pixels (0..32); shapes are sampled at sub-pixel
# points so inner edges come out smooth. None means transparent.

GLOBE_C = (14.0, 14.0)
GLOBE_R = 13.0
BADGE_C = (24.0, 24.0)
BADGE_R = 7.5


def in_arrow(x, y):
    """A right-pointing arrow centred on the badge."""
    dx, dy = x - BADGE_C[0], y - BADGE_C[1]
    if -4.6 <= dx <= 0.6 and abs(dy) <= 1.3:  # shaft
        return True
    return 0.0 <= dx <= 4.6 and abs(dy) <= 4.6 - dx  # head


def icon_sample(x, y):
    bx, by = x - BADGE_C[0], y - BADGE_C[1]
    bd = math.hypot(bx, by)
    if bd <= BADGE_R:
        if bd > BADGE_R - 1.1:
            return WHITE  # ring separating badge from globe
        if in_arrow(x, y):
            return WHITE
        return mix(TEAL, TEAL_DARK, (by + BADGE_R) / (2 * BADGE_R))

    gx, gy = x - GLOBE_C[0], y - GLOBE_C[1]
    gd = math.hypot(gx, gy)
    if gd > GLOBE_R:
        return None
    if gd > GLOBE_R - 1.2:
        return NAVY
    # Lit from the top left.
    shade = (gy + GLOBE_R) / (2 * GLOBE_R) * 0.8 + (gx + GLOBE_R) / (2 * GLOBE_R) * 0.2
    base = mix(SEA_TOP, SEA_BOTTOM, shade)
    lw = 0.55  # half width of grid lines
    on_grid = abs(gx) <= lw or abs(gy) <= lw
    for lat in (-6.5, 6.5):  # parallels
        if abs(gy - lat) <= lw:
            on_grid = True
    # Meridians: ellipses through the poles, half widths 6.5.
    half = math.sqrt(max(0.0, GLOBE_R * GLOBE_R - gy * gy))
    if half > 0.0 and abs(abs(gx) - half * 0.5) <= lw:
        on_grid = True
    if on_grid:
        return mix(base, GRID, 0.75)
    return base


def render(sample, width, height, scale=1.0, ox=0.0, oy=0.0):
    """Average SUPERSAMPLE^2 points per pixel. Returns rows of (r, g, b) or None;
    a pixel is opaque when at least half its points are."""
    rows = []
    n = SUPERSAMPLE
    for py in range(height):
        row = []
        for px in range(width):
            acc = [0.0, 0.0, 0.0]
            hits = 0
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n - ox) / scale
                    y = (py + (sy + 0.5) / n - oy) / scale
                    c = sample(x, y)
                    if c is not None:
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i]
            if hits * 2 < n * n:
                row.append(None)
            else:
                row.append(tuple(int(round(v / hits)) for v in acc))
        rows.append(row)
    return rows


# --- writers --------------------------------------------------------------

def png_bytes(rows):
    """RGBA PNG from rows of (r, g, b) / (r, g, b, a) / None (transparent)."""
    height, width = len(rows), len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter: none
        for c in row:
            if c is None:
                raw += b"\0\0\0\0"
            else:
                raw += bytes(c[:3]) + bytes([c[3] if len(c) > 3 else 255])

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def quantise(rows):
    """Round colours until they fit a 255-entry palette (index 0 stays black,
    used under the transparent pixels)."""
    for step in (1, 2, 4, 8, 16):
        def q(c, step=step):
            return tuple(min(255, (v + step // 2) // step * step) for v in c)
        colours = sorted({q(c) for row in rows for c in row if c is not None} - {(0, 0, 0)})
        if len(colours) <= 255:
            return [[None if c is None else q(c) for c in row] for row in rows], [(0, 0, 0)] + colours
    raise ValueError("too many colours")


def icon_image(rows):
    """DIB image as stored in an .ico and in an RT_ICON resource: header,
    palette, 8 bpp pixels and AND mask, both bottom-up."""
    size = len(rows)
    rows, colours = quantise(rows)
    palette = colours + [(0, 0, 0)] * (256 - len(colours))
    index = {c: i for i, c in enumerate(colours)}
    pixels = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        pixels += bytes(0 if c is None else index[c] for c in row)
        bits = 0
        for x, c in enumerate(row):
            if c is None:
                bits |= 1 << (size - 1 - x)
        mask += bits.to_bytes(size // 8, "big")
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    data = header + pal + bytes(pixels) + bytes(mask)
    assert len(data) == 40 + 1024 + size * size + size * size // 8
    return data, rows


def ico_bytes(image, size):
    return struct.pack("<HHH", 0, 1, 1) + struct.pack(
        "<BBBBHHII", size, size, 0, 0, 1, 8, len(image), 6 + 16) + image


def group_bytes(image, size, image_id):
    return struct.pack("<HHH", 0, 1, 1) + struct.pack(
        "<BBBBHHIH", size, size, 0, 0, 1, 8, len(image), image_id)


# --- logo badge -----------------------------------------------------------

FONT = {  # 5x7, '#' = ink
    "V": ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "e": [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    "l": [".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "m": [".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"],
    "o": [".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "f": ["..##.", ".#..#", ".#...", "###..", ".#...", ".#...", ".#..."],
    "u": [".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"],
}

LOGO_W, LOGO_H = 88, 31
LOGO_BORDER = (10, 30, 64)
LOGO_PANEL = (236, 244, 250)
LOGO_TOP = (24, 120, 190)
LOGO_BOTTOM = (8, 62, 120)


def text_width(text):
    return len(text) * 6 - 1


def draw_text(img, text, x, y, colour, shadow):
    """Draw with the 5x7 font, one pixel apart, with a drop shadow below right."""
    for offset, ink in ((1, shadow), (0, colour)):
        cx = x
        for ch in text:
            for gy, line in enumerate(FONT[ch]):
                for gx, cell in enumerate(line):
                    if cell == "#":
                        img[y + gy + offset][cx + gx + offset] = ink
            cx += 6


def logo_rows(icon_sample_fn):
    img = [[None] * LOGO_W for _ in range(LOGO_H)]
    panel = 30  # left panel, inside the border
    for y in range(LOGO_H):
        for x in range(LOGO_W):
            if x in (0, LOGO_W - 1) or y in (0, LOGO_H - 1) or x == panel:
                img[y][x] = LOGO_BORDER
            elif x < panel:
                img[y][x] = LOGO_PANEL
            else:
                img[y][x] = tuple(round(v) for v in mix(LOGO_TOP, LOGO_BOTTOM, (y - 1) / (LOGO_H - 3)))
    # The icon, scaled to 27 pixels, centred in the left panel.
    scale = 27 / ICON_SIZE
    small = render(icon_sample_fn, panel - 1, LOGO_H - 2, scale, 0.5, 0.5)
    for y, row in enumerate(small):
        for x, c in enumerate(row):
            if c is not None:
                img[y + 1][x + 1] = c
    # Text on the right: "Velmora" in white, "forum" below in pale yellow.
    area_x, area_w = panel + 1, LOGO_W - 1 - (panel + 1)
    for text, y, colour in (("Velmora", 5, WHITE), ("forum", 18, (255, 226, 120))):
        x = area_x + (area_w - text_width(text)) // 2
        draw_text(img, text, x, y, colour, (4, 30, 60))
    return img


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    icon_rows = render(icon_sample, ICON_SIZE, ICON_SIZE)
    image, icon_rows = icon_image(icon_rows)
    outputs = {
        "tarnwick.ico": ico_bytes(image, ICON_SIZE),
        "tarnwick_icon.bin": image,
        "tarnwick_group.bin": group_bytes(image, ICON_SIZE, ICON_IMAGE_ID),
        "tarnwick.png": png_bytes(icon_rows),
        "logo.png": png_bytes(logo_rows(icon_sample)),
    }
    # The window's own images live with the window, which compiles them in.
    window_images = os.path.join(here, "..", "..", "ui", "resources")
    for name, data in outputs.items():
        folder = window_images if name.endswith(".png") else here
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        print(f"{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()
