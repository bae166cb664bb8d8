#!/usr/bin/env python3
"""Writes the seed corpus of the correction fuzz target, fuzz/corpus/correction_file/.

Seeds are correction files (a 20-byte head of rows, columns, low X, high X
and the derivative flag, then the rows of floats), one cut short, one with
its limits outside the spectrum the target corrects, and correction tables
(fixed-width fields: numbers in 14 bytes, texts in 42). Run it from the
repository root.
"""
import os
import struct

CORPUS = "fuzz/corpus/correction_file"


def crn(rows, columns, low, high, derivative, values):
    return struct.pack("<IIffI", rows, columns, low, high, derivative) + struct.pack(f"<{len(values)}f", *values)


def number(text):
    return text.ljust(14).encode()


def text(value):
    return value.ljust(42).encode()


def table(magic="70493", regions=(), entries=(), skipped=()):
    head = [magic, "15", "0", str(len(skipped)), str(len(regions)), str(len(entries)), "2000.0", "1000.0"]
    b = b"".join(number(f) for f in head)
    b += b"".join(text(line) for line in skipped)
    b += b"".join(number(h) + number(l) + number(c) for h, l, c in regions)
    b += b"".join(text(s) + text(bg) + number(c) for s, bg, c in entries)
    return b


def main():
    os.makedirs(CORPUS, exist_ok=True)
    seeds = {
        "two_vectors.crn": crn(2, 4, 1002.0, 1005.0, 0, [0.5, 0.5, 0.5, 0.5, 0.5, -0.5, 0.5, -0.5]),
        "derivative.crn": crn(1, 6, 1000.0, 1015.0, 1, [0.1, 0.2, 0.3, 0.4, 0.5, 0.6]),
        "outside.crn": crn(1, 3, -5000.0, 9000.0, 0, [1.0, 0.0, 0.0]),
        "cut.crn": crn(3, 3, 1000.0, 1010.0, 0, [1.0] * 9)[:40],
        "table.txt": table(regions=[("1400", "1200", "1"), ("1800", "1500", "2")],
                           entries=[("/data/a.spa", "", "21"), ("/data/b.spa", "/data/bg.spa", "301")],
                           skipped=["comment"]),
        "wrong_magic.txt": table(magic="70492"),
    }
    for name, data in seeds.items():
        with open(os.path.join(CORPUS, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
