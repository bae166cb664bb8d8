#!/usr/bin/python3
"""Writes the seeds of fuzz_quality_stream into corpus/quality_stream/:
stored quality-check records (u16 owning class, u32 block size, the block,
little-endian): settings (class 120, 1053 bytes) of each record version,
results (class 121, 925 bytes) with bits set, and a cut-off one. Run it
from this folder."""
import os
import struct

folder = os.path.join("corpus", "quality_stream")
os.makedirs(folder, exist_ok=True)


def write(name, data):
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


def stored(owner, block):
    return struct.pack("<HI", owner, len(block)) + block


def settings(version, accessory, fit):
    block = bytearray(1053)
    struct.pack_into("<H", block, 0, version)
    block[82:82 + 6] = b"Daily\0"
    struct.pack_into("<H", block, 403, accessory)
    struct.pack_into("<f", block, 785, fit)
    return bytes(block)


def results(level, warnings, failures, done, accessory):
    block = bytearray(925)
    struct.pack_into("<HH", block, 0, 1, level)
    struct.pack_into("<H", block, 405, accessory)
    struct.pack_into("<IIII", block, 507, warnings, failures, 0, 0)
    struct.pack_into("<II", block, 633, done, 0)
    block[665:665 + 8] = b"C:\\a.sq\0"
    return bytes(block)


write("settings_v1.bin", stored(120, settings(1, 13, 30.0)))
write("settings_v4.bin", stored(120, settings(4, 7, 50.0)))
write("results.bin", stored(121, results(2, 0x2000000, 0x40, 0x2000042, 3)))
write("cut_off.bin", stored(121, results(1, 2, 0, 2, 7))[:400])
