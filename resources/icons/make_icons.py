#!/usr/bin/env python3
"""Draws Quorbit's toolbar icons (16 x 15) and program icon (32 x 32) and writes them as PNG files, and
the program icon in the sizes a desktop's icon theme asks for (hicolor/<n>x<n>/apps/quorbit.png).

Each icon is a short list of shapes in pixel coordinates, rasterised with 8 x 8 supersampling for
smooth edges. Run it from this folder after changing a drawing: python3 make_icons.py
"""
import math
import os
import struct
import zlib

SS = 8  # samples per pixel side


class Canvas:
    # A drawing in the coordinates of a `w` x `h` icon, rendered `scale` times as large.
    def __init__(self, w, h, scale=1):
        self.scale = scale
        self.w, self.h = w * scale, h * scale
        self.px = [[(0, 0, 0, 0)] * self.w for _ in range(self.h)]

    def _blend(self, x, y, colour, cover):
        if cover <= 0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        r, g, b = colour
        a = cover
        dr, dg, db, da = self.px[y][x]
        da /= 255.0
        oa = a + da * (1 - a)
        if oa == 0:
            return
        mix = lambda s, d: (s * a + d * da * (1 - a)) / oa
        self.px[y][x] = (mix(r, dr), mix(g, dg), mix(b, db), oa * 255)

    def fill(self, inside, colour, box=None):
        k = self.scale
        x0, y0, x1, y1 = (v * k for v in box) if box else (0, 0, self.w, self.h)
        ss = max(2, SS // k)  # a large rendering needs fewer samples per pixel for the same edges
        for y in range(max(0, int(y0)), min(self.h, int(math.ceil(y1)) + 1)):
            for x in range(max(0, int(x0)), min(self.w, int(math.ceil(x1)) + 1)):
                hits = 0
                for sy in range(ss):
                    for sx in range(ss):
                        if inside((x + (sx + 0.5) / ss) / k, (y + (sy + 0.5) / ss) / k):
                            hits += 1
                self._blend(x, y, colour, hits / (ss * ss))

    # ---- shapes ----
    def rect(self, x, y, w, h, colour):
        self.fill(lambda px, py: x <= px < x + w and y <= py < y + h, colour, (x, y, x + w, y + h))

    def frame(self, x, y, w, h, fill, edge):
        self.rect(x, y, w, h, edge)
        self.rect(x + 1, y + 1, w - 2, h - 2, fill)

    def line(self, x0, y0, x1, y1, colour, width=1.0):
        dx, dy = x1 - x0, y1 - y0
        length2 = dx * dx + dy * dy or 1e-9
        half = width / 2.0

        def inside(px, py):
            t = max(0.0, min(1.0, ((px - x0) * dx + (py - y0) * dy) / length2))
            cx, cy = x0 + t * dx, y0 + t * dy
            return (px - cx) ** 2 + (py - cy) ** 2 <= half * half

        box = (min(x0, x1) - half, min(y0, y1) - half, max(x0, x1) + half, max(y0, y1) + half)
        self.fill(inside, colour, box)

    def polyline(self, points, colour, width=1.0):
        for (a, b) in zip(points, points[1:]):
            self.line(a[0], a[1], b[0], b[1], colour, width)

    def polygon(self, points, colour):
        def inside(px, py):
            result = False
            j = len(points) - 1
            for i in range(len(points)):
                xi, yi = points[i]
                xj, yj = points[j]
                if (yi > py) != (yj > py) and px < (xj - xi) * (py - yi) / (yj - yi) + xi:
                    result = not result
                j = i
            return result

        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        self.fill(inside, colour, (min(xs), min(ys), max(xs), max(ys)))

    def ellipse(self, cx, cy, rx, ry, colour):
        self.fill(lambda px, py: ((px - cx) / rx) ** 2 + ((py - cy) / ry) ** 2 <= 1.0, colour,
                  (cx - rx, cy - ry, cx + rx, cy + ry))

    def ring(self, cx, cy, rx, ry, width, colour, start=0.0, end=360.0):
        def inside(px, py):
            outer = ((px - cx) / (rx + width / 2)) ** 2 + ((py - cy) / (ry + width / 2)) ** 2 <= 1.0
            inner = ((px - cx) / (rx - width / 2)) ** 2 + ((py - cy) / (ry - width / 2)) ** 2 < 1.0
            if not outer or inner:
                return False
            angle = math.degrees(math.atan2(-(py - cy), px - cx)) % 360.0
            return start <= angle <= end if start <= end else angle >= start or angle <= end

        self.fill(inside, colour, (cx - rx - width, cy - ry - width, cx + rx + width, cy + ry + width))

    def png(self, path):
        raw = b""
        for row in self.px:
            raw += b"\x00" + b"".join(struct.pack("BBBB", *(int(round(max(0, min(255, v)))) for v in p))
                                      for p in row)

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

        header = struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0)
        with open(path, "wb") as out:
            out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
                      + chunk(b"IEND", b""))


