#!/usr/bin/env python3
"""Writes the font fuzzer's seed corpus: tiny TrueType fonts of the family
"Fuzz Sans" (one square glyph for "A" and "?"), each prefixed with the byte
that picks the size (see FuzzFont.cpp)."""
import os
import struct

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
os.makedirs(here, exist_ok=True)


def font(family, weight=400, os2=True):
    square = struct.pack(">hhhhhH", 1, 50, 0, 550, 700, 3) + struct.pack(">H", 0) + bytes([1, 1, 1, 1])
    square += struct.pack(">hhhh", 50, 500, 0, -500) + struct.pack(">hhhh", 0, 0, 700, 0)
    glyf = square + b"\0" * (len(square) % 2)
    loca = struct.pack(">HHH", 0, 0, len(glyf) // 2)
    head = struct.pack(">IIIIHHqqhhhhHHhhh", 0x10000, 0x10000, 0, 0x5F0F3CF5, 0x000B, 1000, 0, 0,
                       0, 0, 600, 800, 0, 8, 2, 0, 0)
    hhea = struct.pack(">Ihhh H hhh hhh hhhh h H", 0x10000, 800, -200, 0, 600, 0, 0, 600, 1, 0, 0,
                       0, 0, 0, 0, 0, 2)
    maxp = struct.pack(">IHHHHHHHHHHHHHH", 0x10000, 2, 4, 1, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0)
    hmtx = struct.pack(">HhHh", 500, 0, 600, 50)
    segments = [(0x3F, 0x3F), (0x41, 0x41), (0xFFFF, 0xFFFF)]
    n = len(segments)
    cmap4 = struct.pack(">HHHHHHH", 4, 16 + 8 * n, 0, 2 * n, 4, 1, 2 * n - 4)
    cmap4 += b"".join(struct.pack(">H", e) for _, e in segments) + struct.pack(">H", 0)
    cmap4 += b"".join(struct.pack(">H", s) for s, _ in segments)
    cmap4 += b"".join(struct.pack(">H", (1 - s) & 0xFFFF if s != 0xFFFF else 1) for s, _ in segments)
    cmap4 += b"\0\0" * n
    cmap = struct.pack(">HHHHI", 0, 1, 3, 1, 12) + cmap4
    names = [(1, family), (2, "Regular")]
    strings = b""
    records = b""
    for name_id, text in names:
        data = text.encode("utf-16-be")
        records += struct.pack(">HHHHHH", 3, 1, 0x409, name_id, len(data), len(strings))
        strings += data
    name = struct.pack(">HHH", 0, len(names), 6 + 12 * len(names)) + records + strings
    post = struct.pack(">IIhhIIIII", 0x30000, 0, -100, 50, 0, 0, 0, 0, 0)
    tables = {b"cmap": cmap, b"glyf": glyf, b"head": head, b"hhea": hhea, b"hmtx": hmtx,
              b"loca": loca, b"maxp": maxp, b"name": name, b"post": post}
    if os2:
        tables[b"OS/2"] = struct.pack(">HhHHH hhhhhhhh h h h", 0, 550, weight, 5, 0,
                                      0, 0, 0, 0, 0, 0, 0, 0, 50, 250, 0) + bytes(10) + bytes(16) + \
            b"MIVO" + struct.pack(">HHHhhhHH", 0x40, 0x3F, 0x41, 800, -200, 0, 850, 250)
    count = len(tables)
    out = struct.pack(">IHHHH", 0x10000, count, 128, 3, count * 16 - 128)
    offset = 12 + 16 * count
    body = b""
    for tag in sorted(tables):
        data = tables[tag]
        out += tag + struct.pack(">III", 0, offset + len(body), len(data))
        body += data + b"\0" * (-len(data) % 4)
    return out + body


files = {
    "size-16": b"\x07" + font("Fuzz Sans"),
    "size-large": b"\xfe" + font("Fuzz Sans", 700),
    "size-huge": b"\xff" + font("Fuzz Sans"),
    "no-os2": b"\x20" + font("Fuzz Sans", os2=False),
    "other-family": b"\x07" + font("Other Family"),
}
for name, data in files.items():
    with open(os.path.join(here, name), "wb") as f:
        f.write(data)
