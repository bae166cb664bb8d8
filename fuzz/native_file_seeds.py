#!/usr/bin/env python3
"""Writes the seed corpus of the native-file fuzz target, fuzz/corpus/native_file/.

Each seed is built from the container's layout: a 304-byte header (magic
"Spectral Data File\\r\\n" and NULs to 29, title at 30, 0x1A at 286, file type
at 288, version at 290, directory blocks at 292, entries in use at 294), the
directory of 16-byte entries (type, offset, length, key 2, key 3) from 304,
and the sections at their offsets. Run it from the repository root.
"""
import os
import struct

HEADER = 304
BLOCK = 256


def header(file_type, blocks, count, title=b""):
    magic = b"Spectral Data File\r\n".ljust(30, b"\0")
    return (magic + title.ljust(256, b"\0") + b"\x1a\0" +
            struct.pack("<HHHHII", file_type, 521, blocks, count, 0, 0))


def native(file_type, blocks, sections, free_rest=False, title=b""):
    """sections: (type, offset, length, key2, key3, bytes or None)"""
    data = bytearray(header(file_type, blocks, len(sections), title))
    directory = bytearray()
    for type_, offset, length, key2, key3, _ in sections:
        directory += struct.pack("<HIIHI", type_, offset, length, key2, key3)
    unused = blocks * 16 - len(sections)
    directory += (struct.pack("<HIIHI", 1, 0, 0, 0, 0) if free_rest else bytes(16)) * unused
    data += directory
    for _, offset, length, _, _, content in sections:
        if content is None:
            continue
        if len(data) < offset + len(content):
            data += bytes(offset + len(content) - len(data))
        data[offset:offset + len(content)] = content
    return bytes(data)


def pattern(length, seed):
    return bytes((seed + 7 * index) & 0xFF for index in range(length))


def spectrum():
    start = HEADER + BLOCK
    parts = [(2, 140), (106, 56), (105, 10), (27, 12), (4, 8), (3, 64), (100, 24), (102, 32), (1, 20)]
    sections, offset = [], start
    for seed, (type_, length) in enumerate(parts):
        stored = (length + 3) // 4 * 4
        sections.append((type_, offset, stored, 0, 0, pattern(stored, seed)))
        offset += stored
    return native(1, 1, sections, free_rest=True, title=b"seed spectrum")


def group():
    start = HEADER + BLOCK
    sections, offset = [], start
    for member in range(2):
        for type_, length in [(2, 140), (106, 56), (107, 264), (3, 16), (130, 12)]:
            sections.append((type_, offset, length, member, member * 65536 if type_ == 130 else 0,
                             pattern(length, member + type_)))
            offset += length
    return native(10, 1, sections, title=b"seed.spg")


def reservoir():
    start = HEADER + BLOCK
    return native(1, 1, [(113, start, 200, 0, 0, bytes(200)), (3, start + 200, 16, 0, 0, pattern(16, 3))])


def full_directory():
    start = HEADER + BLOCK
    return native(1, 1, [(3, start + 8 * key2, 8, key2, 0, pattern(8, key2)) for key2 in range(16)])


def overlapping():
    start = HEADER + BLOCK
    return native(1, 1, [(3, start, 16, 0, 0, pattern(16, 1)), (27, start + 8, 16, 0, 0, pattern(16, 2))])


SEEDS = {
    "new_file.spa": native(1, 1, [], free_rest=True),
    "spectrum.spa": spectrum(),
    "group.spg": group(),
    "reservoir.spa": reservoir(),
    "full_directory.spa": full_directory(),
    "overlapping.spa": overlapping(),
    "count_beyond_directory.spa": native(1, 1, [])[:294] + struct.pack("<H", 17) + native(1, 1, [])[296:],
}

def write_corpus(target, seeds):
    """Writes the seeds, {file name: bytes}, into fuzz/corpus/<target>/."""
    folder = os.path.join("fuzz", "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as seed:
            seed.write(data)


if __name__ == "__main__":
    write_corpus("native_file", SEEDS)
