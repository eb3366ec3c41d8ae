#!/usr/bin/env python3
"""Draws the UI DLL's bitmaps (simple shapes, our own) into this folder.

Run it again after changing a drawing; the files it writes are kept in the repository so the build
needs no Python. Tiles of the page-number strips are square and keep magenta (255, 0, 255) where
the preview must show what lies beneath."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

WHITE = (255, 255, 255)
PAPER = (250, 250, 246)
EDGE = (70, 76, 84)
GREY = (200, 204, 210)
LIGHT = (232, 236, 242)
NAVY = (22, 52, 110)
SKY = (120, 170, 225)
RED = (200, 40, 40)
GREEN = (40, 150, 70)
MAGENTA = (255, 0, 255)
INK = (30, 30, 30)

# Digits of three by five cells, rows top to bottom, bit 2 the leftmost cell.
DIGITS = {
    "0": (7, 5, 5, 5, 7), "1": (2, 6, 2, 2, 7), "2": (7, 1, 7, 4, 7), "3": (7, 1, 7, 1, 7),
    "4": (5, 5, 7, 1, 1), "5": (7, 4, 7, 1, 7), "6": (7, 4, 7, 5, 7), "7": (7, 1, 1, 1, 1),
    "8": (7, 5, 7, 5, 7), "9": (7, 5, 7, 1, 7),
}


def write_bmp(name, width, height, pixel):
    """A bottom-up 24-bit file; pixel(x, y) gives (r, g, b), y from the top."""
    pad = (4 - width * 3 % 4) % 4
    rows = bytearray()
    for y in range(height - 1, -1, -1):
        for x in range(width):
            r, g, b = pixel(x, y)
            rows += bytes((b, g, r))
        rows += b"\0" * pad
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(header + info + bytes(rows))


def text_at(x, y, left, top, text, scale):
    """True where the digits of `text` cover (x, y); each cell is `scale` pixels."""
    u, v = (x - left) // scale, (y - top) // scale
    if v < 0 or v >= 5 or u < 0:
        return False
    index, column = divmod(u, 4)
    if index >= len(text) or column == 3:
        return False
    return bool(DIGITS[text[index]][v] >> (2 - column) & 1)


def framed(width, height, fill, edge=EDGE):
    def pixel(x, y):
        if x in (0, width - 1) or y in (0, height - 1):
            return edge
        return fill
    return pixel


def sheet(width, height, lines):
    """A sheet of paper with a folded corner and `lines` grey text lines."""
    fold = min(width, height) // 6

    def pixel(x, y):
        if x + (fold - y) > width - 1 and y < fold:
            return WHITE
        if x in (0, width - 1) or y in (0, height - 1) or x - (width - 1 - fold) == y:
            return EDGE
        step = (height - 2 * fold) // max(lines, 1)
        if lines and fold <= y < height - fold and (y - fold) % step in (0, 1) and 6 <= x < width - 6:
            return GREY
        return PAPER
    return pixel


def arrow_picture(size, kind, color):
    """A curved arrow for the rotation overlays: a ring with a head at one of four places."""
    c = size / 2

    def pixel(x, y):
        d = ((x - c) ** 2 + (y - c) ** 2) ** 0.5
        hx, hy = [(c, 2), (size - 3, c), (c, size - 3), (2, c)][kind]
        if abs(x - hx) + abs(y - hy) <= size // 6:
            return color
        if size * 0.28 <= d <= size * 0.40:
            return color
        return MAGENTA
    return pixel


def order_picture(width, height, columns, rows, order):
    """Pages numbered in the order they are placed on the sheet."""
    cw, ch = width // columns, height // rows

    def place(i):
        if order == 1:
            return i % columns, i // columns
        if order == 2:
            return i // rows, i % rows
        if order == 4:
            return columns - 1 - i % columns, i // columns
        return columns - 1 - i // rows, i % rows

    cells = {place(i): str(i + 1) for i in range(columns * rows)}

    def pixel(x, y):
        if x in (0, width - 1) or y in (0, height - 1):
            return EDGE
        col, row = min(x // cw, columns - 1), min(y // ch, rows - 1)
        if x % cw == 0 or y % ch == 0:
            return GREY
        if text_at(x, y, col * cw + cw // 2 - 2, row * ch + ch // 2 - 5, cells[(col, row)], 2):
            return NAVY
        return PAPER
    return pixel


def binding_picture(width, height, right):
    def pixel(x, y):
        spine = width - 4 if right else 3
        if abs(x - spine) <= 1:
            return NAVY
        return sheet(width, height, 4)(x, y)
    return pixel


def booklet_picture(width, height, right, portrait):
    """Two facing pages of a folded sheet with the binding edge marked."""
    half = width // 2

    def pixel(x, y):
        if abs(x - half) <= 1:
            return NAVY if not portrait else EDGE
        if (x < 4 and not right) or (x > width - 5 and right):
            return SKY
        page = framed(half, height, PAPER)
        return page(x % half, y)
    return pixel


def strip(count, size):
    """`count` square tiles numbered from 1 on magenta."""
    def pixel(x, y):
        i = x // size
        label = str(i + 1)
        u = x % size
        if u in (1, size - 2) and 1 <= y <= size - 2 or y in (1, size - 2) and 1 <= u <= size - 2:
            return EDGE
        left = size // 2 - (len(label) * 4 - 1) // 2
        if text_at(u, y, left, size // 2 - 2, label, 1):
            return INK
        return MAGENTA
    return pixel


def document(width, height, kind):
    """Document types: text, picture, mixed, photo."""
    base = sheet(width, height, 0)

    def pixel(x, y):
        inner = 8 <= x < width - 8 and 14 <= y < height - 10
        if not inner:
            return base(x, y)
        if kind == 0:
            return GREY if (y - 14) % 6 in (0, 1) else PAPER
        if kind == 1:
            return SKY if (x + y) % 9 < 5 else NAVY
        if kind == 2:
            if y < height // 2:
                return GREY if (y - 14) % 6 in (0, 1) else PAPER
            return GREEN if (x - y) % 7 < 4 else SKY
        shade = (x * 255) // width
        return (shade, 128, 255 - shade)
    return pixel


def logo(x, y):
    d = ((x - 24) ** 2 + (y - 24) ** 2) ** 0.5
    if d <= 22:
        if text_at(x, y, 13, 17, "7", 3) or text_at(x, y, 25, 17, "7", 3):
            return WHITE
        return NAVY if d <= 19 else SKY
    return LIGHT


def user_id(x, y):
    if 8 <= x < 40 and 8 <= y < 56:
        head = (x - 24) ** 2 + (y - 22) ** 2 <= 64
        body = y >= 36 and abs(x - 24) <= (y - 30)
        return NAVY if head or body else LIGHT
    if 48 <= x < 88 and y in (16, 17, 28, 29, 40, 41):
        return EDGE
    return framed(96, 64, WHITE)(x, y)


write_bmp("about_logo.bmp", 48, 48, logo)
write_bmp("preview_background.bmp", 120, 150, framed(120, 150, LIGHT))
write_bmp("sheet_portrait.bmp", 80, 110, sheet(80, 110, 0))
write_bmp("sheet_landscape.bmp", 110, 80, sheet(110, 80, 0))
for i in range(4):
    write_bmp("rotate_%d.bmp" % (i + 1), 24, 24, arrow_picture(24, i, RED))
write_bmp("booklet_left_portrait.bmp", 110, 80, booklet_picture(110, 80, False, True))
write_bmp("booklet_right_portrait.bmp", 110, 80, booklet_picture(110, 80, True, True))
write_bmp("booklet_left_landscape.bmp", 80, 110, booklet_picture(80, 110, False, False))
write_bmp("booklet_right_landscape.bmp", 80, 110, booklet_picture(80, 110, True, False))
write_bmp("tiles_combine.bmp", 16 * 25, 16, strip(25, 16))
write_bmp("tiles_split.bmp", 16 * 2, 16, strip(2, 16))
for i, name in enumerate(("text", "picture", "mixed", "photo")):
    write_bmp("document_%s.bmp" % name, 80, 110, document(80, 110, i))
write_bmp("user_id.bmp", 96, 64, user_id)
write_bmp("order_two_left.bmp", 64, 48, order_picture(64, 48, 2, 1, 1))
write_bmp("order_two_right.bmp", 64, 48, order_picture(64, 48, 2, 1, 4))
for i, order in enumerate((1, 2, 4, 8)):
    write_bmp("order_four_%d.bmp" % order, 48, 48, order_picture(48, 48, 2, 2, order))
write_bmp("binding_left.bmp", 64, 48, binding_picture(64, 48, False))
write_bmp("binding_right.bmp", 64, 48, binding_picture(64, 48, True))
