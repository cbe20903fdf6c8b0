#!/usr/bin/env python3
"""Draws the viewer's pictures: the caption tabs, the export animation, the
About banner, the tree icons and the splitter cursor.

    generate_resources.py OUTPUT_DIR

Writes BMP, ICO and CUR files that viewer.rc names.  Everything is drawn
here from a few shapes and a 5x7 pixel font, so the pictures have a source
and the build makes them anew.
"""
import struct
import sys
from pathlib import Path

MAGENTA = (255, 0, 255)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
YELLOW = (240, 200, 60)
DARK_YELLOW = (170, 130, 20)
SILVER = (200, 205, 215)
GREY = (120, 125, 135)
BLUE = (40, 90, 200)
NAVY = (10, 20, 70)

# 5x7 glyphs, one string of five characters per row ('#' = ink).
FONT = {
    'a': [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    'c': [".....", ".....", ".###.", "#....", "#....", "#...#", ".###."],
    'd': ["....#", "....#", ".####", "#...#", "#...#", "#...#", ".####"],
    'e': [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    'f': ["..##.", ".#..#", ".#...", "###..", ".#...", ".#...", ".#..."],
    'i': ["..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."],
    'l': [".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    'o': [".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."],
    'r': [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    's': [".....", ".....", ".####", "#....", ".###.", "....#", "####."],
    'u': [".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"],
    'v': [".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    'w': [".....", ".....", "#...#", "#...#", "#.#.#", "#.#.#", ".#.#."],
    'C': [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    'D': ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    'K': ["#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"],
    'S': [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    'V': ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    '3': ["####.", "....#", "....#", ".###.", "....#", "....#", "####."],
    '.': [".....", ".....", ".....", ".....", ".....", ".##..", ".##.."],
    "'": ["..#..", "..#..", ".#...", ".....", ".....", ".....", "....."],
    ' ': ["....."] * 7,
}


class Canvas:
    def __init__(self, width, height, colour):
        self.width, self.height = width, height
        self.pixels = [[colour] * width for _ in range(height)]

    def set(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def get(self, x, y):
        return self.pixels[y][x]

    def rect(self, x, y, w, h, colour):
        for j in range(y, y + h):
            for i in range(x, x + w):
                self.set(i, j, colour)

    def frame(self, x, y, w, h, colour):
        for i in range(x, x + w):
            self.set(i, y, colour)
            self.set(i, y + h - 1, colour)
        for j in range(y, y + h):
            self.set(x, j, colour)
            self.set(x + w - 1, j, colour)

    def disc(self, cx, cy, r, colour, hole=0, hole_colour=None):
        for j in range(cy - r, cy + r + 1):
            for i in range(cx - r, cx + r + 1):
                d = (i - cx) ** 2 + (j - cy) ** 2
                if d <= r * r:
                    self.set(i, j, colour)
                if hole and d <= hole * hole:
                    self.set(i, j, hole_colour)

    def text(self, x, y, words, colour, scale=1):
        for ch in words:
            glyph = FONT[ch]
            for row, bits in enumerate(glyph):
                for col, bit in enumerate(bits):
                    if bit == '#':
                        self.rect(x + col * scale, y + row * scale, scale, scale, colour)
            x += 6 * scale
        return x


def folder(c, x, y, w, h, open_=False):
    """A folder: tab, body and, when open, a lighter front flap."""
    c.rect(x, y, w // 2, 2, DARK_YELLOW)
    c.rect(x, y + 2, w, h - 2, YELLOW)
    c.frame(x, y + 2, w, h - 2, DARK_YELLOW)
    if open_:
        for j in range(h // 2):
            c.rect(x + 2 + j // 2, y + h // 2 + j, w - 2 - j // 2, 1, (250, 225, 120))


def document(c, x, y, w, h):
    """A page with a folded corner and a few lines of text."""
    c.rect(x, y, w, h, WHITE)
    c.frame(x, y, w, h, GREY)
    for k in range(3):
        c.set(x + w - 1 - k, y + k, MAGENTA if c.get(x + w - 1 - k, y) == MAGENTA else GREY)
    for line in range(y + 3, y + h - 2, 2):
        c.rect(x + 2, line, w - 5, 1, (150, 160, 190))


def cd(c, cx, cy, r):
    c.disc(cx, cy, r, GREY)
    c.disc(cx, cy, r - 1 - r // 8, (225, 230, 240), hole=max(1, r // 4), hole_colour=GREY)
    c.disc(cx, cy, max(1, r // 6), MAGENTA if r < 10 else NAVY)


def write_bmp(path, canvas):
    rows = []
    for y in range(canvas.height - 1, -1, -1):
        row = b''.join(struct.pack('BBB', b, g, r) for (r, g, b) in canvas.pixels[y])
        row += b'\0' * ((4 - len(row) % 4) % 4)
        rows.append(row)
    data = b''.join(rows)
    header = struct.pack('<IiiHHIIiiII', 40, canvas.width, canvas.height, 1, 24, 0, len(data),
                         2835, 2835, 0, 0)
    file_header = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(data), 0, 0, 54)
    path.write_bytes(file_header + header + data)


def icon_image(canvas, transparent=MAGENTA):
    """One 32-bit image of an icon or cursor, with its AND mask."""
    w, h = canvas.width, canvas.height
    xor = b''
    mask_rows = []
    for y in range(h - 1, -1, -1):
        bits = 0
        row_mask = bytearray((w + 31) // 32 * 4)
        for x in range(w):
            colour = canvas.pixels[y][x]
            if colour == transparent:
                xor += b'\0\0\0\0'
                row_mask[x // 8] |= 0x80 >> (x % 8)
            else:
                r, g, b = colour
                xor += struct.pack('BBBB', b, g, r, 255)
        mask_rows.append(bytes(row_mask))
    header = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + xor + b''.join(mask_rows)


def write_icon_file(path, canvases, kind=1, hotspot=None):
    images = [icon_image(c) for c in canvases]
    out = struct.pack('<HHH', 0, kind, len(images))
    offset = 6 + 16 * len(images)
    for c, image in zip(canvases, images):
        planes, bits = (1, 32) if kind == 1 else hotspot
        out += struct.pack('<BBBBHHII', c.width % 256, c.height % 256, 0, 0, planes, bits,
                           len(image), offset)
        offset += len(image)
    path.write_bytes(out + b''.join(images))


def caption(width, label, draw_icon):
    c = Canvas(width, 19, BLACK)
    for (x, y) in [(0, 0), (1, 0), (0, 1)]:
        c.set(x, y, MAGENTA)
    draw_icon(c)
    c.text(19 if width > 60 else 15, 6, label, WHITE)
    return c


def caption_end():
    c = Canvas(4, 19, BLACK)
    for (x, y) in [(3, 0), (2, 0), (3, 1), (3, 2), (1, 0)]:
        c.set(x, y, MAGENTA)
    return c


def export_frame(step):
    """The CD on the left, a folder on the right, a page flying between."""
    c = Canvas(200, 75, MAGENTA)
    cd(c, 30, 37, 24)
    folder(c, 150, 20, 40, 34, open_=True)
    x = 48 + step * 15
    y = 28 - int(14 * (1 - ((step - 3) / 3.0) ** 2))
    document(c, x, y, 16, 20)
    for k in range(step + 1):
        c.rect(60 + k * 13, 66, 9, 4, BLUE)
    return c


def banner():
    c = Canvas(394, 193, NAVY)
    for y in range(193):
        shade = (10 + y // 6, 20 + y // 4, 70 + y // 3)
        c.rect(0, y, 394, 1, shade)
    cd(c, 82, 96, 62)
    folder(c, 300, 140, 70, 44, open_=True)
    c.text(170, 40, "Kelvora", WHITE, scale=5)
    c.text(172, 90, "Viewer ver. 3", (200, 215, 255), scale=2)
    c.text(172, 120, "Secure CD's", YELLOW, scale=2)
    return c


def icon(size, draw):
    c = Canvas(size, size, MAGENTA)
    draw(c, size)
    return c


def draw_root(c, s):
    cd(c, s // 2, s // 2, s // 2 - 1)


def draw_folder(c, s):
    folder(c, 1, s // 5, s - 2, s - s // 5 - s // 8)


def draw_open_folder(c, s):
    folder(c, 1, s // 5, s - 2, s - s // 5 - s // 8, open_=True)


def draw_file(c, s):
    document(c, s // 5, 1, s - 2 * (s // 5), s - 2)


def splitter_cursor():
    c = Canvas(32, 32, MAGENTA)
    for x in range(6, 27):
        c.set(x, 13, BLACK)
        c.set(x, 14, WHITE)
        c.set(x, 15, BLACK)
    for k in range(6):
        for d in range(-k, k + 1):
            c.set(5 + k, 14 + d, BLACK if abs(d) == k else WHITE)
            c.set(26 - k, 14 + d, BLACK if abs(d) == k else WHITE)
    for y in range(6, 23):
        c.set(15, y, BLACK)
        c.set(16, y, WHITE)
        c.set(17, y, BLACK)
    return c


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    write_bmp(out / 'banner.bmp', banner())
    for step in range(7):
        write_bmp(out / f'export{step + 1}.bmp', export_frame(step))
    write_bmp(out / 'files_caption.bmp', caption(53, "files", lambda c: document(c, 3, 3, 9, 13)))
    write_bmp(out / 'folders_caption.bmp',
              caption(78, "folders", lambda c: folder(c, 3, 4, 13, 11)))
    write_bmp(out / 'caption_end.bmp', caption_end())
    for name, draw in [('root', draw_root), ('folder', draw_folder),
                       ('open_folder', draw_open_folder), ('file', draw_file)]:
        write_icon_file(out / f'{name}.ico', [icon(16, draw), icon(32, draw)])
    write_icon_file(out / 'splitter.cur', [splitter_cursor()], kind=2, hotspot=(16, 14))


if __name__ == '__main__':
    main()
