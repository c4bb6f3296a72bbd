#!/usr/bin/env python3
"""Draws the program's bitmaps and icon into resources/ (run from the repository root).

The images are simple shapes computed pixel by pixel so that they can be redrawn here without any
image library: the start and stop faces of the transfer button, five animation frames of a packet
travelling from the PC to the machine, and the viewer's icon.
"""
import math
import struct
import os

SIZE = 48
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")

GREY = (212, 208, 200)  # the classic button face, so the image blends into the button


def blank(colour=GREY, size=SIZE):
    return [[colour for _ in range(size)] for _ in range(size)]


def write_bmp(name, pixels):
    height = len(pixels)
    width = len(pixels[0])
    row_bytes = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(pixels):  # BMP rows go bottom-up
        line = bytearray()
        for (r, g, b) in row:
            line += bytes((b, g, r))
        line += b"\0" * (row_bytes - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(header + info + data)


def inside_polygon(x, y, points):
    inside = False
    j = len(points) - 1
    for i in range(len(points)):
        xi, yi = points[i]
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def start_face():
    img = blank()
    c = (SIZE - 1) / 2
    for y in range(SIZE):
        for x in range(SIZE):
            d = math.hypot(x - c, y - c)
            if d <= 21:
                shade = int(40 * (1 - d / 21))
                img[y][x] = (20, 140 + shade, 40 + shade)
            if 21 < d <= 22.5:
                img[y][x] = (10, 80, 20)
    triangle = [(17, 12), (36, 23.5), (17, 35)]
    for y in range(SIZE):
        for x in range(SIZE):
            if inside_polygon(x + 0.5, y + 0.5, triangle):
                img[y][x] = (250, 250, 250)
    return img


def stop_face():
    img = blank()
    c = (SIZE - 1) / 2
    octagon = [(c + 22 * math.cos(math.radians(22.5 + 45 * k)),
                c + 22 * math.sin(math.radians(22.5 + 45 * k))) for k in range(8)]
    inner = [(c + 20 * math.cos(math.radians(22.5 + 45 * k)),
              c + 20 * math.sin(math.radians(22.5 + 45 * k))) for k in range(8)]
    for y in range(SIZE):
        for x in range(SIZE):
            if inside_polygon(x + 0.5, y + 0.5, inner):
                img[y][x] = (200, 30, 30)
            elif inside_polygon(x + 0.5, y + 0.5, octagon):
                img[y][x] = (250, 250, 250)
    for y in range(17, 31):
        for x in range(17, 31):
            img[y][x] = (250, 250, 250)
    return img


def fill_rect(img, x0, y0, x1, y1, colour):
    for y in range(max(0, y0), min(len(img), y1)):
        for x in range(max(0, x0), min(len(img[0]), x1)):
            img[y][x] = colour


def animation_frame(step):
    """A PC on the left, a machine on the right, a cable between them and a packet on it."""
    img = blank()
    # The PC: a monitor with a blue screen on a small foot.
    fill_rect(img, 1, 8, 17, 22, (60, 60, 60))
    fill_rect(img, 3, 10, 15, 20, (40, 90, 200))
    fill_rect(img, 7, 22, 11, 25, (60, 60, 60))
    fill_rect(img, 4, 25, 14, 27, (60, 60, 60))
    # The machine: a cabinet with a small control panel and a spindle.
    fill_rect(img, 31, 6, 47, 42, (230, 150, 30))
    fill_rect(img, 34, 9, 44, 17, (30, 30, 30))
    fill_rect(img, 35, 10, 43, 16, (90, 220, 90))
    fill_rect(img, 37, 22, 41, 34, (120, 120, 120))
    fill_rect(img, 33, 36, 45, 39, (90, 90, 90))
    # The cable.
    fill_rect(img, 9, 30, 39, 32, (20, 20, 20))
    fill_rect(img, 8, 27, 10, 32, (20, 20, 20))
    fill_rect(img, 38, 32, 40, 42, (20, 20, 20))
    # The packet, one of five places along the cable.
    x = 10 + step * 6
    fill_rect(img, x, 28, x + 5, 34, (220, 30, 30))
    fill_rect(img, x + 1, 29, x + 4, 33, (255, 120, 120))
    return img


def viewer_icon(size):
    """A sheet of paper with lines of text, for the viewer window."""
    img = [[None for _ in range(size)] for _ in range(size)]
    s = size / 32
    for y in range(size):
        for x in range(size):
            if 5 * s <= x < 25 * s and 2 * s <= y < 30 * s:
                edge = x < 6 * s or x >= 24 * s or y < 3 * s or y >= 29 * s
                img[y][x] = (40, 40, 40) if edge else (255, 255, 255)
    for k in range(6):
        y0 = int((7 + 4 * k) * s)
        for y in range(y0, y0 + max(1, int(2 * s))):
            for x in range(int(8 * s), int((21 - (k % 3) * 3) * s)):
                img[y][x] = (30, 60, 160)
    return img


def write_ico(name, images):
    entries = bytearray()
    blobs = bytearray()
    offset = 6 + 16 * len(images)
    for img in images:
        size = len(img)
        xor = bytearray()
        for row in reversed(img):
            for px in row:
                if px is None:
                    xor += bytes((0, 0, 0, 0))
                else:
                    r, g, b = px
                    xor += bytes((b, g, r, 255))
        mask_row = ((size + 31) // 32) * 4
        mask = bytearray()
        for row in reversed(img):
            bits = bytearray(mask_row)
            for x, px in enumerate(row):
                if px is None:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        blob = info + xor + mask
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        blobs += blob
        offset += len(blob)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(images)) + entries + blobs)


def main():
    os.makedirs(OUT, exist_ok=True)
    write_bmp("start_119.bmp", start_face())
    write_bmp("stop_118.bmp", stop_face())
    for step in range(5):
        write_bmp("frame_%d.bmp" % (125 + step), animation_frame(step))
    write_ico("viewer_122.ico", [viewer_icon(32), viewer_icon(16)])


if __name__ == "__main__":
    main()
