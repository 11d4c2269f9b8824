#!/usr/bin/env python3
# Draws Corvane's 32 x 32 window icon (a white waveform on a rounded black square) and writes
# it as a 32-bit BMP with an alpha mask, a format SDL reads without any image library.
# Run once by hand: python3 make_icon.py > icon.bmp
import math
import struct
import sys

SIZE = 32


def pixel(x, y):
    # Rounded square: transparent outside a corner radius of 6 pixels.
    r = 6
    cx = min(max(x, r), SIZE - 1 - r)
    cy = min(max(y, r), SIZE - 1 - r)
    if (x - cx) ** 2 + (y - cy) ** 2 > r * r:
        return (0, 0, 0, 0)
    wave = 16 + 9 * math.sin((x - 4) / 24 * 2 * math.pi) * math.exp(-abs(x - 16) / 14)
    if 4 <= x <= 27 and abs(y - wave) < 1.6:
        return (255, 255, 255, 255)
    return (24, 24, 24, 255)


def main():
    rows = []
    for y in reversed(range(SIZE)):  # BMP rows run bottom-up
        for x in range(SIZE):
            r, g, b, a = pixel(x, y)
            rows.append(struct.pack('<BBBB', b, g, r, a))
    image = b''.join(rows)
    info = struct.pack('<IiiHHIIiiII', 108, SIZE, SIZE, 1, 32, 3, len(image), 2835, 2835, 0, 0)
    info += struct.pack('<IIII', 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000)
    info += b'BGRs' + bytes(36) + bytes(12)  # sRGB colour space, no end points or gamma
    offset = 14 + len(info)
    header = struct.pack('<2sIHHI', b'BM', offset + len(image), 0, 0, offset)
    sys.stdout.buffer.write(header + info + image)


main()
