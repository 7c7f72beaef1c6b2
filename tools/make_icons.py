#!/usr/bin/env python3
"""Draws the program's two icons and writes them as .ico files.

DELICON is the program file's own icon (an archive box with a red cross:
the remover); ORVICON is the dialog icon (the archive box alone). Each
holds 16, 32 and 48 pixel images in the classic BMP-in-ICO form that every
Windows version reads. An image whose pixels are all either opaque or fully
transparent, in at most 256 colours, is stored with a 256-colour palette
and the transparency mask alone, a third of the size and not a colour less;
any other image keeps 32 bits per pixel with alpha.

Usage: make_icons.py OUTPUT_FOLDER
"""
import struct
import sys
from pathlib import Path


def blend(dst, src):
    sa = src[3] / 255.0
    da = dst[3] / 255.0
    oa = sa + da * (1 - sa)
    if oa == 0:
        return (0, 0, 0, 0)
    rgb = tuple(int((src[i] * sa + dst[i] * da * (1 - sa)) / oa + 0.5) for i in range(3))
    return rgb + (int(oa * 255 + 0.5),)


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def put(self, x, y, rgba):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = blend(self.px[y][x], rgba)

    def rect(self, x0, y0, x1, y1, rgba):
        """Fills the box from (x0, y0) to (x1, y1), fractions of the size."""
        s = self.size
        for y in range(int(y0 * s), int(y1 * s + 0.5)):
            for x in range(int(x0 * s), int(x1 * s + 0.5)):
                self.put(x, y, rgba)

    def frame(self, x0, y0, x1, y1, rgba):
        s = self.size
        ax, ay = int(x0 * s), int(y0 * s)
        bx, by = int(x1 * s + 0.5) - 1, int(y1 * s + 0.5) - 1
        for x in range(ax, bx + 1):
            self.put(x, ay, rgba)
            self.put(x, by, rgba)
        for y in range(ay, by + 1):
            self.put(ax, y, rgba)
            self.put(bx, y, rgba)

    def line(self, x0, y0, x1, y1, width, rgba):
        """A thick line between two points given as fractions of the size."""
        s = self.size
        ax, ay, bx, by = x0 * s, y0 * s, x1 * s, y1 * s
        dx, dy = bx - ax, by - ay
        length2 = dx * dx + dy * dy
        half = width * s / 2
        for y in range(s):
            for x in range(s):
                px, py = x + 0.5, y + 0.5
                t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
                cx, cy = ax + t * dx, ay + t * dy
                d = ((px - cx) ** 2 + (py - cy) ** 2) ** 0.5
                cover = max(0.0, min(1.0, half - d + 0.5))
                if cover > 0:
                    self.put(x, y, rgba[:3] + (int(rgba[3] * cover),))


def archive_box(c):
    """A closed archive box: body, lid, strap and the letter K on the label."""
    c.rect(0.12, 0.30, 0.88, 0.92, (176, 122, 58, 255))      # body
    c.rect(0.06, 0.16, 0.94, 0.34, (205, 150, 80, 255))      # lid
    c.frame(0.12, 0.30, 0.88, 0.92, (92, 58, 24, 255))
    c.frame(0.06, 0.16, 0.94, 0.34, (92, 58, 24, 255))
    c.rect(0.44, 0.16, 0.56, 0.92, (60, 90, 170, 255))       # strap
    c.rect(0.30, 0.48, 0.70, 0.80, (245, 240, 225, 255))     # label
    c.frame(0.30, 0.48, 0.70, 0.80, (92, 58, 24, 255))
    c.line(0.42, 0.53, 0.42, 0.75, 0.07, (30, 40, 110, 255))  # K
    c.line(0.44, 0.64, 0.60, 0.53, 0.06, (30, 40, 110, 255))
    c.line(0.46, 0.63, 0.60, 0.75, 0.06, (30, 40, 110, 255))


