#!/usr/bin/env python3
"""Draws the setup program's wizard bitmaps and icons (simple shapes, our own) into this folder.

Run it again after changing a drawing; the files it writes are kept in the repository so the build
needs no Python."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def bmp_rows(width, height, pixel):
    """Bottom-up 24-bit rows, each padded to 4 bytes; pixel(x, y) gives (r, g, b), y from the top."""
    pad = (4 - width * 3 % 4) % 4
    data = bytearray()
    for y in range(height - 1, -1, -1):
        for x in range(width):
            r, g, b = pixel(x, y)
            data += bytes((b, g, r))
        data += b"\0" * pad
    return bytes(data)


def write_bmp(name, width, height, pixel):
    rows = bmp_rows(width, height, pixel)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(header + info + rows)


def write_ico(name, size, pixel):
    """One 32-bit image; pixel(x, y) gives (r, g, b, a)."""
    rows = bytearray()
    for y in range(size - 1, -1, -1):
        for x in range(size):
            r, g, b, a = pixel(x, y)
            rows += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = b"\0" * (mask_stride * size)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(rows) + len(mask), 0, 0, 0, 0)
    image = info + bytes(rows) + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), 6 + 16)
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(directory + entry + image)


def blend(a, b, t):
    return tuple(int(a[i] + (b[i] - a[i]) * t) for i in range(3))


NAVY = (22, 52, 110)
SKY = (120, 170, 225)
PAPER = (250, 250, 250)
GREY = (90, 96, 104)


def printer(x, y, left, top, scale):
    """A duplicator seen from the front: body, paper tray and a sheet; None outside it."""
    u, v = (x - left) / scale, (y - top) / scale
    if 0.25 <= u <= 0.75 and 0.0 <= v <= 0.35:
        return PAPER
    if 0.0 <= u <= 1.0 and 0.3 <= v <= 0.8:
        return GREY if not (0.1 <= u <= 0.9 and 0.62 <= v <= 0.68) else (40, 40, 40)
    if 0.15 <= u <= 0.85 and 0.8 <= v <= 0.9:
        return (160, 165, 170)
    return None


def watermark(x, y):
    base = blend(NAVY, SKY, y / 313)
    drawn = printer(x, y, 32, 190, 100)
    return drawn or base


def header(x, y):
    drawn = printer(x, y, 4, 6, 41)
    return drawn or (255, 255, 255)


def icon(accent):
    def pixel(x, y):
        drawn = printer(x, y, 2, 2, 28)
        if drawn:
            return drawn + (255,)
        if (x - 24) ** 2 + (y - 24) ** 2 <= 36:
            return accent + (255,)
        return (0, 0, 0, 0)

    return pixel


write_bmp("watermark.bmp", 164, 314, watermark)
write_bmp("header.bmp", 49, 49, header)
write_ico("setup.ico", 32, icon((30, 120, 220)))
write_ico("update.ico", 32, icon((40, 170, 70)))
write_ico("repair.ico", 32, icon((230, 150, 30)))
write_ico("remove.ico", 32, icon((200, 40, 40)))
