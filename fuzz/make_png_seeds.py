#!/usr/bin/env python3
"""Writes the seed corpus of png_fuzzer: small PNG files of every colour type
and bit depth, plain, interlaced or turned by EXIF, with and without transparency, and a few
damaged ones (truncated, bad checksum, sizes at and beyond the limit).

Usage: make_png_seeds.py OUTDIR
"""
import os
import struct
import sys
import zlib

SIGNATURE = b"\x89PNG\r\n\x1a\n"
CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}  # colour type -> samples per pixel
ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4),
         (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def chunk(kind, body, crc=None):
    if crc is None:
        crc = zlib.crc32(kind + body) & 0xFFFFFFFF
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", crc)


def header(width, height, depth, colour, interlace=0):
    return chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, interlace))


def pack_row(samples, depth):
    if depth == 16:
        return b"".join(struct.pack(">H", s) for s in samples)
    if depth == 8:
        return bytes(samples)
    out = bytearray((len(samples) * depth + 7) // 8)
    for k, s in enumerate(samples):
        bit = k * depth
        out[bit // 8] |= s << (8 - depth - bit % 8)
    return bytes(out)


def sample(x, y, c, depth):
    return (x * 37 + y * 91 + c * 53) % (1 << depth)


def image_data(width, height, depth, colour, interlace):
    n = CHANNELS[colour]
    passes = ADAM7 if interlace else [(0, 0, 1, 1)]
    raw = bytearray()
    for x0, y0, dx, dy in passes:
        xs = range(x0, width, dx)
        for y in range(y0, height, dy):
            if not xs:
                break
            row = [sample(x, y, c, depth) for x in xs for c in range(n)]
            raw += b"\x00" + pack_row(row, depth)  # filter type 0
    return zlib.compress(bytes(raw), 9)


def png(width, height, depth, colour, interlace=0, trns=False, orientation=0, order="<"):
    out = SIGNATURE + header(width, height, depth, colour, interlace)
    if orientation:  # EXIF data whose IFD0 holds the orientation alone
        out += chunk(b"eXIf", struct.pack(order + "2sHIHHHIHHI", order.replace("<", "II").replace(">", "MM").encode(),
                                          42, 8, 1, 0x0112, 3, 1, orientation, 0, 0))
    if colour == 3:
        entries = 1 << depth
        out += chunk(b"PLTE", bytes((i * 7 + k * 80) % 256 for i in range(entries) for k in range(3)))
        if trns:
            out += chunk(b"tRNS", bytes((i * 50) % 256 for i in range(entries)))
    elif trns and colour == 0:
        out += chunk(b"tRNS", struct.pack(">H", 1))
    elif trns and colour == 2:
        out += chunk(b"tRNS", struct.pack(">HHH", 1, 2, 3))
    out += chunk(b"IDAT", image_data(width, height, depth, colour, interlace))
    return out + chunk(b"IEND", b"")


def seeds():
    depths = {0: [1, 2, 4, 8, 16], 2: [8, 16], 3: [1, 2, 4, 8], 4: [8, 16], 6: [8, 16]}
    for colour, ds in depths.items():
        for depth in ds:
            name = "c%d_d%d" % (colour, depth)
            yield name, png(5, 3, depth, colour)
            yield name + "_adam7", png(9, 9, depth, colour, interlace=1)
            if colour in (0, 2, 3):
                yield name + "_trns", png(3, 2, depth, colour, trns=True)
    yield "turned_6", png(7, 3, 8, 6, orientation=6)
    yield "turned_5_adam7_be", png(9, 5, 8, 2, interlace=1, orientation=5, order=">")
    good = png(4, 4, 8, 6)
    yield "truncated", good[: len(good) // 2]
    yield "bad_crc", good[:-5] + bytes([good[-5] ^ 1]) + good[-4:]
    yield "signature_only", SIGNATURE
    yield "one_pixel", png(1, 1, 8, 2)
    # Headers whose sizes meet and pass the limit of 2^28 pixels, no data.
    for name, (w, h) in {"at_limit": (16384, 16384), "over_limit": (16385, 16384),
                         "wraps_32_bits": (65536, 65536), "wide": (0x7FFFFFFF, 1)}.items():
        yield name, SIGNATURE + header(w, h, 8, 6) + chunk(b"IDAT", zlib.compress(b"\x00" * 64))


def main():
    outdir = sys.argv[1]
    os.makedirs(outdir, exist_ok=True)
    for name, data in seeds():
        with open(os.path.join(outdir, name + ".png"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
