#!/usr/bin/env python3
"""Writes setup.ico: 16 x 16, 16 colours (4 bits a pixel), a yellow quill above a white inkwell
on a transparent ground. Usage: assets/make-icon.py [output.ico]"""
import struct
import sys

# The standard 16-colour palette (index: colour).
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
# '.' transparent, 'k' black, 'y' yellow, 'o' olive (quill shading), 'w' white, 'g' grey.
KEY = {'k': 0, 'o': 3, 'g': 8, 's': 7, 'y': 11, 'w': 15}
ART = [
    "............ky..",
    "...........kyyk.",
    "..........kyyok.",
    ".........kyyok..",
    "........kyyok...",
    ".......kyyok....",
    "......kyyok.....",
    ".....kyyok......",
    "....kyok........",
    "...kgkwwwk......",
    "..kwwwwwwwk.....",
    ".kwwwkkkwwwk....",
    ".kwwkkkkkwsk....",
    ".kwwwkkkwwsk....",
    ".kswwwwwwssk....",
    "..kkkkkkkkk.....",
]


def main(out):
    assert len(ART) == 16 and all(len(row) == 16 for row in ART)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(ART):  # bottom-up rows
        for x in range(0, 16, 2):
            hi = KEY.get(row[x], 0)
            lo = KEY.get(row[x + 1], 0)
            xor.append((hi << 4) | lo)
        bits = 0
        for x, c in enumerate(row):
            if c == '.':
                bits |= 1 << (15 - x)
        mask += struct.pack('>H', bits) + b'\0\0'  # rows padded to 32 bits
    header = struct.pack('<IiiHHIIiiII', 40, 16, 32, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in PALETTE)
    image = header + palette + bytes(xor) + bytes(mask)
    directory = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', 16, 16, 16, 0, 1, 4,
                                                           len(image), 6 + 16)
    with open(out, 'wb') as f:
        f.write(directory + image)


main(sys.argv[1] if len(sys.argv) > 1 else __file__.rsplit('/', 1)[0] + '/setup.ico')
