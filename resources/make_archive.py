#!/usr/bin/env python3
"""Builds Sorvane.jar, the archive of the phone-side client that the server hands out.

The archive is a build input: this script is run by hand and its output is committed
beside Sorvane.jam. The build never runs it.

    python3 resources/make_archive.py [output]      (default: Sorvane.jar beside this script)

The descriptor Sorvane.jam gives the archive's size (AppSize) and time stamp (LastModified);
the script reads both from it, so that the descriptor describes the archive. Contents, all
stored (not deflated), so that the bytes do not depend on the zlib in use:

    META-INF/MANIFEST.MF
    Sorvane_Icon_160x160.gif    the title image (the descriptor's AppMainTitle)
    Sorvane_Icon_48x48.gif      the menu icon (AppIcon)
    res/splash.gif              the 480x480 start screen (the whole DrawArea)
    res/start.au                the start-up arpeggio, 3.5 s
    res/done.au                 the chime at the end of a download

Every entry carries the descriptor's time stamp. The pictures, the manifest and the start-up
sound have fixed sizes; the last note of the download chime rings out over as many samples
as the bytes that remain, so its length is what brings the archive to AppSize exactly.

Everything is computed with integers, so that two runs (on any machine) give the same bytes.
"""

import struct
import sys
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent
MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]


def read_descriptor(path):
    """The archive size and the time stamp (year, month, day, hour, minute, second) that the
    descriptor's AppSize and LastModified ("Tue, 20 Sep 2011 16:34:40") give."""
    entries = {}
    for line in path.read_bytes().decode("ascii").split("\r\n"):
        if line:
            key, value = line.split(" = ", 1)
            entries[key] = value
    _weekday, day, month, year, clock = entries["LastModified"].split()
    hour, minute, second = (int(part) for part in clock.split(":"))
    stamp = (int(year), MONTHS.index(month) + 1, int(day), hour, minute, second)
    return int(entries["AppSize"]), stamp


ARCHIVE_SIZE, TIMESTAMP = read_descriptor(HERE / "Sorvane.jam")

MANIFEST = (
    "Manifest-Version: 1.0\r\n"
    "Created-By: Sorvane build\r\n"
    "Main-Class: sorvane.Main\r\n"
    "\r\n"
).encode("ascii")


# ---------------------------------------------------------------------------------------------
# Drawing. A picture is a stack of layers; each layer is a shape (a test on a point) and a
# paint (a colour for a pixel). Points are given in eighths of a pixel. A pixel whose four
# corners and centre hit the same layer takes that layer's colour; other pixels are sampled
# 4 x 4 and mixed in quarters, which smooths the edges with few distinct colours.

SUB = 8  # units per pixel


def rounded_rect(x0, y0, x1, y1, radius):
    """Rectangle [x0, x1) x [y0, y1) in pixels with corners of the given radius."""
    x0, y0, x1, y1, r = x0 * SUB, y0 * SUB, x1 * SUB, y1 * SUB, radius * SUB

    def inside(x, y):
        if x < x0 or x >= x1 or y < y0 or y >= y1:
            return False
        cx = x0 + r if x < x0 + r else (x1 - r if x > x1 - r else x)
        cy = y0 + r if y < y0 + r else (y1 - r if y > y1 - r else y)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r

    return inside


def ellipse(cx, cy, rx, ry):
    cx, cy, rx, ry = cx * SUB, cy * SUB, rx * SUB, ry * SUB

    def inside(x, y):
        return (x - cx) ** 2 * ry * ry + (y - cy) ** 2 * rx * rx <= rx * rx * ry * ry

    return inside


def intersect(*shapes):
    return lambda x, y: all(shape(x, y) for shape in shapes)


def offset(shape, dx, dy):
    return lambda x, y: shape(x - dx * SUB, y - dy * SUB)


# Directions for the ends of the letter's arcs, scaled by 1000 (screen coordinates, y down).
DIR_UP = (0, -1000)
DIR_DOWN = (0, 1000)
DIR_30_ABOVE_RIGHT = (866, -500)
DIR_30_BELOW_LEFT = (-866, 500)


def _in_sector(dx, dy, first, second):
    """True when (dx, dy) lies strictly between the directions first and second, turning
    clockwise on the screen from first to second (a sector narrower than a half turn)."""
    return (first[0] * dy - first[1] * dx) > 0 and (dx * second[1] - dy * second[0]) > 0


