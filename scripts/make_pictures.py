#!/usr/bin/env python3
"""Draws the window's pictures into src/res/pic/ as PNG files.

Only the standard library is used: every shape is a point-in-shape test,
sampled SUB x SUB times per pixel for smooth edges, and composited over the
canvas; the PNG writer is zlib + struct. Run it again after changing a
drawing and commit the PNGs with the script.
"""
import math
import os
import struct
import zlib

SUB = 4  # samples per pixel along each axis


class Canvas:
    def __init__(self, width, height, background=(0, 0, 0, 0)):
        self.w = width
        self.h = height
        self.px = [list(background) for _ in range(width * height)]

    def fill(self, inside, colour, bbox=None):
        """Blends `colour` wherever inside(x, y) holds.

        `colour` is an (r, g, b[, a]) tuple or a function of (x, y) giving one;
        `bbox` (x0, y0, x1, y1) limits the pixels that are sampled.
        """
        x0, y0, x1, y1 = bbox if bbox else (0, 0, self.w, self.h)
        x0, y0 = max(0, int(math.floor(x0))), max(0, int(math.floor(y0)))
        x1, y1 = min(self.w, int(math.ceil(x1))), min(self.h, int(math.ceil(y1)))
        offsets = [(i + 0.5) / SUB for i in range(SUB)]
        total = SUB * SUB
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = 0
                for dy in offsets:
                    for dx in offsets:
                        if inside(x + dx, y + dy):
                            hits += 1
                if hits:
                    c = colour(x + 0.5, y + 0.5) if callable(colour) else colour
                    a = (c[3] if len(c) > 3 else 255) / 255.0 * hits / total
                    self._blend(x, y, c, a)

    def _blend(self, x, y, c, a):
        p = self.px[y * self.w + x]
        da = p[3] / 255.0
        oa = a + da * (1 - a)
        if oa <= 0:
            return
        for i in range(3):
            p[i] = (c[i] * a + p[i] * da * (1 - a)) / oa
        p[3] = oa * 255

    def save(self, path):
        raw = bytearray()
        for y in range(self.h):
            raw.append(0)  # no filter
            for x in range(self.w):
                raw.extend(max(0, min(255, int(round(v)))) for v in self.px[y * self.w + x])

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

        png = b"\x89PNG\r\n\x1a\n"
        png += chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0))
        png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
        png += chunk(b"IEND", b"")
        with open(path, "wb") as f:
            f.write(png)


# ---- shapes: each returns (inside, bbox) -----------------------------------

def circle(cx, cy, r):
    return (lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r,
            (cx - r, cy - r, cx + r, cy + r))


def ring(cx, cy, r_out, r_in):
    return (lambda x, y: r_in * r_in <= (x - cx) ** 2 + (y - cy) ** 2 <= r_out * r_out,
            (cx - r_out, cy - r_out, cx + r_out, cy + r_out))


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        nx = min(max(x, x0 + r), x1 - r)
        ny = min(max(y, y0 + r), y1 - r)
        return (x - nx) ** 2 + (y - ny) ** 2 <= r * r
    return inside, (x0, y0, x1, y1)


def rect(x0, y0, x1, y1):
    return (lambda x, y: x0 <= x <= x1 and y0 <= y <= y1), (x0, y0, x1, y1)


def segment(ax, ay, bx, by, r):
    """A stroke of half-width r with round ends."""
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy or 1e-9

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        px, py = ax + t * dx - x, ay + t * dy - y
        return px * px + py * py <= r * r
    return inside, (min(ax, bx) - r, min(ay, by) - r, max(ax, bx) + r, max(ay, by) + r)


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return inside, (min(xs), min(ys), max(xs), max(ys))


def heart(cx, cy, size):
    """The classic implicit heart curve, `size` wide, centred on (cx, cy)."""
    s = size / 2.6

    def inside(x, y):
        u = (x - cx) / s
        v = -(y - cy) / s + 0.25
        return (u * u + v * v - 1) ** 3 - u * u * v ** 3 <= 0
    return inside, (cx - 1.4 * s, cy - 1.3 * s, cx + 1.4 * s, cy + 1.4 * s)


def draw(canvas, shape, colour):
    inside, bbox = shape
    canvas.fill(inside, colour, (bbox[0] - 1, bbox[1] - 1, bbox[2] + 1, bbox[3] + 1))


def vertical_gradient(top, bottom, y0, y1):
    def colour(x, y):
        t = max(0.0, min(1.0, (y - y0) / float(y1 - y0)))
        return tuple(top[i] + (bottom[i] - top[i]) * t for i in range(len(top)))
    return colour


