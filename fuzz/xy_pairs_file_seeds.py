#!/usr/bin/env python3
"""Writes the seed corpus of the X-Y pairs fuzz target, fuzz/corpus/xy_pairs_file/.

Each seed is a text file of one point a line, X, the list separator and Y,
in the shapes the reader meets: comma, tab and blank separators, CR LF and
LF line ends, a heading, missing values, descending X, X steps of one (an
interferogram), one line without its end, and a long line. Run it from the
repository root.
"""
import math
import os

CORPUS = "fuzz/corpus/xy_pairs_file"


def lines(pairs, separator=",", end="\r\n"):
    return "".join(f"{x:e}{separator}{y:e}{end}" for x, y in pairs)


def main():
    os.makedirs(CORPUS, exist_ok=True)
    spectrum = [(400.0 + 4 * i, 1.5 + math.sin(i / 3)) for i in range(32)]
    seeds = {
        "comma.txt": lines(spectrum),
        "tab.txt": lines(spectrum[:8], "\t", "\n"),
        "blank.txt": lines(spectrum[:8], "   ", "\n"),
        "descending.txt": lines(list(reversed(spectrum))),
        "interferogram.txt": lines([(float(i), math.cos(i)) for i in range(16)]),
        "heading_missing.txt": "x,y\r\n1000,0.5\r\n1002,#NaN\r\n1004,0.75\r\n",
        "one_line.txt": "1500,0.25",
        "long_line.txt": " " * 120 + "1.0,2.0\n3.0,4.0\n",
    }
    for name, text in seeds.items():
        with open(os.path.join(CORPUS, name), "w", newline="") as out:
            out.write(text)


if __name__ == "__main__":
    main()
