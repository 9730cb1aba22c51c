#!/usr/bin/env python3
"""Writes the picture fuzzer's seed corpus: tiny PNG, BMP and TGA files, each
prefixed with the byte that selects the loading mode and pool."""
import os
import struct
import zlib

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
os.makedirs(here, exist_ok=True)


def png(width, height, rgba):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    color = 6 if rgba else 2
    bpp = 4 if rgba else 3
    rows = b"".join(b"\0" + bytes((x * 40 + y * 7 + c * 60) & 255 for x in range(width) for c in range(bpp))
                    for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, color, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def bmp(width, height):
    stride = (width * 3 + 3) & ~3
    pixels = b"".join(bytes((x * 50 + y * 30 + c * 80) & 255 for x in range(width) for c in range(3)).ljust(stride, b"\0")
                      for y in range(height))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels


def tga(width, height):
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, width, height, 32, 8)
    return header + bytes((x * 30 + c * 70) & 255 for _ in range(height) for x in range(width) for c in range(4))


files = {
    "png-rgba-unfiltered": b"\x01" + png(5, 3, True),
    "png-rgb-filtered": b"\x00" + png(3, 7, False),
    "png-managed": b"\x03" + png(1, 1, True),
    "bmp-24": b"\x01" + bmp(3, 2),
    "tga-32": b"\x02" + tga(2, 2),
}
for name, data in files.items():
    with open(os.path.join(here, name), "wb") as f:
        f.write(data)
