#!/usr/bin/env python3
"""Writes the seed corpus of the spectrum-file fuzz target, fuzz/corpus/spectrum_file/.

Each seed is a native single-spectrum file built from the layouts: the
304-byte file header (magic, title at 30, 0x1A at 286, file type 1 at 288,
version at 290, directory blocks at 292, entries in use at 294, collection
time at 296, p48 at 300), one directory block of 16-byte entries (type,
offset, length, key 2, key 3) and the sections: header block (2, 140 bytes:
order, points, X unit, Y unit, X values A and B, p39, ...), extension block
(106, 56 bytes), header texts (146, 728 or 128 bytes), history bits (105),
history text (27), comment (4), annotations (104 short, 187 extended), Y
values (3), interferogram descriptors and values (100-103) and attached
items (130: class id, data length, data). Run it from the repository root.
"""
import struct

from native_file_seeds import write_corpus

HEADER = 304
BLOCK = 256


def file_header(count, version=521, title=b"seed spectrum"):
    magic = b"Spectral Data File\r\n".ljust(30, b"\0")
    return (magic + title.ljust(256, b"\0") + b"\x1a\0" +
            struct.pack("<HHHHII", 1, version, 1, count, 7, 0))


def padded(data):
    return data + bytes((4 - len(data) % 4) % 4)


def single(sections, version=521):
    """sections: (type, bytes) placed one after another after the directory."""
    data = bytearray(file_header(len(sections), version))
    directory = bytearray()
    body = bytearray()
    offset = HEADER + BLOCK
    for type_, content in sections:
        stored = padded(content)
        directory += struct.pack("<HIIHI", type_, offset, len(stored), 0, 0)
        body += stored
        offset += len(stored)
    data += directory + bytes(BLOCK - len(directory)) + body
    return bytes(data)


def header_block(points, y_units=17, first=4000.0, last=400.0):
    order = 1 if y_units == 22 else 3
    a, b = (first, last) if order == 1 else (last, first)
    block = struct.pack("<IIIIfff", order, points, 1, y_units, a, b, 0.5)
    return block + bytes(140 - len(block))


def extension_block():
    return struct.pack("<IIIIIffIIIIffI", 30, 1, 2, 0, 18, 120.0, 17.0, 0, 0, 0, 0, 1.0, 0.6329, 0)


def values(*numbers):
    return struct.pack("<%df" % len(numbers), *numbers)


def texts(length):
    data = bytearray(length)
    data[0:4] = b"p49\0"
    if length > 128:
        data[128:132] = b"p51\0"
    return bytes(data)


def short_annotations():
    record = struct.pack("<Hfff", 8, 1000.0, 1010.0, 50.0) + b"peak\0"
    return struct.pack("<I", 1) + record


def extended_annotations():
    label = b"pair\0"
    record = struct.pack("<HHfff", 16 + len(label) + 8, 8 | 64, 1000.0, 1010.0, 50.0) + label + values(1.0, 2.0)
    return struct.pack("<I", 1) + record


def descriptor(points):
    return struct.pack("<IIffIf", points, 16, 0.25, 2.0, 1, 15798.0)


def attached_header():
    record = bytearray(1194)
    record[0:4] = bytes([3, 1, 0, 0])
    record[12:16] = struct.pack("<I", 3)
    return struct.pack("<HI", 41, len(record)) + bytes(record)


SEEDS = {
    "plain.spa": single([(2, header_block(4)), (106, extension_block()), (105, struct.pack("<HII", 2, 9, 0)),
                         (3, values(4, 3, 2, 1))]),
    "full.spa": single([(2, header_block(3)), (106, extension_block()), (146, texts(728)),
                        (105, struct.pack("<HII", 2, 1, 0)), (27, b"history\r\n\0"), (4, b"a\0b\0\0"),
                        (104, short_annotations()), (3, values(3, 2, 1)), (103, values(1, 2)),
                        (101, descriptor(2)), (102, values(5, 6)), (100, descriptor(2)), (130, attached_header())]),
    "extended.spa": single([(2, header_block(2)), (146, texts(128)), (187, extended_annotations()),
                            (3, values(1, 2))]),
    "interferogram.spa": single([(2, header_block(3, 22, 0.0, 2.0)), (3, values(1, 2, 3))]),
    "older.spa": single([(2, header_block(2)), (104, struct.pack("<Ifff", 1, 5.0, 6.0, 7.0) + b"old\0"),
                         (3, values(1, 2))], version=100),
    "no_data.spa": single([(2, header_block(2)), (106, extension_block())]),
}

if __name__ == "__main__":
    write_corpus("spectrum_file", SEEDS)
