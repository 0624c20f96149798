#!/usr/bin/env python3
"""Draws the meter window's images and icons and writes them as XPM data.

    python3 meter/app/art/make_art.py [output folder]   (default: meter/app/images)
    python3 meter/app/art/make_art.py --icon SIZE FILE.png   (the icon for the desktop)

Every rectangle below is the one the window puts a widget on, so the boxes, arrows, lamp
sockets, meter cells and the scale line up with the drawn controls. The images are written
with a palette of exactly the number of colours their header names (unused entries are
padding), two characters per pixel and 16 bits per channel.
"""
import os
import struct
import sys
import zlib

# 5 x 9 glyphs: rows 0-6 stand on the baseline, rows 7-8 are the descender.
GLYPHS = {
    'A': [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#", ".....", "....."],
    'B': ["####.", "#...#", "#...#", "####.", "#...#", "#...#", "####.", ".....", "....."],
    'C': [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###.", ".....", "....."],
    'D': ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####.", ".....", "....."],
    'F': ["#####", "#....", "#....", "####.", "#....", "#....", "#....", ".....", "....."],
    'I': [".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###.", ".....", "....."],
    'M': ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#", ".....", "....."],
    'O': [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###.", ".....", "....."],
    'P': ["####.", "#...#", "#...#", "####.", "#....", "#....", "#....", ".....", "....."],
    'R': ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#", ".....", "....."],
    'S': [".####", "#....", "#....", ".###.", "....#", "....#", "####.", ".....", "....."],
    'a': [".....", ".....", ".###.", "....#", ".####", "#...#", ".####", ".....", "....."],
    'b': ["#....", "#....", "####.", "#...#", "#...#", "#...#", "####.", ".....", "....."],
    'c': [".....", ".....", ".###.", "#....", "#....", "#....", ".###.", ".....", "....."],
    'e': [".....", ".....", ".###.", "#...#", "#####", "#....", ".###.", ".....", "....."],
    'g': [".....", ".....", ".####", "#...#", "#...#", "#...#", ".####", "....#", ".###."],
    'h': ["#....", "#....", "####.", "#...#", "#...#", "#...#", "#...#", ".....", "....."],
    'i': ["..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###.", ".....", "....."],
    'k': ["#....", "#....", "#..#.", "#.#..", "##...", "#.#..", "#..#.", ".....", "....."],
    'l': [".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###.", ".....", "....."],
    'm': [".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#...#", ".....", "....."],
    'n': [".....", ".....", "####.", "#...#", "#...#", "#...#", "#...#", ".....", "....."],
    'o': [".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###.", ".....", "....."],
    'p': [".....", ".....", "####.", "#...#", "#...#", "#...#", "####.", "#....", "#...."],
    'r': [".....", ".....", "#.##.", "##..#", "#....", "#....", "#....", ".....", "....."],
    's': [".....", ".....", ".####", "#....", ".###.", "....#", "####.", ".....", "....."],
    't': [".#...", ".#...", "####.", ".#...", ".#...", ".#..#", "..##.", ".....", "....."],
    'u': [".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#", ".....", "....."],
    'v': [".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#..", ".....", "....."],
    '0': [".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###.", ".....", "....."],
    '1': ["..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###.", ".....", "....."],
    '2': [".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####", ".....", "....."],
    '3': ["####.", "....#", "....#", ".###.", "....#", "....#", "####.", ".....", "....."],
    '5': ["#####", "#....", "####.", "....#", "....#", "#...#", ".###.", ".....", "....."],
    '6': [".###.", "#....", "#....", "####.", "#...#", "#...#", ".###.", ".....", "....."],
    '8': [".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###.", ".....", "....."],
    '9': [".###.", "#...#", "#...#", ".####", "....#", "....#", ".###.", ".....", "....."],
    '-': [".....", ".....", ".....", ".###.", ".....", ".....", ".....", ".....", "....."],
    '.': [".....", ".....", ".....", ".....", ".....", ".##..", ".##..", ".....", "....."],
    '/': ["....#", "....#", "...#.", "..#..", ".#...", "#....", "#....", ".....", "....."],
    ':': [".....", ".##..", ".##..", ".....", ".##..", ".##..", ".....", ".....", "....."],
    '?': [".###.", "#...#", "....#", "..##.", "..#..", ".....", "..#..", ".....", "....."],
    ' ': [".....", ".....", ".....", ".....", ".....", ".....", ".....", ".....", "....."],
}

# 8-bit colours.
PANEL = (41, 0, 189)
BOX = (0, 255, 18)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
FACE = (192, 192, 192)
LIGHT = (240, 240, 240)
SHADE = (96, 96, 96)
RULE = (150, 140, 230)
SOCKET = (16, 0, 70)

SEGMENT_THRESHOLDS = [-0.5, -1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -11, -12, -13, -14, -15,
                      -16, -17, -18, -19, -20, -21, -24, -27, -30, -33, -36, -42, -48, -54, -60,
                      -72, -84, -96, -108]
SCALE_MARKS = {-0.5: "-0.5", -3: "3", -6: "6", -9: "9", -12: "12", -15: "15", -18: "18",
               -21: "21", -36: "36", -60: "60", -108: "108"}
SEGMENT_HEIGHT = 5
METER_TOP = 23
LEFT_METER_X, RIGHT_METER_X = 159, 200


class Canvas:
    def __init__(self, width, height, colour):
        self.width, self.height = width, height
        self.pixels = [[colour] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def fill(self, x, y, w, h, colour):
        for row in range(y, y + h):
            for col in range(x, x + w):
                self.put(col, row, colour)

    def frame(self, x, y, w, h, colour):
        self.fill(x, y, w, 1, colour)
        self.fill(x, y + h - 1, w, 1, colour)
        self.fill(x, y, 1, h, colour)
        self.fill(x + w - 1, y, 1, h, colour)

    def raised(self, x, y, w, h, face):
        self.fill(x, y, w, h, face)
        self.fill(x, y, w, 1, LIGHT)
        self.fill(x, y, 1, h, LIGHT)
        self.fill(x, y + h - 1, w, 1, SHADE)
        self.fill(x + w - 1, y, 1, h, SHADE)

    def text(self, x, y, text, colour, bold=False):
        for i, ch in enumerate(text):
            glyph = GLYPHS[ch]
            for row, line in enumerate(glyph):
                for col, cell in enumerate(line):
                    if cell == '#':
                        self.put(x + i * 6 + col, y + row, colour)
                        if bold:
                            self.put(x + i * 6 + col + 1, y + row, colour)

    def blit(self, other, x, y):
        for row in range(other.height):
            for col in range(other.width):
                self.put(x + col, y + row, other.pixels[row][col])


def text_width(text, bold=False):
    return len(text) * 6 - 1 + (1 if bold else 0)


def arrow(canvas, x, y, w, h, up):
    """A raised arrow button with a black triangle in the middle."""
    canvas.raised(x, y, w, h, FACE)
    cx = x + w // 2
    top = y + (h - 4) // 2
    for i in range(4):
        row = top + i if up else top + 3 - i
        canvas.fill(cx - i, row, 2 * i + 1, 1, BLACK)


def choice_box(canvas, x, y, w, h):
    canvas.fill(x, y, w, h, BOX)
    canvas.frame(x, y, w, h, BLACK)


def switch_bar(face):
    bar = Canvas(123, 19, face)
    bar.raised(0, 0, 123, 19, face)
    label = "S/PDIF Slave"
    bar.text((123 - text_width(label, True)) // 2, 6, label, BLACK, bold=True)
    return bar


def meter_column(lit):
    colours = {
        'red': (255, 32, 32) if lit else (90, 0, 0),
        'yellow': (255, 224, 0) if lit else (90, 78, 0),
        'green': (0, 230, 40) if lit else (0, 70, 14),
    }
    image = Canvas(9, 176, BLACK)
    for i in range(35):
        kind = 'red' if i < 2 else 'yellow' if i < 10 else 'green'
        image.fill(1, i * SEGMENT_HEIGHT, 7, SEGMENT_HEIGHT - 1, colours[kind])
    return image


def lamp(lit):
    image = Canvas(9, 9, (40, 0, 0))
    image.fill(1, 1, 7, 7, (255, 40, 40) if lit else (110, 0, 0))
    if lit:
        image.fill(2, 2, 2, 2, (255, 200, 200))
    return image


def background():
    c = Canvas(230, 262, PANEL)
    # Help button.
    c.raised(120, 11, 15, 14, FACE)
    c.text(125, 14, "?", BLACK)

    def choice_group(caption, caption_y, box, up, down):
        if caption:
            c.text(12, caption_y, caption, WHITE)
        choice_box(c, *box)
        arrow(c, *up, True)
        arrow(c, *down, False)

    choice_group("Signal Routing", 22, (12, 35, 108, 19), (120, 32, 15, 13), (120, 45, 15, 13))
    choice_group("Sample Rate", 69, (12, 82, 108, 19), (120, 79, 15, 13), (120, 92, 15, 13))
    c.blit(switch_bar(FACE), 12, 111)
    choice_group("Meter Ballistics", 144, (12, 157, 108, 19), (120, 154, 15, 13),
                 (120, 167, 15, 13))
    c.text(12, 187, "Clip Detection", WHITE)
    c.text(12, 209, "Overs:", WHITE)
    choice_group(None, 0, (54, 203, 67, 19), (120, 200, 15, 13), (120, 214, 15, 13))
    c.text(12, 238, "Bits:", WHITE)
    choice_group(None, 0, (54, 232, 67, 19), (120, 229, 15, 13), (120, 242, 15, 13))

    # The rule between the columns.
    c.fill(145, 6, 1, 250, RULE)

    # Lamp sockets with the word between them.
    for x in (LEFT_METER_X, RIGHT_METER_X):
        c.frame(x - 1, 10, 11, 11, SOCKET)
        c.blit(lamp(False), x, 11)
    c.text(173, 10, "clip", WHITE)

    # Meter channels and the scale between them, each mark beside its cell.
    for x in (LEFT_METER_X, RIGHT_METER_X):
        c.frame(x - 1, METER_TOP - 1, 11, 178, SOCKET)
        c.blit(meter_column(False), x, METER_TOP)
    for index, threshold in enumerate(SEGMENT_THRESHOLDS):
        label = SCALE_MARKS.get(threshold)
        if label is None:
            continue
        cell_middle = METER_TOP + index * SEGMENT_HEIGHT + 1
        c.fill(169, cell_middle, 2, 2, WHITE)
        c.fill(197, cell_middle, 2, 2, WHITE)
        c.text(184 - text_width(label) // 2, cell_middle - 2, label, WHITE)

    # The read-out box that both read-outs share.
    choice_box(c, 154, 212, 63, 38)
    return c


ICON_COLOURS = [PANEL, BLACK, WHITE, BOX, (255, 32, 32), (255, 224, 0), (0, 70, 14), FACE]


def icon(size):
    c = Canvas(size, size, PANEL)
    c.frame(0, 0, size, size, BLACK)
    bar_w = max(2, size // 4)
    bottom = size - 3
    for left, height in ((size // 4 - bar_w // 2, size * 5 // 8), (size * 3 // 4 - bar_w // 2, size * 7 // 8 - 2)):
        c.fill(left, 2, bar_w, bottom - 2, (0, 70, 14))
        for row in range(bottom - height, bottom):
            share = (bottom - row) / (bottom - 2)
            colour = (255, 32, 32) if share > 0.85 else (255, 224, 0) if share > 0.6 else BOX
            c.fill(left, row, bar_w, 1, colour)
    return c


KEY_ALPHABET = "abcdefghijklmnopqrstuvwxyzABCDEF"


def write_xpm(path, name, canvas, colour_count):
    used = []
    for row in canvas.pixels:
        for colour in row:
            if colour not in used:
                used.append(colour)
    if len(used) > colour_count:
        raise SystemExit(f"{name}: {len(used)} colours, more than {colour_count}")
    palette = list(used)
    grey = 0
    while len(palette) < colour_count:
        padding = (grey % 256, grey % 256, (grey * 7) % 256)
        grey += 1
        if padding not in palette:
            palette.append(padding)
    keys = [KEY_ALPHABET[i // 32] + KEY_ALPHABET[i % 32] for i in range(colour_count)]
    key_of = dict(zip(palette, keys))
    lines = [f'"{canvas.width} {canvas.height} {colour_count} 2"']
    for colour, key in zip(palette, keys):
        r, g, b = (v * 257 for v in colour)
        lines.append(f'"{key} c #{r:04X}{g:04X}{b:04X}"')
    for row in canvas.pixels:
        lines.append('"' + "".join(key_of[colour] for colour in row) + '"')
    with open(path, "w", encoding="ascii") as out:
        out.write("/* XPM */\n")
        out.write("/* Drawn by meter/app/art/make_art.py; change the drawing there. */\n")
        out.write(f"static const char* const {name}[] = {{\n")
        out.write(",\n".join(lines))
        out.write("};\n")


def write_png(path, canvas):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    rows = b"".join(b"\0" + bytes(v for colour in row for v in colour) for row in canvas.pixels)
    header = struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 2, 0, 0, 0)  # 8-bit RGB
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9))
                  + chunk(b"IEND", b""))


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--icon":
        size = int(sys.argv[2])
        write_png(sys.argv[3], icon(size))
        return
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "images")
    os.makedirs(folder, exist_ok=True)
    images = [
        ("background", background(), 256),
        ("switch_off", switch_bar(FACE), 256),
        ("switch_on", switch_bar(BOX), 256),
        ("meter_unlit", meter_column(False), 256),
        ("meter_lit", meter_column(True), 256),
        ("lamp_dark", lamp(False), 256),
        ("lamp_lit", lamp(True), 256),
        ("meters_icon", icon(32), 16),
        ("little_meters_icon", icon(16), 16),
    ]
    for name, canvas, colours in images:
        write_xpm(os.path.join(folder, name + ".xpm"), name + "_xpm", canvas, colours)


if __name__ == "__main__":
    main()
