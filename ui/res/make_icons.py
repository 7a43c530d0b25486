#!/usr/bin/env python3
"""Draws the program's icons (the application icon; its greyed variants for the
notification area, marked by shape so that they stay apart without colour: a
diagonal bar while nothing is filtered, a clock while the adapter is waited
for, a "!" in a triangle when an error stopped filtering; and the 14 medium
icons of the adapter list) and writes them as .ico files, so no binary artwork needs to
live in the repository. Each holds the sizes Windows asks for at 100, 125, 150
and 200 % display scale: small icons of 16, 20, 24 and 32 pixels, and for the
application icon the large ones of 32, 40, 48 and 64 pixels too."""
import math
import struct
import sys
from pathlib import Path

# 3x5 glyphs for the medium badges.
GLYPHS = {
    "E": ["111", "100", "110", "100", "111"], "T": ["111", "010", "010", "010", "010"],
    "F": ["111", "100", "110", "100", "100"], "W": ["101", "101", "101", "111", "101"],
    "L": ["100", "100", "100", "100", "111"], "D": ["110", "101", "101", "101", "110"],
    "A": ["010", "101", "111", "101", "101"], "R": ["110", "101", "110", "101", "101"],
    "M": ["101", "111", "111", "101", "101"], "I": ["111", "010", "010", "010", "111"],
    "C": ["011", "100", "100", "100", "011"], "1": ["010", "110", "010", "010", "111"],
    "?": ["110", "001", "010", "000", "010"], "2": ["110", "001", "010", "100", "111"],
    "4": ["101", "101", "111", "001", "001"], "8": ["111", "101", "111", "101", "111"],
}

# One per named medium, in the table's order, then the one for unnamed codes.
MEDIUMS = [
    ("E", (0x1f, 0x6f, 0xc8)), ("T", (0x8a, 0x3f, 0xb5)), ("F", (0x2e, 0x8b, 0x57)),
    ("W", (0xd2, 0x69, 0x1e)), ("L", (0x70, 0x80, 0x90)), ("D", (0x00, 0x80, 0x80)),
    ("A", (0xb2, 0x22, 0x22)), ("2", (0xa0, 0x52, 0x2d)), ("M", (0x48, 0x3d, 0x8b)),
    ("W", (0x00, 0x99, 0xcc)), ("I", (0xcc, 0x00, 0x66)), ("C", (0x55, 0x6b, 0x2f)),
    ("1", (0x99, 0x66, 0x00)), ("?", (0x80, 0x80, 0x80)),
]


SMALL_SIZES = [16, 20, 24, 32]
APP_SIZES = [16, 20, 24, 32, 40, 48, 64]


def blank(n):
    return [[(0, 0, 0, 0)] * n for _ in range(n)]


def rounded_box(img, color, radius):
    n = len(img)
    for y in range(n):
        for x in range(n):
            dx = max(radius - x, 0, x - (n - 1 - radius))
            dy = max(radius - y, 0, y - (n - 1 - radius))
            if dx * dx + dy * dy <= radius * radius:
                edge = dx * dx + dy * dy > (radius - 1) ** 2 or x in (0, n - 1) or y in (0, n - 1)
                c = tuple(max(0, v - 60) for v in color) if edge else color
                img[y][x] = c + (255,)


def glyph(img, ch, scale):
    rows = GLYPHS[ch]
    n = len(img)
    w, h = 3 * scale, 5 * scale
    ox, oy = (n - w) // 2, (n - h) // 2
    for gy, row in enumerate(rows):
        for gx, bit in enumerate(row):
            if bit == "1":
                for sy in range(scale):
                    for sx in range(scale):
                        img[oy + gy * scale + sy][ox + gx * scale + sx] = (255, 255, 255, 255)


