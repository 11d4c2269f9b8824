#!/usr/bin/env python3
# Draws Corvane's 32 x 32 window icon (a white waveform on a rounded black square) and writes
# it as a 32-bit BMP with an alpha mask, a format SDL reads without any image library, or as
# the same image in an .ico file for the Windows executable's icon resource.
# Run once by hand: python3 make_icon.py > icon.bmp; python3 make_icon.py ico > icon.ico
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


def bgra_rows():
    rows = []
    for y in reversed(range(SIZE)):  # bottom-up rows, in BMP and ICO alike
        for x in range(SIZE):
            r, g, b, a = pixel(x, y)
            rows.append(struct.pack('<BBBB', b, g, r, a))
    return b''.join(rows)


def bmp(image):
    info = struct.pack('<IiiHHIIiiII', 108, SIZE, SIZE, 1, 32, 3, len(image), 2835, 2835, 0, 0)
    info += struct.pack('<IIII', 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000)
    info += b'BGRs' + bytes(36) + bytes(12)  # sRGB colour space, no end points or gamma
    offset = 14 + len(info)
    header = struct.pack('<2sIHHI', b'BM', offset + len(image), 0, 0, offset)
    return header + info + image


# One 32-bit image with its alpha; the 1-bit mask after it marks the transparent pixels for
# systems that ignore alpha. The info header's height counts the colour and the mask rows.
def ico(image):
    mask = bytearray()
    for y in reversed(range(SIZE)):
        bits = 0
        for x in range(SIZE):
            bits = bits << 1 | (pixel(x, y)[3] == 0)
        mask += bits.to_bytes(SIZE // 8, 'big') + bytes(-(SIZE // 8) % 4)  # rows padded to 4 bytes
    info = struct.pack('<IiiHHIIiiII', 40, SIZE, 2 * SIZE, 1, 32, 0, len(image) + len(mask), 0, 0, 0, 0)
    data = info + image + bytes(mask)
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, 1, 32, len(data), 6 + 16)
    return directory + entry + data


def main():
    image = bgra_rows()
    sys.stdout.buffer.write(ico(image) if sys.argv[1:] == ['ico'] else bmp(image))


main()
