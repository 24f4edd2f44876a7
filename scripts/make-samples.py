#!/usr/bin/env python3
"""Makes the sample pictures in samples/: a landscape and patterns whose spectra teach something."""
import math
import os
import random
import struct
import sys


def write_bmp(path, width, height, pixel):
    """Writes a 24-bit bottom-up BMP; pixel(x, y) gives (r, g, b) with y = 0 at the top."""
    stride = (3 * width + 3) // 4 * 4
    rows = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = (max(0, min(255, int(round(c)))) for c in pixel(x, y))
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        rows += row
    header = struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + rows)


def value_noise(seed, size):
    """Smooth fractal noise on a size x size grid, values roughly in [0, 1]."""
    rng = random.Random(seed)
    grid = [[rng.random() for _ in range(65)] for _ in range(65)]

    def smooth(u, v):
        x0, y0 = int(u), int(v)
        fx, fy = u - x0, v - y0
        fx, fy = fx * fx * (3 - 2 * fx), fy * fy * (3 - 2 * fy)
        a = grid[y0 % 64][x0 % 64] * (1 - fx) + grid[y0 % 64][(x0 + 1) % 64] * fx
        b = grid[(y0 + 1) % 64][x0 % 64] * (1 - fx) + grid[(y0 + 1) % 64][(x0 + 1) % 64] * fx
        return a * (1 - fy) + b * fy

    def noise(x, y):
        total, amplitude, scale = 0.0, 0.5, 8.0 / size
        for _ in range(5):
            total += amplitude * smooth(x * scale, y * scale)
            amplitude *= 0.5
            scale *= 2
        return total

    return noise


def landscape(width, height):
    ridge = value_noise(1, width)
    texture = value_noise(2, width)
    horizon = int(height * 0.62)
    sun_x, sun_y, sun_r = width * 0.72, height * 0.22, height * 0.07

    def mountain_top(x):
        return height * 0.28 + ridge(x, 0) * height * 0.45

    def pixel(x, y):
        if y < horizon:
            t = y / horizon
            sky = (90 + 120 * t, 150 + 80 * t, 235 - 20 * t)
            d = math.hypot(x - sun_x, y - sun_y)
            if d < sun_r:
                return (255, 240, 200)
            glow = max(0.0, 1 - d / (sun_r * 4)) ** 2
            sky = tuple(c + (255 - c) * glow * 0.6 for c in sky)
            top = mountain_top(x)
            if y > top:
                shade = 0.55 + 0.45 * texture(x, y)
                snow = y < top + 12 and top < height * 0.42
                base = (235, 235, 240) if snow else (95, 110, 95)
                return tuple(c * shade for c in base)
            return sky
        # The lake mirrors the scene above the horizon, darkened and rippled.
        mirror = 2 * horizon - y - 1
        ripple = int(3 * math.sin(y * 0.9 + texture(x, y) * 6))
        r, g, b = pixel(min(width - 1, max(0, x + ripple)), max(0, mirror))
        if y > height * 0.88:
            grass = 0.6 + 0.4 * texture(x * 3, y * 3)
            return (70 * grass, 120 * grass, 50 * grass)
        return (r * 0.55, g * 0.6, b * 0.7 + 20)

    return pixel


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "samples")
    os.makedirs(folder, exist_ok=True)
    n = 256
    samples = {
        # 640 x 480: the 512 x 256 top-left corner is analysed.
        "landscape.bmp": (640, 480, landscape(640, 480)),
        # One frequency across: two bright points on the horizontal axis.
        "grating.bmp": (n, n, lambda x, y: (128 + 127 * math.cos(2 * math.pi * x / 16),) * 3),
        # A tilted grating: the points move off the axes, perpendicular to the stripes.
        "diagonal.bmp": (n, n, lambda x, y: (128 + 127 * math.cos(2 * math.pi * (x + 2 * y) / 32),) * 3),
        # A square: a sinc pattern along both axes.
        "square.bmp": (n, n, lambda x, y: (255,) * 3 if 112 <= x < 144 and 112 <= y < 144 else (0,) * 3),
        # A disk: rings, like light through a round aperture.
        "disk.bmp": (n, n, lambda x, y: (255,) * 3 if math.hypot(x - 127.5, y - 127.5) < 20 else (0,) * 3),
        # A checkerboard: peaks at odd harmonics on both diagonals.
        "checkerboard.bmp": (n, n, lambda x, y: (255,) * 3 if (x // 8 + y // 8) % 2 else (0,) * 3),
    }
    for name, (width, height, pixel) in samples.items():
        write_bmp(os.path.join(folder, name), width, height, pixel)


if __name__ == "__main__":
    main()
