#!/usr/bin/env python3
"""Writes the hand-made seed files of the print file fuzz target into corpus/."""
import os
import struct

PREFIX = b"\x1b#12345X"


def rec(kind, payload=b""):
    return PREFIX + kind + b"\0" + payload


def codes(values):
    out = bytearray()
    for i in range(0, len(values), 2):
        a = values[i]
        b = values[i + 1] if i + 1 < len(values) else 0
        out += bytes([a & 0xFF, (a >> 8) | ((b & 0xF) << 4), b >> 4])
    return bytes(out)


def literal_block(raw):
    return codes([257, 0] + list(raw) + [258])


def band(first, count, block, encoding=2):
    return rec(b'"', struct.pack("<5H", len(block), first, count, encoding, 0) + block + bytes(10))


def page_start(resolution=0x33, code=0, bpl=8, left=0, top=0, ext=(300, 200), layout1=2, duplex=0):
    layout = struct.pack("<4B4H", duplex, layout1, 0, 0x11, ext[0], ext[1], 3, 4) + bytes(14)
    header = struct.pack("<13H", 0, 2, resolution, 5, code, bpl, 0, left, top, 0, 1, 0, 100)
    return rec(b"&", bytes(5)) + rec(b"(", layout) + rec(b" ", bytes(2)) + rec(b"!", header)


def write(name, data):
    with open(os.path.join(os.path.dirname(__file__), "corpus", name), "wb") as f:
        f.write(data)


lines = bytes((i * 37) & 0xFF for i in range(8 * 6))
write("one-page-literals.kgl",
      rec(b",") + page_start(left=5, top=3) + band(0, 3, literal_block(lines[:24]))
      + band(3, 3, literal_block(lines[24:])) + rec(b"#") + rec(b"'"))
write("dictionary-and-runs.kgl",
      rec(b",") + page_start(resolution=0x66, bpl=16, ext=(200, 150))
      + band(0, 4, codes([257, 0, 0, 269, 256, 0, 0xAA, 0x55, 512, 514, 256, 257, 2, 0x0F, 258]))
      + band(4, 2, codes([257, 0, 0, 265, 0, 0, 258])) + rec(b"#") + rec(b"'"))
write("foreign-records-raw-bands.kgl",
      b"junk" + rec(b"$", bytes(10)) + rec(b"%", bytes(range(20))) + rec(b")") + page_start(code=16, ext=(80, 60))
      + band(0, 2, bytes([0xF0] * 16), 0) + band(2, 1, bytes(8), 5) + rec(b"+") + rec(b"#")
      + page_start(code=14, layout1=1 | (4 << 1), duplex=5, bpl=4) + band(0, 2, codes([97, 256, 97, 258, 0, 0]))
      + rec(b"#"))
write("two-jobs-no-layout.kgl",
      rec(b",") + rec(b"&", bytes(5)) + rec(b"!", struct.pack("<13H", 0, 1, 0x36, 1, 99, 4, 0, 2, 2, 0, 1, 0, 100))
      + band(0, 5, literal_block(bytes([0x81] * 20))) + rec(b"#") + rec(b",") + page_start(resolution=0x48, ext=(50, 50), bpl=4)
      + band(0, 1, codes([257, 0, 1, 2, 3, 4, 258])) + rec(b"#") + rec(b"'"))
# A few hundred bytes that declare a page image of a gigabyte on a small sheet.
write("large-declared-page.kgl",
      rec(b",") + page_start(bpl=0xFFFC, ext=(100, 100)) + band(0, 16384, codes([257, 0, 0x80, 258]))
      + rec(b"#") + rec(b"'"))
