#!/usr/bin/env python3
"""Writes the Windows program's picture resources from their XPM sources.

    xpm_to_windows.py icon   vantrel_icon.xpm vantrel.ico   (32x32, 256 colours)
    xpm_to_windows.py bitmap btn_copy.xpm     btn_copy.bmp  (16 colours)

The XPM files are the pictures' only source: a person edits their pixels as
text, and the build turns them into the formats the resource compiler needs.
Only the XPM subset those files use is read: one character per pixel and
colours given as #RRGGBB or None (transparent, allowed in the icon only).
"""
import re
import struct
import sys


def read_xpm(path):
    strings = re.findall(r'"((?:[^"\\]|\\.)*)"', open(path, encoding="ascii").read())
    width, height, ncolors, cpp = (int(v) for v in strings[0].split()[:4])
    if cpp != 1:
        sys.exit(f"{path}: only one character per pixel is supported")
    colors = {}
    for line in strings[1:1 + ncolors]:
        key, rest = line[0], line[1:].split()
        value = rest[rest.index("c") + 1]
        colors[key] = None if value.lower() == "none" else int(value.lstrip("#"), 16)
    rows = strings[1 + ncolors:1 + ncolors + height]
    if len(rows) != height or any(len(r) != width for r in rows):
        sys.exit(f"{path}: the pixel rows do not match {width}x{height}")
    return width, height, [[colors[c] for c in row] for row in rows]


def palette_of(pixels, size):
    """The distinct colours in order of first use, padded with black."""
    used = []
    for row in pixels:
        for rgb in row:
            if rgb is not None and rgb not in used:
                used.append(rgb)
    if len(used) > size:
        sys.exit(f"{len(used)} colours do not fit a {size}-colour palette")
    return used + [0] * (size - len(used))


def rgbquads(palette):
    return b"".join(struct.pack("<BBBB", rgb & 0xFF, (rgb >> 8) & 0xFF, rgb >> 16, 0)
                    for rgb in palette)


def packed_rows(pixels, bits, value):
    """Rows bottom-up, `bits` per pixel, each padded to four bytes."""
    data = b""
    for row in reversed(pixels):
        acc, nbits, line = 0, 0, bytearray()
        for rgb in row:
            acc = (acc << bits) | value(rgb)
            nbits += bits
            if nbits == 8:
                line.append(acc)
                acc, nbits = 0, 0
        if nbits:
            line.append(acc << (8 - nbits))
        line += b"\0" * (-len(line) % 4)
        data += bytes(line)
    return data


def info_header(width, height, bits, colors, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size, 0, 0, colors, 0)


def write_icon(src, dst):
    width, height, pixels = read_xpm(src)
    palette = palette_of(pixels, 256)
    xor = packed_rows(pixels, 8, lambda rgb: 0 if rgb is None else palette.index(rgb))
    mask = packed_rows(pixels, 1, lambda rgb: 1 if rgb is None else 0)
    # An icon image's header counts the colour and the mask rows together.
    image = info_header(width, height * 2, 8, 256, len(xor) + len(mask)) + rgbquads(palette) + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 8, len(image), 6 + 16)
    open(dst, "wb").write(directory + entry + image)


def write_bitmap(src, dst):
    width, height, pixels = read_xpm(src)
    if any(rgb is None for row in pixels for rgb in row):
        sys.exit(f"{src}: a bitmap has no transparent pixels; use the olive ground")
    palette = palette_of(pixels, 16)
    bits = packed_rows(pixels, 4, palette.index)
    header = info_header(width, height, 4, 16, len(bits)) + rgbquads(palette)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(bits), 0, 0, 14 + len(header))
    open(dst, "wb").write(file_header + header + bits)


if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[1] not in ("icon", "bitmap"):
        sys.exit(__doc__)
    (write_icon if sys.argv[1] == "icon" else write_bitmap)(sys.argv[2], sys.argv[3])
