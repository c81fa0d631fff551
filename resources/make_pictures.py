#!/usr/bin/env python3
"""Draws the program's pictures: the icon group (sorvane.ico: 16, 32 and 48 pixels) and the logo bitmap of
the version page (logo.bmp: 88 x 31 pixels, 24 bits per pixel), the product name in white on a green,
button-like ground. Standard library only; run it again after a change and check in both files."""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# A small pixel font: 4 columns, 7 rows; '#' is ink. Lowercase letters use the lower 5 rows.
GLYPHS = {
    "S": [".##.", "#..#", "#...", ".##.", "...#", "#..#", ".##."],
    "o": ["....", "....", ".##.", "#..#", "#..#", "#..#", ".##."],
    "r": ["....", "....", "#.##", "##..", "#...", "#...", "#..."],
    "v": ["....", "....", "#..#", "#..#", "#..#", ".##.", ".##."],
    "a": ["....", "....", ".##.", "...#", ".###", "#..#", ".###"],
    "n": ["....", "....", "###.", "#..#", "#..#", "#..#", "#..#"],
    "e": ["....", "....", ".##.", "#..#", "####", "#...", ".##."],
}

GREEN_TOP = (0x5C, 0xC8, 0x5A)
GREEN_BOTTOM = (0x1E, 0x7A, 0x2E)
GREEN_EDGE = (0x10, 0x4E, 0x1A)
WHITE = (0xFF, 0xFF, 0xFF)
SHADOW = (0x0C, 0x3C, 0x14)


def blend(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def button(width, height, radius):
    """A rounded green button: gradient from top to bottom, a lighter band on the upper half, a dark edge.
    Returns rows of (r, g, b, alpha)."""
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            # Distance outside the rounded corners decides transparency.
            cx = min(max(x, radius), width - 1 - radius)
            cy = min(max(y, radius), height - 1 - radius)
            d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
            if d > radius + 0.5:
                row.append((0, 0, 0, 0))
                continue
            colour = blend(GREEN_TOP, GREEN_BOTTOM, y / max(1, height - 1))
            if y < height * 0.45:
                colour = blend(colour, WHITE, 0.18)
            if d > radius - 0.7 or x == 0 or y == 0 or x == width - 1 or y == height - 1:
                colour = GREEN_EDGE
            row.append(colour + (255,))
        rows.append(row)
    return rows


def draw_text(rows, text, left, top, scale, colour, shadow=None):
    x = left
    for ch in text:
        glyph = GLYPHS[ch]
        for gy, line in enumerate(glyph):
            for gx, cell in enumerate(line):
                if cell != "#":
                    continue
                for sy in range(scale):
                    for sx in range(scale):
                        px, py = x + gx * scale + sx, top + gy * scale + sy
                        if shadow is not None and 0 <= py + 1 < len(rows) and 0 <= px + 1 < len(rows[0]):
                            if rows[py + 1][px + 1][:3] != colour:
                                rows[py + 1][px + 1] = shadow + (255,)
                        rows[py][px] = colour + (255,)
        x += (len(glyph[0]) + 1) * scale


def text_width(text, scale):
    return sum((len(GLYPHS[ch][0]) + 1) * scale for ch in text) - scale


def bmp_24(rows):
    """A bottom-up 24-bit BMP file; the transparent corners get the ground of a dialog."""
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    pixels = b""
    face = (0xF0, 0xF0, 0xF0)
    for row in reversed(rows):
        line = b""
        for r, g, b, a in row:
            if a == 0:
                r, g, b = face
            line += bytes((b, g, r))
        pixels += line + b"\0" * (stride - len(line))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def icon_image(rows):
    """One 32-bit icon image: BITMAPINFOHEADER (double height), BGRA pixels bottom-up, AND mask."""
    size = len(rows)
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(line)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def icon_file(images):
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    data = b""
    for size, image in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset + len(data))
        data += image
    return header + entries + data


def icon_rows(size):
    rows = button(size, size, max(2, size // 6))
    scale = max(1, (size * 5 // 8) // 7)
    width = 4 * scale
    height = 7 * scale
    draw_text(rows, "S", (size - width) // 2, (size - height) // 2, scale, WHITE,
              SHADOW if size >= 32 else None)
    return rows


def main():
    logo = button(88, 31, 6)
    scale = 2
    draw_text(logo, "Sorvane", (88 - text_width("Sorvane", scale)) // 2, (31 - 7 * scale) // 2, scale, WHITE,
              SHADOW)
    with open(os.path.join(HERE, "logo.bmp"), "wb") as f:
        f.write(bmp_24(logo))
    images = [(size, icon_image(icon_rows(size))) for size in (16, 32, 48)]
    with open(os.path.join(HERE, "sorvane.ico"), "wb") as f:
        f.write(icon_file(images))


if __name__ == "__main__":
    main()