# ---- a small stroke alphabet for the thank-you card ------------------------
# Each letter is a list of strokes on a 4 x 6 grid (x right, y down).
LETTERS = {
    "T": [((0, 0), (4, 0)), ((2, 0), (2, 6))],
    "H": [((0, 0), (0, 6)), ((4, 0), (4, 6)), ((0, 3), (4, 3))],
    "A": [((0, 6), (2, 0)), ((2, 0), (4, 6)), ((0.8, 3.8), (3.2, 3.8))],
    "N": [((0, 6), (0, 0)), ((0, 0), (4, 6)), ((4, 6), (4, 0))],
    "K": [((0, 0), (0, 6)), ((4, 0), (0, 3.5)), ((1.3, 2.6), (4, 6))],
    "Y": [((0, 0), (2, 3)), ((4, 0), (2, 3)), ((2, 3), (2, 6))],
    "O": [((1, 0), (3, 0)), ((3, 0), (4, 1)), ((4, 1), (4, 5)), ((4, 5), (3, 6)),
          ((3, 6), (1, 6)), ((1, 6), (0, 5)), ((0, 5), (0, 1)), ((0, 1), (1, 0))],
    "U": [((0, 0), (0, 5)), ((0, 5), (1, 6)), ((1, 6), (3, 6)), ((3, 6), (4, 5)), ((4, 5), (4, 0))],
    "!": [((2, 0), (2, 4))],
}


def draw_text(canvas, text, x, y, cell, stroke, colour):
    """Draws `text` with its top-left corner at (x, y); `cell` is the grid unit."""
    for ch in text:
        if ch == " ":
            x += 3 * cell
            continue
        for (ax, ay), (bx, by) in LETTERS[ch]:
            draw(canvas, segment(x + ax * cell, y + ay * cell, x + bx * cell, y + by * cell, stroke), colour)
        if ch == "!":
            draw(canvas, circle(x + 2 * cell, y + 5.8 * cell, stroke * 1.1), colour)
        x += 6 * cell


def text_width(text, cell):
    return sum(3 * cell if ch == " " else 6 * cell for ch in text) - 2 * cell


# ---- the pictures -----------------------------------------------------------

def quill(canvas, tip_x, tip_y, length, angle_deg, vane, shaft):
    """A feather pointing down-left: vane as a pointed leaf, a darker shaft."""
    a = math.radians(angle_deg)
    ux, uy = math.cos(a), -math.sin(a)        # from the tip towards the top
    nx, ny = -uy, ux                          # across the feather
    pts = []
    steps = 24
    for i in range(steps + 1):                # one edge, tip to top
        t = i / steps
        width = length * 0.22 * math.sin(math.pi * min(1.0, t * 1.15)) ** 0.8 if t > 0.18 else 0
        pts.append((tip_x + ux * length * t + nx * width, tip_y + uy * length * t + ny * width))
    for i in range(steps, -1, -1):            # other edge, back to the tip
        t = i / steps
        width = length * 0.16 * math.sin(math.pi * min(1.0, t * 1.15)) ** 0.8 if t > 0.18 else 0
        pts.append((tip_x + ux * length * t - nx * width, tip_y + uy * length * t - ny * width))
    draw(canvas, polygon(pts), vane)
    draw(canvas, segment(tip_x, tip_y, tip_x + ux * length * 0.98, tip_y + uy * length * 0.98,
                         max(1.0, length * 0.018)), shaft)


def make_icon(size=128):
    c = Canvas(size, size)
    s = size / 128.0
    draw(c, rounded_rect(4 * s, 4 * s, 124 * s, 124 * s, 26 * s),
         vertical_gradient((64, 156, 255), (38, 84, 200), 4 * s, 124 * s))
    # a few pixels of a bitmap glyph, the kind of thing the program makes
    block = 9 * s
    glyph = ["#...", "#...", "#...", "####"]
    for row, line in enumerate(glyph):
        for col, cell in enumerate(line):
            if cell == "#":
                x = 20 * s + col * (block + 2 * s)
                y = 66 * s + row * (block + 2 * s)
                draw(c, rounded_rect(x, y, x + block, y + block, 2 * s), (255, 214, 92))
    quill(c, 44 * s, 104 * s, 92 * s, 52, (255, 255, 255), (150, 170, 210))
    draw(c, segment(40 * s, 108 * s, 46 * s, 100 * s, 2.5 * s), (40, 40, 60))
    return c


def make_close(size=32):
    c = Canvas(size, size)
    s = size / 32.0
    draw(c, circle(16 * s, 16 * s, 14 * s), vertical_gradient((244, 96, 96), (196, 40, 48), 2 * s, 30 * s))
    draw(c, segment(10.5 * s, 10.5 * s, 21.5 * s, 21.5 * s, 2.2 * s), (255, 255, 255))
    draw(c, segment(21.5 * s, 10.5 * s, 10.5 * s, 21.5 * s, 2.2 * s), (255, 255, 255))
    return c


def make_save(size=32):
    c = Canvas(size, size)
    s = size / 32.0
    body = (44, 92, 170)
    draw(c, polygon([(3 * s, 3 * s), (24 * s, 3 * s), (29 * s, 8 * s), (29 * s, 29 * s), (3 * s, 29 * s)]), body)
    draw(c, rect(8 * s, 3 * s, 22 * s, 12 * s), (220, 228, 240))
    draw(c, rect(17 * s, 5 * s, 20 * s, 10 * s), body)
    draw(c, rounded_rect(7 * s, 16 * s, 25 * s, 27 * s, 1.5 * s), (255, 255, 255))
    for y in (19.5, 23):
        draw(c, rect(10 * s, y * s, 22 * s, (y + 1.2) * s), (160, 172, 196))
    return c


