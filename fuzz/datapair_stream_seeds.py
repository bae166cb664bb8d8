#!/usr/bin/python3
"""Writes the seeds of fuzz_datapair_stream into corpus/datapair_stream/:
stored pair lists (u32 count, then 16-byte entries: u16 tag, six reserved
bytes, f32 x, f32 y, little-endian). Run it from this folder."""
import os
import struct

folder = os.path.join("corpus", "datapair_stream")
os.makedirs(folder, exist_ok=True)


def entry(tag, x, y, reserved=b"\0" * 6):
    return struct.pack("<H", tag) + reserved + struct.pack("<ff", x, y)


def write(name, data):
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


write("three_pairs.bin", struct.pack("<I", 3) + entry(1, 0.0, 1.0) + entry(2, 1.5, -2.0, b"\xa5" * 6)
      + entry(3, 4.0, float("nan")))
write("empty.bin", struct.pack("<I", 0))
write("cut_short.bin", struct.pack("<I", 2) + entry(1, 1.0, 2.0) + entry(2, 3.0, 4.0)[:8])
write("huge_count.bin", struct.pack("<I", 0x10000000) + entry(1, 1.0, 2.0))