def app_icon(n):
    """Brackish water between two brackets: a teal square with waves."""
    img = blank(n)
    rounded_box(img, (0x0e, 0x6e, 0x7a), max(2, n // 6))
    s = n / 16.0
    for y in range(n):
        for x in range(n):
            if img[y][x][3] == 0:
                continue
            for base in (5.5, 9.0, 12.5):
                wave = base * s + math.sin((x / s) * 0.9) * 1.1 * s
                if abs(y - wave) < 0.75 * s:
                    img[y][x] = (0xd8, 0xf3, 0xf6, 255)
            # the brackets
            if (x in (int(2 * s), int(2 * s) + 1) or x in (n - 1 - int(2 * s), n - 2 - int(2 * s))) \
                    and 3 * s <= y <= n - 3 * s:
                img[y][x] = (0xff, 0xc8, 0x3d, 255)
            if (int(2 * s) <= x <= int(3.5 * s) or n - 1 - int(3.5 * s) <= x <= n - 1 - int(2 * s)) \
                    and (abs(y - 3 * s) < 0.75 * s or abs(y - (n - 3 * s)) < 0.75 * s):
                img[y][x] = (0xff, 0xc8, 0x3d, 255)
    return img


def idle_icon(n):
    """The application icon washed out to light greys, so that at 16 pixels
    it still reads as the same icon, switched off."""
    img = app_icon(n)
    for row in img:
        for x, (r, g, b, a) in enumerate(row):
            if a:
                grey = int(0.3 * r + 0.59 * g + 0.11 * b)
                grey = 96 + grey * 128 // 255
                row[x] = (grey, grey, grey, a)
    return img


DARK = (0x20, 0x20, 0x20, 255)
LIGHT = (0xff, 0xff, 0xff, 255)


def paint(img, inside, color):
    """Sets every pixel whose centre `inside(x, y)` holds (coordinates in 16ths of the icon)."""
    n = len(img)
    for y in range(n):
        for x in range(n):
            if inside((x + 0.5) * 16.0 / n, (y + 0.5) * 16.0 / n):
                img[y][x] = color


def off_icon(n):
    """Greyed, struck through from corner to corner."""
    img = idle_icon(n)
    paint(img, lambda x, y: abs(x - y) < 2.4 and 0.5 < x < 15.5, LIGHT)
    paint(img, lambda x, y: abs(x - y) < 1.3 and 1 < x < 15, DARK)
    return img


def wait_icon(n):
    """Greyed, with a clock face in the lower right corner."""
    img = idle_icon(n)
    cx, cy = 10.5, 10.5
    paint(img, lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= 5.4 ** 2, DARK)
    paint(img, lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= 4.2 ** 2, LIGHT)
    # The hands: up to twelve and across to three.
    paint(img, lambda x, y: abs(x - cx) < 0.7 and cy - 3.4 < y <= cy + 0.5, DARK)
    paint(img, lambda x, y: abs(y - cy) < 0.7 and cx - 0.5 <= x < cx + 2.8, DARK)
    return img


def error_icon(n):
    """Greyed, with a red warning triangle holding a white "!" in the lower
    right corner: without colour, the triangle still stands apart from the
    clock's circle and the bar."""
    img = idle_icon(n)
    top, bottom, cx = 5.0, 15.6, 10.6

    def triangle(grow):
        return lambda x, y: top - grow <= y <= bottom + grow and abs(x - cx) <= (y - top + grow) * 0.62

    paint(img, triangle(1.0), DARK)
    paint(img, triangle(0.0), (0xd0, 0x1c, 0x1c, 255))
    paint(img, lambda x, y: abs(x - cx) < 0.8 and 8.0 <= y <= 12.2, LIGHT)
    paint(img, lambda x, y: abs(x - cx) < 0.8 and 13.3 <= y <= 14.6, LIGHT)
    return img


def medium_icon(n, ch, color):
    img = blank(n)
    rounded_box(img, color, max(2, n // 6))
    glyph(img, ch, max(1, n // 8))
    return img


def dib(img):
    n = len(img)
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(img) for (r, g, b, a) in row)
    mask_row = ((n + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(img):
        bits = bytearray(mask_row)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def write_ico(path, images):
    blobs = [dib(i) for i in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for img, blob in zip(images, blobs):
        n = len(img)
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    Path(path).write_bytes(out + b"".join(blobs))


def main(out_dir):
    out = Path(out_dir)
    out.mkdir(parents=True, exist_ok=True)
    write_ico(out / "Brackwater.ico", [app_icon(n) for n in APP_SIZES])
    write_ico(out / "BrackwaterIdle.ico", [off_icon(n) for n in SMALL_SIZES])
    write_ico(out / "BrackwaterWait.ico", [wait_icon(n) for n in SMALL_SIZES])
    write_ico(out / "BrackwaterError.ico", [error_icon(n) for n in SMALL_SIZES])
    for i, (ch, color) in enumerate(MEDIUMS):
        write_ico(out / f"medium{i:02d}.ico", [medium_icon(n, ch, color) for n in SMALL_SIZES])


if __name__ == "__main__":
    main(sys.argv[1])
