#!/usr/bin/env python3
"""Draws the program icon (a padlock over a network share) and writes app/resources/Vantrel.ico
(16, 32 and 48 pixels, 32-bit DIB entries) and app/resources/vantrel.png (48 pixels, for the Linux
window). The generated files are committed; run this again only to change the artwork."""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "app", "resources")


def draw(size):
    """Returns rows of (r, g, b, a) tuples, drawn in a 48-unit design space with 4x supersampling."""
    ss = 4
    scale = 48.0 / size
    img = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(ss):
                for sx in range(ss):
                    u = (x + (sx + 0.5) / ss) * scale
                    v = (y + (sy + 0.5) / ss) * scale
                    c = shade(u, v)
                    if c is None:
                        continue
                    r, g, b, a = c
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = ss * ss
            a = acc[3] / n
            if acc[3] > 0:
                row.append((round(acc[0] / acc[3]), round(acc[1] / acc[3]), round(acc[2] / acc[3]), round(a * 255)))
            else:
                row.append((0, 0, 0, 0))
        img.append(row)
    return img


def rounded_rect(u, v, x0, y0, x1, y1, r):
    cx = min(max(u, x0 + r), x1 - r)
    cy = min(max(v, y0 + r), y1 - r)
    return (u - cx) ** 2 + (v - cy) ** 2 <= r * r and x0 <= u <= x1 and y0 <= v <= y1


def shade(u, v):
    # Padlock body (amber) in front.
    if rounded_rect(u, v, 14, 22, 34, 40, 3):
        if (u - 24) ** 2 + (v - 29) ** 2 <= 2.6 ** 2 or (22.8 <= u <= 25.2 and 29 <= v <= 35):
            return (60, 40, 10, 1.0)  # keyhole
        return (240, 176, 40, 1.0)
    # Shackle: a half ring above the body.
    d = math.hypot(u - 24, v - 22)
    if v <= 22 and 6.5 <= d <= 9.5:
        return (200, 205, 215, 1.0)
    if 22 <= v <= 24 and (14.5 <= u <= 17.5 or 30.5 <= u <= 33.5):
        return (200, 205, 215, 1.0)
    # Network lines behind: three nodes joined under the lock.
    for (nx, ny) in ((8, 42), (40, 42), (24, 45)):
        if (u - nx) ** 2 + (v - ny) ** 2 <= 3.2 ** 2:
            return (255, 255, 255, 1.0)
    if 43.2 <= v <= 44.8 and 8 <= u <= 40:
        return (255, 255, 255, 1.0)
    # Background tile (blue).
    if rounded_rect(u, v, 1, 1, 47, 47, 8):
        t = v / 48.0
        return (int(30 + 20 * t), int(90 + 30 * t), int(190 - 20 * t), 1.0)
    return None


def png(img):
    size = len(img)
    raw = b"".join(b"\x00" + b"".join(struct.pack("4B", *p) for p in row) for row in img)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def dib(img):
    size = len(img)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(b"".join(struct.pack("4B", p[2], p[1], p[0], p[3]) for p in row) for row in reversed(img))
    mask_row = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(img):
        bits = bytearray(mask_row)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def ico(images):
    entries = b""
    blobs = b""
    offset = 6 + 16 * len(images)
    for img in images:
        data = dib(img)
        size = len(img)
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        blobs += data
        offset += len(data)
    return struct.pack("<HHH", 0, 1, len(images)) + entries + blobs


if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    images = [draw(s) for s in (16, 32, 48)]
    with open(os.path.join(OUT, "Vantrel.ico"), "wb") as f:
        f.write(ico(images))
    with open(os.path.join(OUT, "vantrel.png"), "wb") as f:
        f.write(png(images[2]))
