#!/usr/bin/env python3
"""Writes the seed corpus of the library-data fuzz target, fuzz/corpus/library_data/.

Each seed is one library record: f64 x1, f64 x2, u32 Y-unit code, u16 kind,
u16 bytes per value, u32 count, u8 title length, the title, then the
values. Run it from the repository root.
"""
import struct

from native_file_seeds import write_corpus


def record(x1, x2, y_units, kind, width, count, title, values):
    return struct.pack("<ddIHHIB", x1, x2, y_units, kind, width, count, len(title)) + title + values


def main():
    write_corpus("library_data", {
        "words.bin": record(4000.0, 400.0, 16, 0, 2, 4, b"polystyrene",
                            struct.pack("<4H", 0, 65535, 32768, 1)),
        "bytes.bin": record(400.0, 4000.0, 17, 1, 1, 6, b"abs", bytes([0, 255, 51, 7, 9, 200])),
        "floats.bin": record(1000.0, 1100.0, 17, 0, 4, 3, b"f", struct.pack("<3f", 1.5, -2.0, 1e-30)),
        "odd_width.bin": record(1.0, 2.0, 17, 0, 3, 2, b"", bytes(6)),
        "long_count.bin": record(1.0, 2.0, 16, 0, 2, 5000, b"cut short", bytes(10)),
    })


if __name__ == "__main__":
    main()
