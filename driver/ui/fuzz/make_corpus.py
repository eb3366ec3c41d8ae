#!/usr/bin/env python3
"""Writes the hand-made seed files of the settings fuzz target into corpus/."""
import os
import struct

SIGNATURE = 0x28116119


def devmode(version, extra, fields=0, fill=b"\0", name="Velmo Q7", values=()):
    """A DEVMODE of 220 + extra bytes with its signature in the last four; values are (offset, i32)."""
    b = bytearray(fill * (220 + extra))
    b[0:64] = name.encode("utf-16-le").ljust(64, b"\0")
    struct.pack_into("<HHHHI", b, 64, 0x0401, version, 220, extra, fields)
    for offset, value in values:
        struct.pack_into("<i", b, offset, value)
    struct.pack_into("<I", b, 220 + extra - 4, SIGNATURE)
    return bytes(b)


def seed(selector, stored, block, ini, app, caps=b""):
    out = bytes([selector]) + struct.pack("<H", len(stored)) + stored + struct.pack("<H", len(block)) + block
    if selector & 4:
        out += caps
    return out + struct.pack("<H", len(ini)) + ini + app


INI = b"[OperationSetup]\r\nProcessingMethodForDensity=2\r\n[KORIGRAPH Driver]\r\nDuplexMaxCopies=0\r\nBinListEnable=1\r\n"
CAPS = struct.pack("<4I", 1, 0x2A, 0xF0200002, 1)

seeds = {
    "empty.bin": b"",
    # A stored default of this layout holding zeros, a whole block, an application DEVMODE of this layout.
    "zero-default-own-input.bin": seed(0, devmode(1835, 2724), bytes(304), INI,
                                       devmode(1835, 2724, 0x9B4F, values=((232, 43), (2244, 8), (2900, 3)))),
    # Every private word 0xFF: out of every range; a booklet-capable print processor; a graphics DEVMODE.
    "ones-default-graphics-input.bin": seed(5, devmode(1835, 2724, fill=b"\xff"), b"\xff" * 304, INI,
                                            devmode(0x0716, 2152, 0x1F0F), CAPS),
    # A device name that differs before Vista; a short block; an old DEVMODE of 156 bytes.
    "old-system-short-block.bin": seed(2, devmode(1835, 2724, name="Other"), bytes(303), b"\xff\xfe[\0",
                                       devmode(1835, 40)[:156 + 40].replace(struct.pack("<H", 220), struct.pack("<H", 156), 1)),
}
here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
os.makedirs(here, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(here, name), "wb") as f:
        f.write(data)
