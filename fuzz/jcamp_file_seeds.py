#!/usr/bin/env python3
"""Writes the seed corpus of the JCAMP-DX fuzz target, fuzz/corpus/jcamp_file/.

Each seed is a small JCAMP-DX file: tables in every digit form of the
standard (AFFN, PAC, SQZ, DIF with its Y check, DUP, missing values), an
(XY..XY) table, descending X, an interferogram, records over several lines
with dates and units, and three of the public test files of
tests/data/jcamp/. Run it from the repository root.
"""
import os
import shutil

CORPUS = "fuzz/corpus/jcamp_file"
PUBLIC = ["difdup_example.jdx", "IMSDEMO.DX", "dupinc2.jdx"]


def jcamp(records, table, form="(X++(Y..Y))"):
    return ("##TITLE=seed\r\n##JCAMP-DX=5.01\r\n" + records + "##XYDATA=" + form + "\r\n" + table + "##END=\r\n")


def axis(points, first, last):
    return f"##FIRSTX={first}\r\n##LASTX={last}\r\n##NPOINTS={points}\r\n"


def main():
    os.makedirs(CORPUS, exist_ok=True)
    pairs = "".join(f"{1000 + 2 * i}, {0.5 + i / 100}\r\n" for i in range(32))
    seeds = {
        "affn.jdx": jcamp("##YFACTOR=1.0E-03\r\n" + axis(6, 400, 405), "400 1 2 3\r\n403 4 5 6\r\n"),
        "pac.jdx": jcamp(axis(5, 4000, 3996), "4000+12-3+45\r\n3997-6+7\r\n"),
        "sqz_dif_dup.jdx": jcamp(axis(9, 1, 9), "1A0JJT\r\n5A4%U?\r\n"),
        "missing.jdx": jcamp(axis(4, 1, 4), "1 ? 2 ?S\r\n"),
        "pairs.jdx": jcamp(axis(32, 1000, 1062), pairs, "(XY..XY)"),
        "interferogram.jdx": "##TITLE=ifg\r\n##JCAMP-DX=5.01\r\n##DATA TYPE=INFRARED INTERFEROGRAM\r\n"
                             "##AUNITS=VOLTS\r\n##FIRSTR=0\r\n##LASTR=3\r\n##NPOINTS=4\r\n##ZPD=1\r\n"
                             "##ALIAS=1/2\r\n##RADATA=(R++(A..A))\r\n0 1 -2 3 4\r\n##END=\r\n",
        "records.jdx": "##TITLE=two\r\n lines\r\n##JCAMP-DX=5.01\r\n##LONG DATE=2001/02/14 15:15:42 +0100\r\n"
                       "##XUNITS=SECONDS\r\n##YUNITS=REFLECTANCE\r\n##STATE=gas\r\n##NAMES=a\r\nb\r\n"
                       + axis(3, 60, 180) + "##XYDATA=(X++(Y..Y))\r\n60 1 2 3\r\n##END=\r\n",
    }
    for name, text in seeds.items():
        with open(os.path.join(CORPUS, name), "w", newline="") as out:
            out.write(text)
    for name in PUBLIC:
        shutil.copyfile(os.path.join("tests/data/jcamp", name), os.path.join(CORPUS, name))


if __name__ == "__main__":
    main()
