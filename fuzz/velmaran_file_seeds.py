#!/usr/bin/env python3
"""Writes the seed corpus of the VELMARAN fuzz target, fuzz/corpus/velmaran_file/.

Each seed is built from the layouts of the format. New form ('K'): a
512-byte header (flags at 0, version at 1, exponent at 3, points at 4,
first and last X as f64 at 8 and 16, subfile count at 24, X and Y types at
28 and 29, packed date at 32, source at 45, comment at 88, axis labels at
218), then per subfile a 32-byte header (its exponent at 1) and the 32-bit
values. Old form ('M'): a 256-byte header (exponent i16 at 2, points, first
and last X as f32 at 4, 8, 12, types at 16 and 17, date bytes at 18 to 23,
scans at 34, comment at 64), then the values with their 16-bit halves
exchanged. Run it from the repository root.
"""
import os
import struct

CORPUS = "fuzz/corpus/velmaran_file"


def new_form(subfiles, exponent=-128, first=400.0, last=4000.0, x_type=1, y_type=2, flags=0,
             comment=b"seed", sub_exponents=None, date=(2024 << 20) | (3 << 16) | (15 << 11) | (13 << 6) | 45):
    points = len(subfiles[0])
    header = bytearray(512)
    struct.pack_into("<BBBbIddIBB", header, 0, flags, ord("K"), 0, exponent, points, first, last,
                     len(subfiles), x_type, y_type)
    struct.pack_into("<I", header, 32, date)
    header[45:51] = b"TALVO\0"
    header[88:88 + len(comment)] = comment
    data = bytes(header)
    for index, values in enumerate(subfiles):
        sub = bytearray(32)
        if sub_exponents:
            struct.pack_into("<b", sub, 1, sub_exponents[index])
        data += bytes(sub)
        data += b"".join(struct.pack("<f" if exponent == -128 else "<i", v) for v in values)
    return data


def old_form(values, exponent=-128, first=4000.0, last=400.0):
    header = bytearray(256)
    struct.pack_into("<BBhfffBBhBBBB", header, 0, 0, ord("M"), exponent, float(len(values)), first, last,
                     1, 2, 124, 5, 6, 8, 30)
    struct.pack_into("<H", header, 34, 16)
    header[64:68] = b"old\0"
    body = b""
    for value in values:
        raw = struct.pack("<f" if exponent == -128 else "<i", value)
        body += raw[2:4] + raw[0:2]
    return bytes(header) + body


def main():
    os.makedirs(CORPUS, exist_ok=True)
    seeds = {
        "floats.spc": new_form([[0.5, 1.5, -2.0, 3.25]]),
        "integers.spc": new_form([[1 << 29, -(1 << 28), 1 << 30, 0]], exponent=2),
        "subfiles.spc": new_form([[1, 2], [3, 4], [5, 6]], exponent=0, sub_exponents=[2, 3, 1], comment=b"abc"),
        "raman.spc": new_form([[10.0, 20.0]], first=-100.0, last=3000.0, x_type=13, y_type=0, flags=0x20),
        "old_floats.spc": old_form([1.0, 2.0, 3.0]),
        "old_integers.spc": old_form([1 << 30, 1 << 29], exponent=2),
    }
    for name, data in seeds.items():
        with open(os.path.join(CORPUS, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
