#!/usr/bin/env python3
"""Writes the application icon as a PNG for the Linux desktop's icon theme.

    xpm_to_png.py vantrel_icon.xpm SIZE vantrel.png

SIZE is the picture's width and height in pixels, a whole multiple of the
XPM's own size: every pixel becomes a square of pixels, so that the larger
renderings keep the icon's sharp edges instead of blurring them. Transparent
pixels stay transparent. The XPM is read by the same code that writes the
Windows icon, so both platforms show the same picture.
"""
import struct
import sys
import zlib

# Reading the sibling script must leave no compiled copy in the source tree.
sys.dont_write_bytecode = True
from xpm_to_windows import read_xpm  # noqa: E402


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def write_png(src, size, dst):
    width, height, pixels = read_xpm(src)
    if width != height or size % width:
        sys.exit(f"{src}: {width}x{height} does not scale to {size}x{size}")
    scale = size // width
    rows = b""
    for row in pixels:
        line = b"".join(b"\0\0\0\0" if rgb is None else rgb.to_bytes(3, "big") + b"\xff"
                        for rgb in row for _ in range(scale))
        # Every row starts with its filter type: 0, the bytes as they are.
        rows += (b"\0" + line) * scale
    # 8 bits per channel, colour type 6 (red, green, blue and alpha).
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    png = (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
           + png_chunk(b"IDAT", zlib.compress(rows, 9)) + png_chunk(b"IEND", b""))
    open(dst, "wb").write(png)


if __name__ == "__main__":
    if len(sys.argv) != 4 or not sys.argv[2].isdigit():
        sys.exit(__doc__)
    write_png(sys.argv[1], int(sys.argv[2]), sys.argv[3])