# ---- palette ----
INK = (40, 48, 64)
PAPER = (255, 255, 255)
SHEET = (236, 240, 246)
BLUE = (36, 104, 196)
LIGHT_BLUE = (150, 190, 236)
GREEN = (32, 150, 64)
RED = (204, 40, 40)
ORANGE = (232, 140, 24)
YELLOW = (250, 214, 80)
BROWN = (150, 96, 48)
GREY = (128, 128, 128)


def page(c, x, y, w=9, h=12):
    c.frame(x, y, w, h, PAPER, INK)


def text_lines(c, x, y, w, rows, colour=GREY):
    for i in range(rows):
        c.rect(x, y + 2 * i, w, 1, colour)


def table(c, x=1, y=2, w=12, h=11):
    c.frame(x, y, w, h, PAPER, INK)
    c.rect(x + 1, y + 1, w - 2, 2, LIGHT_BLUE)
    for ry in range(y + 5, y + h - 1, 3):
        c.rect(x + 1, ry, w - 2, 1, (200, 200, 200))
    c.rect(x + 4, y + 1, 1, h - 2, (200, 200, 200))


def pencil(c, x, y):
    # a pencil from upper right to the point at lower left (x, y)
    c.line(x + 2, y - 2, x + 7, y - 7, ORANGE, 2.6)
    c.line(x + 6, y - 6, x + 7.5, y - 7.5, (230, 120, 140), 2.6)
    c.polygon([(x, y), (x + 0.8, y - 2.8), (x + 2.8, y - 0.8)], INK)


def tag(c, x, y, colour=YELLOW):
    c.polygon([(x + 0.5, y + 3.5), (x + 3.5, y + 0.5), (x + 11, y + 0.5), (x + 11, y + 6.5), (x + 3.5, y + 6.5)],
              INK)
    c.polygon([(x + 1.9, y + 3.5), (x + 4, y + 1.5), (x + 10, y + 1.5), (x + 10, y + 5.5), (x + 4, y + 5.5)],
              colour)
    c.ellipse(x + 4, y + 3.5, 0.9, 0.9, INK)


def arrow_right(c, x0, x1, y, colour):
    c.line(x0, y, x1 - 2, y, colour, 2)
    c.polygon([(x1 - 3, y - 3.5), (x1 + 0.5, y), (x1 - 3, y + 3.5)], colour)


def cross(c, cx, cy, r, colour=RED):
    c.line(cx - r, cy - r, cx + r, cy + r, colour, 2)
    c.line(cx - r, cy + r, cx + r, cy - r, colour, 2)


def draw_quit(c):
    c.frame(2, 1, 8, 13, (200, 160, 110), BROWN)
    c.polygon([(3, 2), (7, 3), (7, 14), (3, 13)], BROWN)
    c.ellipse(6, 8, 0.6, 0.6, YELLOW)
    arrow_right(c, 8, 15, 7.5, GREEN)


def draw_split_search(c):
    c.polyline([(1, 4), (4, 3), (6, 4), (6, 9), (9, 10), (11, 9)], BLUE, 1.3)
    c.ring(10, 6, 3.6, 3.6, 1.5, INK)
    c.line(12.5, 8.5, 15, 11.5, INK, 2.2)


def draw_filter(c):
    c.polygon([(1, 2), (15, 2), (9.5, 8), (9.5, 13.5), (6.5, 11.5), (6.5, 8)], INK)
    c.polygon([(2.8, 3), (13.2, 3), (8.6, 7.8), (8.6, 12), (7.4, 11.2), (7.4, 7.8)], LIGHT_BLUE)


def draw_rescan(c):
    c.ring(8, 7.5, 5.2, 5.2, 1.8, GREEN, 35, 165)
    c.ring(8, 7.5, 5.2, 5.2, 1.8, GREEN, 215, 345)
    c.polygon([(0, 7), (5.6, 7), (2.8, 10.8)], GREEN)
    c.polygon([(16, 8), (10.4, 8), (13.2, 4.2)], GREEN)


def draw_delete_symbol(c):
    tag(c, 0, 2)
    cross(c, 11.5, 10.5, 2.7)


def draw_move(c):
    tag(c, 0, 1)
    c.polygon([(6, 8), (10, 8), (11, 9), (15, 9), (15, 14), (6, 14)], (220, 170, 60))
    c.rect(7, 10, 7, 3, YELLOW)
    c.line(4, 8, 4, 11, BLUE, 1.6)
    c.polygon([(2, 11), (6, 11), (4, 13.8)], BLUE)


