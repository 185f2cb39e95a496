#!/usr/bin/env python3
"""Packs app-<size>.png files into a Windows icon.

Usage: make-ico.py OUT.ico ENTRY...  where ENTRY is "png:SIZE" (the PNG stored as is),
"32:SIZE" (32-bit bitmap with alpha) or "8:SIZE" (256-colour bitmap, transparency by mask).
Standard library only: reads the 8-bit RGBA PNGs that rsvg-convert writes.
"""
import struct
import sys
import zlib


def read_png(path):
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour == 6 and interlace == 0, f"{path}: not 8-bit RGBA"
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw, stride, rows, prev = zlib.decompress(idat), width * 4, [], bytearray(width * 4)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for x in range(stride):
            a = line[x - 4] if x >= 4 else 0
            b = prev[x]
            c = prev[x - 4] if x >= 4 else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    return width, height, rows, data


def palette():
    levels = [0, 51, 102, 153, 204, 255]
    colours = [(r, g, b) for r in levels for g in levels for b in levels]
    greys = [round(i * 255 / 41) for i in range(1, 41)]
    return colours + [(v, v, v) for v in greys]


def nearest(colours, r, g, b, cache={}):
    key = (r, g, b)
    if key not in cache:
        cache[key] = min(range(len(colours)),
                         key=lambda i: (colours[i][0] - r) ** 2 + (colours[i][1] - g) ** 2 + (colours[i][2] - b) ** 2)
    return cache[key]


def mask_rows(width, rows):
    out = []
    for row in reversed(rows):
        bits = bytearray((width + 31) // 32 * 4)
        for x in range(width):
            if row[x * 4 + 3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out.append(bytes(bits))
    return b"".join(out)


def dib(width, height, rows, depth):
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, depth, 0, 0, 0, 0,
                         256 if depth == 8 else 0, 0)
    if depth == 32:
        pixels = b"".join(bytes(v for x in range(width) for v in (row[x * 4 + 2], row[x * 4 + 1],
                                                                   row[x * 4], row[x * 4 + 3]))
                          for row in reversed(rows))
        return header + pixels + mask_rows(width, rows)
    colours = palette()
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)
    pad = (-width) % 4
    pixels = b""
    for row in reversed(rows):
        line = bytes(0 if row[x * 4 + 3] < 128 else nearest(colours, *row[x * 4:x * 4 + 3]) for x in range(width))
        pixels += line + b"\0" * pad
    return header + table + pixels + mask_rows(width, rows)


def main():
    out, entries = sys.argv[1], sys.argv[2:]
    images = []
    for entry in entries:
        kind, size = entry.split(":")
        width, height, rows, png = read_png(f"app-{size}.png")
        body = png if kind == "png" else dib(width, height, rows, int(kind))
        depth = 32 if kind == "png" else int(kind)
        images.append((width, height, depth, body))
    offset = 6 + 16 * len(images)
    directory, blobs = struct.pack("<HHH", 0, 1, len(images)), b""
    for width, height, depth, body in images:
        directory += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, depth, len(body), offset)
        offset += len(body)
        blobs += body
    open(out, "wb").write(directory + blobs)


main()
