#!/usr/bin/env python3
"""Writes the seed corpus of the group-file fuzz target, fuzz/corpus/group_file/.

Each seed is a native group file: the container of the native-file seeds
with file type 10, its title field holding the file's own name, and
directory blocks enough for every entry. Every section of a member carries
key 2 = the member number; per member: header block (2), extension block
(106), member record (107: title in 256 bytes, then the collection time and
parameter 48, both left out by files older than version 521), history bits
(105) and the Y values (3), and in the fuller members header texts (146),
history text (27), comment (4), annotations (104), an attached item (130,
key 3 = its number) and stored interferograms (descriptor 100 and values
102 for the sample, 101 and 103 for the background). Section contents come
from the spectrum-file seeds. Run it from the repository root.
"""
import struct

from native_file_seeds import BLOCK, HEADER, native, write_corpus
from spectrum_file_seeds import (attached_header, descriptor, extension_block, header_block, padded,
                                 short_annotations, texts, values)


def record(title, time=7, p48=9, older=False):
    data = title.ljust(256, b"\0") + struct.pack("<II", time, p48)
    return data[:256] if older else data


def plain(member, points=4, older=False):
    return [(2, 0, header_block(points)), (106, 0, extension_block()),
            (107, 0, record(b"member %d" % member, older=older)), (105, 0, struct.pack("<HII", 2, 9, 0)),
            (3, 0, values(*range(member, member + points)))]


def full(member):
    return plain(member, points=3) + [
        (146, 0, texts(728)), (27, 0, b"history\r\n\0"), (4, 0, b"a\0b\0\0"), (104, 0, short_annotations()),
        (130, 0, attached_header()), (101, 0, descriptor(2)), (103, 0, values(1, 2)),
        (100, 0, descriptor(2)), (102, 0, values(5, 6))]


def group(members, version=521, title=b"seed.spg"):
    """members: for each member, its sections as (type, key3, bytes)."""
    entries = sum(len(sections) for sections in members)
    blocks = entries // 16 + 1
    placed, offset = [], HEADER + BLOCK * blocks
    for member, sections in enumerate(members):
        for type_, key3, content in sections:
            stored = padded(content)
            placed.append((type_, offset, len(stored), member, key3, stored))
            offset += len(stored)
    data = bytearray(native(10, blocks, placed, title=title))
    data[290:292] = struct.pack("<H", version)
    return bytes(data)


SEEDS = {
    "empty.spg": group([]),
    "two_members.spg": group([plain(0), plain(1)]),
    "full_members.spg": group([full(0), plain(1), full(2)]),
    "older.spg": group([plain(0, older=True), plain(1, older=True)], version=100),
    "missing_record.spg": group([plain(0), [s for s in plain(1) if s[0] != 107]]),
    "many_members.spg": group([plain(member, points=2) for member in range(20)]),
}

if __name__ == "__main__":
    write_corpus("group_file", SEEDS)
