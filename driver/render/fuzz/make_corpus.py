#!/usr/bin/env python3
"""Writes the seed files of the settings fuzz target into corpus/.

A seed is: flags, the job's and the stored DEVMODE's lengths (u16 LE), the two, then the printer block.
A part "over the defaults" is XORed onto the driver's default record (of the generic A3 model: A4 paper,
2100 x 2970 custom size, zoom 100), so a field is set to v by the byte pattern default ^ v."""
import os
import struct

JOB, JOB_OVER, STORED, STORED_OVER, BLOCK = 0x01, 0x02, 0x04, 0x08, 0x10
DEVMODE = 2372


def over(fields):
    """Bytes to XOR onto the defaults: {offset: (default, wanted)} as 32-bit fields."""
    b = bytearray(DEVMODE)
    for off, (default, wanted) in fields.items():
        b[off:off + 4] = struct.pack('<I', (default ^ wanted) & 0xFFFFFFFF)
    return bytes(b)


def seed(flags, job=b'', stored=b'', block=b''):
    return bytes([flags]) + struct.pack('<HH', len(job), len(stored)) + job + stored + block


def raw_devmode(version, size, extra, total):
    b = bytearray(total)
    struct.pack_into('<HHHH', b, 64, 0x0401, version, size, extra)
    return bytes(b)


seeds = {
    'defaults-only': seed(0),
    'own-devmode': seed(JOB | JOB_OVER, over({})),
    # The printer's default picks user paper 259 while the job brings that paper at an absurd size.
    'user-paper-from-the-job': seed(JOB | JOB_OVER | STORED | STORED_OVER | BLOCK,
                                    over({400: (2100, 0x7FFFFFFF), 404: (2970, 0x7FFFFFFF)}),
                                    over({232: (9, 259)}), bytes(304)),
    # A stored default with its largest paper out of range, a two-metre custom paper at 200 %.
    'stored-largest-paper-out-of-range': seed(STORED | STORED_OVER | BLOCK, b'',
                                              over({232: (9, 256), 228: (100, 200), 288: (2970, 20000),
                                                    296: (2970, 0x7FFFFFF0), 300: (4318, 0x7FFFFFF0)}),
                                              bytes(304)),
    # Small enough for a band surface under the target's surface limit, so the surface is made.
    'postcard-at-half-size': seed(JOB | JOB_OVER, over({78: (9, 257), 228: (100, 50)})),
    'newer-layout-job': seed(JOB, raw_devmode(1835, 220, 2724, 220 + 2724)),
    'short-standard-part': seed(JOB, raw_devmode(0x0716, 64, 8, 72)),
    'stored-block-one-short': seed(STORED | STORED_OVER | BLOCK, b'', over({}), bytes(303)),
    # Found by fuzzing: a stored default too short to hold its own size fields.
    'stored-default-shorter-than-its-size-fields': seed(STORED | BLOCK, b'', bytes(30)),
}

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'corpus')
os.makedirs(here, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(here, name + '.bin'), 'wb') as f:
        f.write(data)
