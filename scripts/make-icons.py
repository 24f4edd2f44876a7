#!/usr/bin/env python3
"""Turns the program's own picture of a spectrum (a 24-bit BMP) into the desktop's icons.

make-icons.py PICTURE.bmp FOLDER writes FOLDER/hicolor/NxN/apps/bmpspectrum.png for the usual
sizes and FOLDER/bmpspectrum.ico for the Windows resource. Only the standard library: building
needs no image tool.
"""
import os
import struct
import sys
import zlib

HICOLOR_SIZES = (16, 24, 32, 48, 64, 128, 256)
# Explorer's views take 16 to 48 pixels as small bitmaps and 256 as a PNG, as Windows' own icons.
ICO_BITMAP_SIZES = (16, 24, 32, 48)
ICO_PNG_SIZE = 256


def read_bmp(path):
    """Returns (width, height, rows) of a 24-bit BMP, rows top first as lists of (r, g, b)."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        sys.exit(f"make-icons: {path}: not a BMP file")
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24 or width <= 0 or height == 0:
        sys.exit(f"make-icons: {path}: not a 24-bit picture")
    stride = (3 * width + 3) // 4 * 4
    rows = []
    for y in range(abs(height)):
        start = offset + y * stride
        row = data[start:start + 3 * width]
        rows.append([(row[i + 2], row[i + 1], row[i]) for i in range(0, 3 * width, 3)])
    if height > 0:  # bottom-up
        rows.reverse()
    return width, abs(height), rows


def area_weights(source, target):
    """For each target index, the (source index, weight) pairs of its share of the source."""
    scale = source / target
    weights = []
    for i in range(target):
        low, high = i * scale, (i + 1) * scale
        pairs = []
        j = int(low)
        while j < high and j < source:
            overlap = min(high, j + 1) - max(low, j)
            if overlap > 1e-9:
                pairs.append((j, overlap / scale))
            j += 1
        weights.append(pairs)
    return weights


def resize(width, height, rows, size):
    """The picture scaled to size x size by area averaging (each output pixel the mean of what
    it covers), which keeps thin rings from aliasing at small sizes."""
    across = area_weights(width, size)
    down = area_weights(height, size)
    narrow = [[tuple(sum(row[j][c] * w for j, w in pairs) for c in range(3)) for pairs in across]
              for row in rows]
    return [[tuple(min(255, int(sum(narrow[j][x][c] * w for j, w in pairs) + 0.5))
                   for c in range(3)) for x in range(size)] for pairs in down]


def png_bytes(rows):
    """An 8-bit RGBA PNG (opaque), the form every icon reader takes."""
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    raw = bytearray()
    for row in rows:
        raw.append(0)  # no filter
        for r, g, b in row:
            raw += bytes((r, g, b, 255))
    header = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def ico_bitmap_bytes(rows):
    """An icon image as a 32-bit bottom-up DIB with its all-clear AND mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b in row:
            pixels += bytes((b, g, r, 255))
    mask_stride = (size + 31) // 32 * 4
    return header + bytes(pixels) + bytes(mask_stride * size)


def ico_bytes(images):
    """An .ico file of (size, image bytes) entries."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b""
    for size, image in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image),
                                 offset + len(body))
        body += image
    return directory + body


def write_whole(path, data):
    """Writes a file whole or not at all: a temporary file renamed when complete."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    temporary = path + ".tmp"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, path)


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make-icons.py PICTURE.bmp FOLDER")
    width, height, rows = read_bmp(sys.argv[1])
    folder = sys.argv[2]
    scaled = {size: resize(width, height, rows, size)
              for size in set(HICOLOR_SIZES) | set(ICO_BITMAP_SIZES) | {ICO_PNG_SIZE}}
    for size in HICOLOR_SIZES:
        write_whole(os.path.join(folder, "hicolor", f"{size}x{size}", "apps", "bmpspectrum.png"),
                    png_bytes(scaled[size]))
    images = [(size, ico_bitmap_bytes(scaled[size])) for size in ICO_BITMAP_SIZES]
    images.append((ICO_PNG_SIZE, png_bytes(scaled[ICO_PNG_SIZE])))
    write_whole(os.path.join(folder, "bmpspectrum.ico"), ico_bytes(images))


if __name__ == "__main__":
    main()
