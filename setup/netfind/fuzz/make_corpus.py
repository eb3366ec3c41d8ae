#!/usr/bin/env python3
# Writes the seed files: a capacity byte, then length-prefixed datagrams (16-bit little-endian).
import os
import struct

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
os.makedirs(here, exist_ok=True)


def reply(printer, card, mac=b"\x02\x00\x00\x12\x34\x56", ip=b"\xc0\xa8\x00\x05", tail=b"\x00" * 94):
    return (b"\x00\x02\x95\x06" + printer.ljust(32, b"\x00")[:32] + card.ljust(16, b"\x00")[:16] + b"\x00" * 4 +
            mac + b"\x00" * 4 + ip + tail)


def seeds(capacity, *datagrams):
    return bytes([capacity]) + b"".join(struct.pack("<H", len(d)) + d for d in datagrams)


files = {
    "one-card.bin": seeds(3, reply(b"KG-100", b"RX-Q7NIC")),
    "duplicates-and-tails.bin": seeds(3, reply(b"KG-100", b"RX-Q7NIC"), reply(b"KG-100", b"RX-Q7NIC", tail=b"\xee" * 94)),
    "full-names.bin": seeds(1, reply(b"P" * 32, b"RX-" + b"C" * 13)),
    "foreign-fills-table.bin": seeds(0, reply(b"KG", b"XX-OTHER"), reply(b"KG", b"rx-lower")),
    "short-and-wrong.bin": seeds(4, reply(b"KG", b"RX-A")[:69], b"\x00\x04\x95\x06" + b"\x00" * 84,
                                 reply(b"KG", b"RX-B")[:70], reply(b"KG", b"RX-C") + b"\x01" * 400),
}
for name, content in files.items():
    with open(os.path.join(here, name), "wb") as f:
        f.write(content)
