#!/usr/bin/env python3
"""Writes setup.ico: a yellow quill above a white inkwell on a transparent ground, 16 colours
(4 bits a pixel), as a 16 x 16 image and a 32 x 32 one for larger screens and the task switcher.
The 32 x 32 image is the 16 x 16 art doubled with Scale2x, which keeps the quill's diagonal edges
smooth instead of stair-stepped. Usage: assets/make-icon.py [output.ico]"""
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


def scale2x(art):
    """Each pixel becomes four; a corner takes a neighbour's colour where two neighbours that meet
    at that corner agree and the opposite two do not (the Scale2x/EPX rule)."""
    n = len(art)
    at = lambda x, y: art[min(max(y, 0), n - 1)][min(max(x, 0), n - 1)]
    out = [[''] * (2 * n) for _ in range(2 * n)]
    for y in range(n):
        for x in range(n):
            p, a, b, c, d = at(x, y), at(x, y - 1), at(x + 1, y), at(x - 1, y), at(x, y + 1)
            e = [p, p, p, p]
            if a != d and c != b:
                e = [a if c == a else p, b if a == b else p, c if d == c else p, b if b == d else p]
            out[2 * y][2 * x], out[2 * y][2 * x + 1] = e[0], e[1]
            out[2 * y + 1][2 * x], out[2 * y + 1][2 * x + 1] = e[2], e[3]
    return [''.join(row) for row in out]


def image(art):
    """One icon image: BITMAPINFOHEADER (height doubled for the mask), palette, 4-bit colour rows
    and the 1-bit transparency mask, both bottom-up and padded to 32 bits."""
    n = len(art)
    assert all(len(row) == n for row in art)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(art):
        line = bytearray((KEY.get(row[x], 0) << 4) | KEY.get(row[x + 1], 0) for x in range(0, n, 2))
        xor += line + bytes(-len(line) % 4)
        bits = bytearray((n + 7) // 8)
        for x, c in enumerate(row):
            if c == '.':
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits + bytes(-len(bits) % 4)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def main(out):
    assert len(ART) == 16
    images = [image(ART), image(scale2x(ART))]
    directory = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for art, data in zip((ART, scale2x(ART)), images):
        n = len(art)
        directory += struct.pack('<BBBBHHII', n, n, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(out, 'wb') as f:
        f.write(directory + b''.join(images))


main(sys.argv[1] if len(sys.argv) > 1 else __file__.rsplit('/', 1)[0] + '/setup.ico')