def red_cross(c):
    c.line(0.52, 0.52, 0.94, 0.94, 0.16, (255, 255, 255, 255))
    c.line(0.94, 0.52, 0.52, 0.94, 0.16, (255, 255, 255, 255))
    c.line(0.56, 0.56, 0.90, 0.90, 0.10, (200, 20, 20, 255))
    c.line(0.90, 0.56, 0.56, 0.90, 0.10, (200, 20, 20, 255))


def bmp_entry(c):
    s = c.size
    header = struct.pack("<IiiHHIIiiII", 40, s, s * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in reversed(range(s)):  # bottom-up
        rows.append(b"".join(struct.pack("BBBB", r_[2], r_[1], r_[0], r_[3]) for r_ in c.px[y]))
    return header + b"".join(rows) + mask_rows(c)


def mask_rows(c):
    """The AND mask, bottom-up: a set bit for each transparent pixel."""
    s = c.size
    mask_stride = ((s + 31) // 32) * 4
    mask = []
    for y in reversed(range(s)):
        bits = bytearray(mask_stride)
        for x in range(s):
            if c.px[y][x][3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask.append(bytes(bits))
    return b"".join(mask)


def palette_entry(c):
    """The image with a 256-colour palette, or None when that would lose a
    colour or a shade of transparency. Index 0 is black, which the mask
    needs under a transparent pixel."""
    s = c.size
    pixels = [p for row in c.px for p in row]
    if any(p[3] not in (0, 255) for p in pixels):
        return None
    colours = [(0, 0, 0)] + sorted({p[:3] for p in pixels if p[3] == 255} - {(0, 0, 0)})
    if len(colours) > 256:
        return None
    index = {rgb: i for i, rgb in enumerate(colours)}
    header = struct.pack("<IiiHHIIiiII", 40, s, s * 2, 1, 8, 0, 0, 0, 0, 0, 0)
    table = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in colours)
    table += bytes(4 * (256 - len(colours)))
    stride = (s + 3) // 4 * 4
    rows = []
    for y in reversed(range(s)):  # bottom-up
        row = bytes(index[p[:3]] if p[3] else 0 for p in c.px[y])
        rows.append(row + bytes(stride - s))
    return header + table + b"".join(rows) + mask_rows(c)


def decode(data):
    """The RGBA pixels, top row first, of an image written here; transparent
    pixels come back as (0, 0, 0, 0), as the canvas holds them."""
    _, s, _, _, bits = struct.unpack_from("<IiiHH", data)
    stride = s * 4 if bits == 32 else (s + 3) // 4 * 4
    table = 40 + (1024 if bits == 8 else 0)
    mask_at = table + stride * s
    mask_stride = ((s + 31) // 32) * 4
    px = []
    for y in range(s):
        bottom = s - 1 - y
        row = []
        for x in range(s):
            if bits == 32:
                b, g, r, a = data[table + bottom * stride + 4 * x:][:4]
            else:
                i = data[table + bottom * stride + x]
                b, g, r, _ = data[40 + 4 * i:][:4]
                a = 255
            if data[mask_at + bottom * mask_stride + x // 8] & (0x80 >> (x % 8)):
                r, g, b, a = 0, 0, 0, 0
            row.append((r, g, b, a))
        px.append(row)
    return px


def ico(canvases):
    images = []
    for c in canvases:
        data = palette_entry(c) or bmp_entry(c)
        if decode(data) != c.px:
            sys.exit(f"the {c.size} pixel image does not read back as drawn")
        images.append(data)
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        bits = struct.unpack_from("<H", data, 14)[0]
        out += struct.pack("<BBBBHHII", c.size % 256, c.size % 256, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def draw(painters):
    canvases = []
    for size in (16, 32, 48):
        c = Canvas(size)
        for paint in painters:
            paint(c)
        canvases.append(c)
    return ico(canvases)


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    out.mkdir(parents=True, exist_ok=True)
    (out / "delicon.ico").write_bytes(draw([archive_box, red_cross]))
    (out / "orvicon.ico").write_bytes(draw([archive_box]))


if __name__ == "__main__":
    main()