def make_support(size=32):
    c = Canvas(size, size)
    s = size / 32.0
    draw(c, heart(16 * s, 16 * s, 28 * s), vertical_gradient((255, 120, 150), (220, 40, 80), 3 * s, 29 * s))
    draw(c, circle(10.5 * s, 11 * s, 2.6 * s), (255, 255, 255, 150))
    return c


def make_about(size=32):
    c = Canvas(size, size)
    s = size / 32.0
    draw(c, circle(16 * s, 16 * s, 14 * s), vertical_gradient((80, 170, 255), (30, 100, 210), 2 * s, 30 * s))
    draw(c, circle(16 * s, 9.5 * s, 2.3 * s), (255, 255, 255))
    draw(c, segment(16 * s, 14.5 * s, 16 * s, 23.5 * s, 2.1 * s), (255, 255, 255))
    return c


def make_note(size=32):
    c = Canvas(size, size)
    s = size / 32.0
    outline = (90, 110, 140)
    page = [(6 * s, 2 * s), (20 * s, 2 * s), (27 * s, 9 * s), (27 * s, 30 * s), (6 * s, 30 * s)]
    draw(c, polygon(page), outline)
    inner = [(7.5 * s, 3.5 * s), (19.4 * s, 3.5 * s), (25.5 * s, 9.6 * s), (25.5 * s, 28.5 * s), (7.5 * s, 28.5 * s)]
    draw(c, polygon(inner), (255, 255, 255))
    draw(c, polygon([(19.5 * s, 2.5 * s), (19.5 * s, 9.5 * s), (26.5 * s, 9.5 * s)]), (200, 212, 230))
    for i, y in enumerate((13, 17, 21, 25)):
        end = 22.5 if i < 3 else 17
        draw(c, segment(10.5 * s, y * s, end * s, y * s, 0.9 * s), (60, 130, 220))
    return c


def make_appreciation(width=400, height=430):
    c = Canvas(width, height)
    # card with a soft border
    draw(c, rounded_rect(6, 6, width - 6, height - 6, 28), (255, 150, 170))
    draw(c, rounded_rect(14, 14, width - 14, height - 14, 22),
         vertical_gradient((255, 246, 240), (255, 226, 232), 14, height - 14))
    # confetti in the corners
    dots = [(48, 52, 7, (255, 196, 70)), (82, 34, 5, (110, 190, 255)), (350, 58, 8, (140, 220, 150)),
            (318, 36, 4, (255, 120, 150)), (44, 380, 6, (140, 220, 150)), (360, 386, 7, (255, 196, 70)),
            (74, 402, 4, (110, 190, 255)), (330, 404, 5, (255, 120, 150))]
    for x, y, r, col in dots:
        draw(c, circle(x, y, r), col)
    # a cup of tea, steam rising
    cx, top = width / 2.0, 168
    for i, dx in enumerate((-26, 0, 26)):
        pts = []
        for k in range(0, 13):
            t = k / 12.0
            pts.append((cx + dx + 7 * math.sin(t * math.pi * 2 + i), top - 18 - t * 62))
        for a, b in zip(pts, pts[1:]):
            draw(c, segment(a[0], a[1], b[0], b[1], 3.2), (200, 176, 176))
    draw(c, ring(cx + 72, top + 46, 30, 18), (232, 96, 120))            # handle
    draw(c, polygon([(cx - 84, top), (cx + 84, top), (cx + 66, top + 108), (cx - 66, top + 108)]),
         vertical_gradient((250, 118, 142), (214, 70, 100), top, top + 108))
    draw(c, rounded_rect(cx - 84, top - 8, cx + 84, top + 8, 8), (255, 176, 190))
    draw(c, rounded_rect(cx - 110, top + 104, cx + 110, top + 120, 8), (214, 70, 100))  # saucer
    draw(c, heart(cx, top + 52, 46), (255, 255, 255))
    # the words
    label = "THANK YOU!"
    cell = 6.4
    draw_text(c, label, (width - text_width(label, cell)) / 2.0, 322, cell, 3.4, (204, 52, 92))
    return c


PICTURES = {
    "icon.png": make_icon,
    "close.png": make_close,
    "save.png": make_save,
    "support.png": make_support,
    "about.png": make_about,
    "note.png": make_note,
    "appreciation.png": make_appreciation,
}


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out_dir = os.path.join(root, "src", "res", "pic")
    os.makedirs(out_dir, exist_ok=True)
    for name, make in PICTURES.items():
        path = os.path.join(out_dir, name)
        make().save(path)
        print("wrote", path)


if __name__ == "__main__":
    main()
