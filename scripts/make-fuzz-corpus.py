#!/usr/bin/env python3
"""Makes the fuzzers' seed corpus in tests/fuzz/corpus: small BMP files and key sequences."""
import os
import struct
import sys


def bmp(width=2, height=2, bit_count=24, bi_size=40, compression=0, off_bits=None,
        size_image=None, pixels=None, gap=0, magic=b"BM"):
    """A BMP file; the information header is padded to bi_size when that is larger than 40."""
    rows = abs(height) if -(2**31) < height < 2**31 else 0
    stride = (3 * width + 3) // 4 * 4 if 0 < width < 64 else 0
    if pixels is None:
        pixels = bytes((x * 37 + 11) & 0xFF for x in range(stride * min(rows, 64)))
    info = struct.pack("<IiiHHIIiiII", bi_size & 0xFFFFFFFF, width, height, 1, bit_count,
                       compression, len(pixels) if size_image is None else size_image,
                       2835, 2835, 0, 0)
    if 40 < bi_size <= 124:
        info += bytes(bi_size - 40)
    if off_bits is None:
        off_bits = 14 + len(info) + gap
    body = info + b"\x77" * gap + pixels
    header = struct.pack("<2sIHHI", magic, 14 + len(body), 0, 0, off_bits & 0xFFFFFFFF)
    return header + body


def bitmap_seeds():
    valid = bmp(3, 2)
    seeds = {
        "valid_3x2": valid,
        "valid_1x1": bmp(1, 1),
        "valid_4x4": bmp(4, 4),
        "top_down_2x3": bmp(2, -3),
        "gap_before_pixels": bmp(2, 2, gap=10),
        "v5_header": bmp(2, 2, bi_size=124),
        "offset_zero": bmp(2, 2, off_bits=0),
        "offset_inside_headers": bmp(2, 2, off_bits=20),
        "offset_at_end": bmp(2, 2, off_bits=len(bmp(2, 2))),
        "offset_past_end": bmp(2, 2, off_bits=0xFFFFFFF0),
        "size_image_zero": bmp(2, 2, size_image=0),
        "size_image_huge": bmp(2, 2, size_image=0xFFFFFFFF),
        "not_bm": bmp(magic=b"XY"),
        "bit_count_8": bmp(bit_count=8),
        "bit_count_32": bmp(bit_count=32),
        "core_header": bmp(bi_size=12),
        "compressed_rle": bmp(compression=1),
        "compressed_bitfields": bmp(compression=3),
        "width_zero": bmp(0, 2),
        "width_negative": bmp(-2, 2),
        "height_zero": bmp(2, 0),
        "height_most_negative": bmp(2, -(2**31)),
        "width_most": bmp(2**31 - 1, 1),
        "huge_in_tiny_file": bmp(100000, 100000),
        "pixels_short": valid[:-1],
        "empty": b"",
        "file_header_short": valid[:13],
        "info_header_short": valid[:53],
        "headers_only": valid[:54],
    }
    return seeds


# Key sequences a terminal sends, and sequences the decoder must swallow whole.
KEY_SEQUENCES = {
    "plain": b"q0x\x03", "up": b"\x1b[A", "down": b"\x1b[B", "right": b"\x1b[C",
    "left": b"\x1b[D", "home": b"\x1b[H", "end": b"\x1b[F", "app_up": b"\x1bOA",
    "home_1": b"\x1b[1~", "home_7": b"\x1b[7~", "end_4": b"\x1b[4~", "pgup": b"\x1b[5~",
    "f2_ss3": b"\x1bOQ", "f3_ss3": b"\x1bOR", "f4_ss3": b"\x1bOS", "f11": b"\x1b[23~",
    "insert": b"\x1b[2~", "pgdn": b"\x1b[6~", "f1_ss3": b"\x1bOP", "f5": b"\x1b[15~",
    "f10": b"\x1b[21~", "f12": b"\x1b[24~", "linux_f1": b"\x1b[[A", "linux_f5": b"\x1b[[E",
    "shift_f1": b"\x1b[1;2P", "ctrl_f10": b"\x1b[21;5~", "alt_f10": b"\x1b[21;3~",
    "alt_f1_ss3": b"\x1bO3P", "ctrl_up": b"\x1b[1;5A", "alt_up": b"\x1b[1;3A",
    "unknown_25": b"\x1b[25~", "unknown_final": b"\x1b[5Z1", "private": b"\x1b[?1;2c",
    "intermediate": b"\x1b[1 q", "three_parameters": b"\x1b[1;2;3A6",
    "huge_parameter": b"\x1b[99999999999999~5", "cut_by_control": b"\x1b[1\x03",
    "esc_restarts": b"\x1b[1\x1b[A", "linux_unknown": b"\x1b[[Z4", "esc_key": b"\x1bx",
    "esc_esc": b"\x1b\x1b", "mixed": b"2\x1b[A5\xe3\x81\x82",
}


def key_input(sequence, pause_before=()):
    """Pairs of (timing, byte); timing 1 pauses before the byte when a lone Esc waits."""
    return b"".join(bytes((1 if i in pause_before else 0, b)) for i, b in enumerate(sequence))


def key_seeds():
    seeds = {name: key_input(seq) for name, seq in KEY_SEQUENCES.items()}
    seeds["lone_esc"] = key_input(b"\x1b")
    seeds["esc_pause_bracket"] = key_input(b"\x1b[A", pause_before=(1,))
    seeds["pause_inside_sequence"] = bytes((0, 27, 0, ord("["), 2, ord("A")))
    return seeds


def write_folder(folder, seeds):
    os.makedirs(folder, exist_ok=True)
    for name in os.listdir(folder):
        os.remove(os.path.join(folder, name))
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "tests", "fuzz", "corpus")
    write_folder(os.path.join(root, "bitmap_reader"), bitmap_seeds())
    write_folder(os.path.join(root, "key_decoder"), key_seeds())


if __name__ == "__main__":
    main()