def letter_s(cx, cy, height, stroke):
    """The "S" mark: two rings of equal size stacked, each with a sector cut away, centred on
    (cx, cy), `height` pixels tall from the top of the upper ring to the bottom of the lower."""
    cx, cy, height, stroke = cx * SUB, cy * SUB, height * SUB, stroke * SUB
    radius = (height - stroke) // 4  # the rings' centre line
    outer2 = (radius + stroke // 2) ** 2
    inner2 = (radius - stroke // 2) ** 2
    upper_y = cy - radius
    lower_y = cy + radius

    def inside(x, y):
        dx = x - cx
        for ring_y, cut_from, cut_to in (
            # Upper ring: open on the right between its lower end and the top terminal.
            (upper_y, DIR_30_ABOVE_RIGHT, DIR_DOWN),
            # Lower ring: open on the left between its upper end and the bottom terminal.
            (lower_y, DIR_30_BELOW_LEFT, DIR_UP),
        ):
            dy = y - ring_y
            d2 = dx * dx + dy * dy
            if inner2 <= d2 <= outer2 and not _in_sector(dx, dy, cut_from, cut_to):
                return True
        return False

    return inside


# A 5 x 7 pixel font with the few characters the pictures use.
FONT = {
    "S": [".###.", "#...#", "#....", ".###.", "....#", "#...#", ".###."],
    "V": ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "o": [".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    "v": [".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "n": [".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"],
    "e": [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    "0": [".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."],
    "1": ["..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."],
    ".": ["...", "...", "...", "...", "...", ".##", ".##"],
    " ": ["...", "...", "...", "...", "...", "...", "..."],
}


def text_width(string, scale):
    return (sum(len(FONT[c][0]) + 1 for c in string) - 1) * scale


def text(string, left, top, scale):
    """The marks of `string` in the pixel font, each mark a square of scale x scale pixels."""
    covered = set()
    x = left
    for char in string:
        rows = FONT[char]
        for row, line in enumerate(rows):
            for column, mark in enumerate(line):
                if mark == "#":
                    for dy in range(scale):
                        for dx in range(scale):
                            covered.add((x + column * scale + dx, top + row * scale + dy))
        x += (len(rows[0]) + 1) * scale
    return lambda px, py: (px // SUB, py // SUB) in covered


def vertical_ramp(top, bottom, y0, y1, steps):
    """A paint that runs from colour `top` at row y0 to `bottom` at row y1 in `steps` bands."""

    def paint(_x, y):
        t = min(max(y - y0, 0), y1 - y0)
        k = t * (steps - 1) // max(y1 - y0, 1)
        return mix(top, bottom, k, steps - 1)

    return paint


def diffused_glow(width, height, centre, reach, inner, outer, steps):
    """A paint that fades from colour `inner` at `centre` to `outer` at `reach` pixels from it,
    in `steps` shades whose bands are smoothed by error diffusion (Floyd-Steinberg)."""
    top = (steps - 1) * 256  # shade positions in 1/256 of a step
    error = [0] * (width + 2)
    shades = []
    for y in range(height):
        below = [0] * (width + 2)
        row = []
        for x in range(width):
            d2 = (x - centre[0]) ** 2 + (y - centre[1]) ** 2
            wanted = min(d2 * top // (reach * reach), top) + error[x + 1] // 16
            shade = min(max((wanted + 128) // 256, 0), steps - 1)
            rest = wanted - shade * 256
            error[x + 2] += rest * 7
            below[x] += rest * 3
            below[x + 1] += rest * 5
            below[x + 2] += rest
            row.append(mix(inner, outer, shade, steps - 1))
        shades.append(row)
        error = below
    return lambda x, y: shades[y][x]


def everywhere(_x, _y):
    return True


def solid(colour):
    return lambda _x, _y: colour


def mix(a, b, k, n):
    return tuple((a[i] * (n - k) + b[i] * k + n // 2) // n for i in range(3))


TRANSPARENT = None


def render(width, height, layers):
    """Returns rows of colours (RGB tuples, or TRANSPARENT) for a stack of (shape, paint)
    layers, the first one at the bottom. A paint of TRANSPARENT leaves the pixel clear."""
    shapes = [shape for shape, _ in layers]

    def hit(x, y):
        for index in range(len(shapes) - 1, -1, -1):
            if shapes[index](x, y):
                return index
        return 0

    corner_rows = [[hit(x * SUB, y * SUB) for x in range(width + 1)] for y in range(height + 1)]
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            corners = {corner_rows[y][x], corner_rows[y][x + 1], corner_rows[y + 1][x],
                       corner_rows[y + 1][x + 1], hit(x * SUB + SUB // 2, y * SUB + SUB // 2)}
            if len(corners) == 1:
                counts = {corners.pop(): 16}
            else:
                counts = {}
                for sy in range(1, SUB, 2):
                    for sx in range(1, SUB, 2):
                        index = hit(x * SUB + sx, y * SUB + sy)
                        counts[index] = counts.get(index, 0) + 1
            row.append(blend(counts, layers, x, y))
        rows.append(row)
    return rows


def blend(counts, layers, x, y):
    if len(counts) == 1:
        return layers[next(iter(counts))][1](x, y)
    # Mix in quarters: each layer's share is rounded to 0..4 quarters, the largest share takes
    # what rounding leaves over. A pixel at least half clear stays clear; otherwise the clear
    # share is left out, so that no light or dark fringe shows on whatever lies beneath.
    order = sorted(counts, key=lambda index: (-counts[index], -index))
    quarters = {index: (counts[index] + 2) // 4 for index in order[1:]}
    quarters[order[0]] = 4 - sum(quarters.values())
    if quarters[order[0]] < 0:
        quarters = {order[0]: 4}
    colours = []
    for index, share in quarters.items():
        colour = layers[index][1](x, y)
        if colour is TRANSPARENT:
            if share >= 2:
                return TRANSPARENT
        elif share:
            colours.append((colour, share))
    total = sum(share for _, share in colours)
    return tuple((sum(c[i] * s for c, s in colours) + total // 2) // total for i in range(3))


# ---------------------------------------------------------------------------------------------
# GIF writing.

def lzw_encode(pixels, min_code_size):
    """The LZW code stream of a GIF image, packed into bytes (least significant bit first)."""
    clear = 1 << min_code_size
    end = clear + 1
    out = bytearray()
    bit_buffer = 0
    bit_count = 0

    def emit(code, width):
        nonlocal bit_buffer, bit_count
        bit_buffer |= code << bit_count
        bit_count += width
        while bit_count >= 8:
            out.append(bit_buffer & 0xFF)
            bit_buffer >>= 8
            bit_count -= 8

    width = min_code_size + 1
    next_code = end + 1
    table = {}
    emit(clear, width)
    prefix = pixels[0]
    for pixel in pixels[1:]:
        key = (prefix, pixel)
        if key in table:
            prefix = table[key]
            continue
        emit(prefix, width)
        if next_code == 4095:
            # The table is full: start over, as a decoder will after the clear code.
            emit(clear, width)
            table.clear()
            width = min_code_size + 1
            next_code = end + 1
        else:
            table[key] = next_code
            if next_code == 1 << width:
                width += 1
            next_code += 1
        prefix = pixel
    emit(prefix, width)
    emit(end, width)
    if bit_count:
        out.append(bit_buffer & 0xFF)
    return bytes(out)


def lzw_decode(data, min_code_size, count):
    """Decodes a code stream written by lzw_encode; used to check the encoder's output."""
    clear = 1 << min_code_size
    end = clear + 1
    position = 0
    pixels = []
    width = min_code_size + 1
    table = [(i,) for i in range(clear)] + [None, None]
    previous = None
    while True:
        code = 0
        for bit in range(width):
            index = position + bit
            code |= ((data[index >> 3] >> (index & 7)) & 1) << bit
        position += width
        if code == clear:
            width = min_code_size + 1
            table = table[:end + 1]
            previous = None
            continue
        if code == end:
            break
        if previous is None:
            entry = table[code]
        else:
            if code < len(table):
                entry = table[code]
                table.append(previous + entry[:1])
            else:
                entry = previous + previous[:1]
                table.append(entry)
            if len(table) == 1 << width and width < 12:
                width += 1
        pixels.extend(entry)
        previous = entry
    if len(pixels) != count:
        raise AssertionError("LZW round trip gave %d pixels, not %d" % (len(pixels), count))
    return pixels


def gif(rows):
    """A GIF89a file of the picture; TRANSPARENT pixels use a transparent palette entry."""
    height = len(rows)
    width = len(rows[0])
    colours = sorted({c for row in rows for c in row if c is not TRANSPARENT})
    has_clear = any(c is TRANSPARENT for row in rows for c in row)
    palette = colours + ([(255, 255, 255)] if has_clear else [])
    if len(palette) > 256:
        raise AssertionError("%d colours do not fit a GIF palette" % len(palette))
    index_of = {c: i for i, c in enumerate(colours)}
    clear_index = len(colours)
    pixels = [clear_index if c is TRANSPARENT else index_of[c] for row in rows for c in row]

    bits = 1
    while (1 << bits) < len(palette):
        bits += 1
    table = b"".join(struct.pack("BBB", *c) for c in palette)
    table += b"\0" * (3 * (1 << bits) - len(table))
    min_code_size = max(2, bits)
    code_stream = lzw_encode(pixels, min_code_size)
    if lzw_decode(code_stream, min_code_size, len(pixels)) != pixels:
        raise AssertionError("LZW round trip changed the picture")

    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", width, height, 0x80 | ((bits - 1) << 4) | (bits - 1), 0, 0)
    out += table
    if has_clear:
        out += struct.pack("<BBBBHBB", 0x21, 0xF9, 4, 0x01, 0, clear_index, 0)
    out += struct.pack("<BHHHHB", 0x2C, 0, 0, width, height, 0)
    out.append(min_code_size)
    for start in range(0, len(code_stream), 255):
        block = code_stream[start:start + 255]
        out.append(len(block))
        out += block
    out += b"\x00\x3B"
    return bytes(out)


# ---------------------------------------------------------------------------------------------
# The pictures.

GREEN_LIGHT = (118, 208, 96)
GREEN_DARK = (28, 128, 44)
GREEN_EDGE = (16, 88, 30)
GLOSS_TOP = (196, 238, 180)
GLOSS_BOTTOM = (132, 216, 112)
WHITE = (255, 255, 255)
SHADOW = (18, 96, 34)
MINT = (236, 248, 232)
LEAF = (168, 222, 150)
INK = (22, 92, 36)


def button_layers(left, top, size, with_name):
    """The green button with the white "S" (and, when asked, the name under it)."""
    radius = size * 20 // 100
    border = max(1, size // 40)
    right, bottom = left + size, top + size
    ground = rounded_rect(left, top, right, bottom, radius)
    face = rounded_rect(left + border, top + border, right - border, bottom - border,
                        radius - border)
    gloss = intersect(face, ellipse(left + size // 2, top + size * 18 // 100,
                                    size * 62 // 100, size * 34 // 100))
    layers = [
        (ground, solid(GREEN_EDGE)),
        (face, vertical_ramp(GREEN_LIGHT, GREEN_DARK, top, bottom, 12)),
        (gloss, vertical_ramp(GLOSS_TOP, GLOSS_BOTTOM, top, top + size // 2, 6)),
    ]
    if with_name:
        mark_height = size * 56 // 100
        mark_centre = top + size * 40 // 100
    else:
        mark_height = size * 68 // 100
        mark_centre = top + size // 2
    stroke = max(3, mark_height * 22 // 100)
    mark = letter_s(left + size // 2, mark_centre, mark_height, stroke)
    shift = max(1, size // 60)
    layers.append((offset(mark, shift, shift), solid(SHADOW)))
    layers.append((mark, solid(WHITE)))
    if with_name:
        scale = max(1, size // 70)
        name = "Sorvane"
        name_left = left + (size - text_width(name, scale)) // 2
        name_top = top + size * 76 // 100
        layers.append((offset(text(name, name_left, name_top, scale), scale // 2 or 1,
                               scale // 2 or 1), solid(SHADOW)))
        layers.append((text(name, name_left, name_top, scale), solid(WHITE)))
    return layers


def icon(size, with_name):
    margin = max(1, size // 32)
    return render(size, size, [(everywhere, solid(TRANSPARENT))]
                  + button_layers(margin, margin, size - 2 * margin, with_name))


def splash():
    size = 480
    layers = [(everywhere, diffused_glow(size, size, (size // 2, 170), 400, MINT, LEAF, 24))]
    button = 208
    button_left = (size - button) // 2
    button_top = 56
    layers.append((rounded_rect(button_left + 6, button_top + 8, button_left + button + 6,
                                button_top + button + 8, button * 20 // 100),
                   solid(mix(LEAF, INK, 1, 4))))
    layers += button_layers(button_left, button_top, button, False)
    for string, scale, top in (("Sorvane", 8, 316), ("V 0.0.1", 3, 400)):
        left = (size - text_width(string, scale)) // 2
        layers.append((text(string, left, top, scale), solid(INK)))
    return render(size, size, layers)


# ---------------------------------------------------------------------------------------------
# The sounds: bell-like notes, each a sine with a weaker octave above it. .au audio files,
# 8-bit mu-law, mono.

RATE = 22050
AU_NOTE = b"Sorvane\0"  # the header's free text
AU_HEADER_SIZE = 24 + len(AU_NOTE)


def ms(milliseconds):
    return RATE * milliseconds // 1000


# Played with the start screen: a rising arpeggio (G5 C6 E6 G6).
START_NOTES = [(784, ms(0)), (1047, ms(120)), (1319, ms(240)), (1568, ms(360))]
START_SAMPLES = ms(3500)
# Played when a download has finished: E6 then C7.
DONE_NOTES = [(1319, ms(0)), (2093, ms(110))]
NOTE_DECAY = ms(600)  # how long every note but the last one sounds


def _sine_table(size):
    """One period of a sine, amplitude 32767, by Bhaskara's rational approximation."""
    half = size // 2
    table = []
    for i in range(size):
        t = i % half
        u = t * (half - t)
        value = 4 * 32400 * u * 32767 // (40500 * half * half - 32400 * u)
        table.append(value if i < half else -value)
    return table


SINE = _sine_table(4096)


def _mu_law(sample):
    """G.711 mu-law byte of a signed 16-bit sample."""
    sign = 0x80 if sample < 0 else 0
    magnitude = min(abs(sample), 32635) + 0x84
    exponent = 7
    mask = 0x4000
    while exponent > 0 and not magnitude & mask:
        exponent -= 1
        mask >>= 1
    mantissa = (magnitude >> (exponent + 3)) & 0x0F
    return ~(sign | (exponent << 4) | mantissa) & 0xFF


def chime(notes, count):
    """`count` samples of the (frequency, start sample) notes. Every note but the last fades
    out over NOTE_DECAY; the last one rings until the last sample, where it reaches silence."""
    samples = bytearray()
    for n in range(count):
        total = 0
        for number, (frequency, start) in enumerate(notes):
            age = n - start
            length = NOTE_DECAY if number < len(notes) - 1 else count - start
            if age < 0 or age >= length:
                continue
            remaining = length - age
            envelope = remaining * remaining * 1024 // (length * length)
            attack = min(age, 64) * 1024 // 64
            phase = frequency * age * 4096 // RATE % 4096
            octave = 2 * frequency * age * 4096 // RATE % 4096
            wave = (3 * SINE[phase] + SINE[octave]) // 4
            total += wave * envelope // 1024 * attack // 1024 * 2 // 5
        samples.append(_mu_law(max(-32768, min(32767, total))))
    return bytes(samples)


def au(data):
    """An .au audio file of mu-law samples: mono, RATE samples a second."""
    header = struct.pack(">4sIIIII", b".snd", AU_HEADER_SIZE, len(data), 1, RATE, 1) + AU_NOTE
    return header + data


# ---------------------------------------------------------------------------------------------
# The archive, written field by field.

def dos_date_time(stamp):
    year, month, day, hour, minute, second = stamp
    return ((year - 1980) << 9) | (month << 5) | day, (hour << 11) | (minute << 5) | (second // 2)


def local_header_size(name):
    return 30 + len(name)


def central_entry_size(name):
    return 46 + len(name)


def archive(entries):
    """A zip archive of (name, data) entries, all stored, all with TIMESTAMP."""
    date, time = dos_date_time(TIMESTAMP)
    body = bytearray()
    directory = bytearray()
    for name, data in entries:
        encoded = name.encode("ascii")
        crc = zlib.crc32(data) & 0xFFFFFFFF
        offset_of_entry = len(body)
        body += struct.pack("<IHHHHHIIIHH", 0x04034B50, 10, 0, 0, time, date, crc, len(data),
                            len(data), len(encoded), 0)
        body += encoded + data
        directory += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 10, 0, 0, time, date,
                                 crc, len(data), len(data), len(encoded), 0, 0, 0, 0, 0,
                                 offset_of_entry)
        directory += encoded
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries),
                      len(directory), len(body), 0)
    return bytes(body + directory + end)


def build():
    fixed = [
        ("META-INF/MANIFEST.MF", MANIFEST),
        ("Sorvane_Icon_160x160.gif", gif(icon(160, True))),
        ("Sorvane_Icon_48x48.gif", gif(icon(48, False))),
        ("res/splash.gif", gif(splash())),
        ("res/start.au", au(chime(START_NOTES, START_SAMPLES))),
    ]
    tuned = "res/done.au"
    used = 22 + local_header_size(tuned) + central_entry_size(tuned) + AU_HEADER_SIZE
    for name, data in fixed:
        used += local_header_size(name) + central_entry_size(name) + len(data)
    samples = ARCHIVE_SIZE - used
    if not ms(1000) <= samples <= ms(8000):
        raise SystemExit("the download chime would last %d ms; redraw the pictures"
                         % (samples * 1000 // RATE))
    result = archive(fixed + [(tuned, au(chime(DONE_NOTES, samples)))])
    assert len(result) == ARCHIVE_SIZE
    return result


def main():
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else HERE / "Sorvane.jar"
    data = build()
    target.write_bytes(data)
    print("%s: %d bytes" % (target, len(data)))


if __name__ == "__main__":
    main()