def draw_copy(c):
    page(c, 1, 1, 8, 10)
    text_lines(c, 3, 3, 4, 3)
    page(c, 6, 4, 9, 11)
    text_lines(c, 8, 6, 5, 4, BLUE)


def draw_edit_symbol(c):
    tag(c, 0, 1)
    pencil(c, 7, 14)


def draw_facts(c):
    c.ellipse(8, 7.5, 7, 7, BLUE)
    c.ellipse(8, 4, 1.2, 1.2, PAPER)
    c.rect(7, 6.2, 2, 6, PAPER)
    c.rect(6, 11.2, 4, 1, PAPER)


def draw_edit_data(c):
    table(c, 1, 1, 12, 11)
    pencil(c, 7, 14)


def draw_split(c):
    c.rect(0, 13, 16, 1, INK)
    for i, height in enumerate([9, 10, 9]):
        c.rect(1 + 2 * i, 13 - height, 1, height, BLUE)
    for i, height in enumerate([5, 4, 5]):
        c.rect(10 + 2 * i, 13 - height, 1, height, BLUE)
    c.line(8, 1, 8, 13, RED, 1.2)
    c.line(8, 1, 8, 1.5, RED, 1.2)


def draw_scale(c):
    c.rect(0, 13, 16, 1, INK)
    c.rect(1, 9, 3, 4, LIGHT_BLUE)
    c.rect(1, 9, 3, 1, BLUE)
    c.rect(11, 2, 4, 11, LIGHT_BLUE)
    c.rect(11, 2, 4, 1, BLUE)
    c.line(5, 8, 8.5, 4.5, GREEN, 1.8)
    c.polygon([(6.5, 3), (10.5, 2.5), (10, 6.5)], GREEN)


def draw_add_quote(c):
    table(c, 1, 1, 11, 10)
    c.rect(9, 11, 7, 2, GREEN)
    c.rect(11.5, 8.5, 2, 7, GREEN)


def draw_delete_quote(c):
    table(c, 1, 1, 11, 10)
    cross(c, 12.5, 11.5, 2.5)


def draw_export(c):
    page(c, 1, 1, 9, 13)
    text_lines(c, 3, 4, 5, 4)
    arrow_right(c, 7, 15, 10, ORANGE)


def draw_about(c):
    c.ellipse(8, 7.5, 7, 7, (60, 140, 60))
    c.ring(8, 5.4, 2.6, 2.4, 1.7, PAPER, 300, 190)
    c.line(8.6, 7.6, 8, 9.4, PAPER, 1.7)
    c.ellipse(8, 11.8, 1.1, 1.1, PAPER)


def draw_program(c):
    c.polygon([(3, 1), (29, 1), (31, 3), (31, 29), (29, 31), (3, 31), (1, 29), (1, 3)], (28, 52, 96))
    c.ring(16, 17, 13, 5, 2.0, ORANGE, 0, 180)
    for i, (high, low, opening, close) in enumerate([(17, 25, 23, 19), (13, 21, 19, 15), (10, 18, 16, 12),
                                                    (5, 13, 11, 7)]):
        x = 6 + 6 * i
        c.rect(x + 1, high, 2, low - high, PAPER)
        c.rect(x - 1, opening, 2, 2, PAPER)
        c.rect(x + 3, close, 2, 2, PAPER)
    c.ring(16, 17, 13, 5, 2.0, ORANGE, 180, 360)


ICONS = {
    "quit": draw_quit,
    "split_search": draw_split_search,
    "filter": draw_filter,
    "rescan": draw_rescan,
    "delete_symbol": draw_delete_symbol,
    "move_symbol": draw_move,
    "copy_symbol": draw_copy,
    "edit_symbol": draw_edit_symbol,
    "series_facts": draw_facts,
    "edit_quote": draw_edit_data,
    "split_quotes": draw_split,
    "adjust_quotes": draw_scale,
    "add_quote": draw_add_quote,
    "delete_quote": draw_delete_quote,
    "export_quotes": draw_export,
    "about": draw_about,
}

if __name__ == "__main__":
    for name, draw in ICONS.items():
        canvas = Canvas(16, 15)
        draw(canvas)
        canvas.png(name + ".png")
    program = Canvas(32, 32)
    draw_program(program)
    program.png("quorbit.png")
    for scale in (1, 2, 4, 8):
        size = 32 * scale
        folder = os.path.join("hicolor", "%dx%d" % (size, size), "apps")
        os.makedirs(folder, exist_ok=True)
        program = Canvas(32, 32, scale)
        draw_program(program)
        program.png(os.path.join(folder, "quorbit.png"))
