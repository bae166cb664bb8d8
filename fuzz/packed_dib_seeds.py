#!/usr/bin/env python3
"""Writes the seeds of the packed-DIB fuzz target into fuzz/corpus/packed_dib/.

Each seed is two bytes of target size (width, height) and a packed DIB: a
40-byte information header, the colour table, then the rows bottom-up, each
padded to 4 bytes.
"""
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "packed_dib")


def header(width, height, bits, used=0):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, 0, 0, 0, used, 0)


def rows(width, height, bits, byte):
    stride = ((width * bits + 31) // 32) * 4
    return bytes([byte]) * (stride * height)


def main():
    os.makedirs(HERE, exist_ok=True)
    seeds = {
        "rgb_3x2.dib": bytes([1, 3]) + header(3, 2, 24) + rows(3, 2, 24, 0x40),
        "four_bit_2x2.dib": bytes([4, 4]) + header(2, 2, 4) + bytes(range(64)) + rows(2, 2, 4, 0x12),
        "too_many_colours.dib": bytes([2, 2]) + header(2, 2, 8, 300) + bytes(1200) + rows(2, 2, 8, 1),
        "row_short.dib": bytes([2, 1]) + header(4, 3, 24) + rows(4, 2, 24, 0x80),
    }
    for name, data in seeds.items():
        with open(os.path.join(HERE, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
