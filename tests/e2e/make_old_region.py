#!/usr/bin/env python3
"""Writes a region as packers wrote them before they sized the frame's window: the entry stream
of a folder's files, compressed by the zstd command line from a pipe with a window of 2^27 (frame
header 28 b5 2f fd 00 88), made without the packer's code. Beside the given files it writes one
of its own whose second half repeats its first from 40 MiB before, so that the frame's decoder
needs more than the 2^25 bytes that packers now declare at most.

Usage: make_old_region.py <region> <folder> <main name> <other names>..."""
import os
import random
import struct
import subprocess
import sys
import zlib

OLD_FRAME_HEADER = bytes([0x28, 0xB5, 0x2F, 0xFD, 0x00, 0x88])
FAR_REPEAT = "data/far-repeat.bin"
BLOCK = 1 << 20


def entry(name, data):
    return (name.replace("/", "\\").encode("utf-16-le") + b"\0\0"
            + struct.pack("<QI", len(data), zlib.crc32(data) or 1) + data)


def write_far_repeat(folder):
    block = random.Random(FAR_REPEAT).randbytes(BLOCK)
    os.makedirs(os.path.join(folder, os.path.dirname(FAR_REPEAT)), exist_ok=True)
    with open(os.path.join(folder, FAR_REPEAT), "wb") as f:
        f.write(block + bytes(40 * BLOCK) + block)


def main(region_path, folder, *names):
    write_far_repeat(folder)
    stream = b""
    for name in names + (FAR_REPEAT,):
        with open(os.path.join(folder, name), "rb") as f:
            stream += entry(name, f.read())
    stream += b"\0\0"
    frame = subprocess.run(["zstd", "-3", "--long=27", "--no-check", "-q", "-c"], input=stream,
                           stdout=subprocess.PIPE, check=True).stdout
    if frame[:6] != OLD_FRAME_HEADER:
        sys.exit(f"make_old_region.py: the frame header is {frame[:6].hex()}")
    # The repeated random block is there once: the frame reaches back 40 MiB for it.
    if len(frame) > 1.5 * BLOCK:
        sys.exit(f"make_old_region.py: a frame of {len(frame)} bytes holds the block twice")
    with open(region_path, "wb") as f:
        f.write(b"VXJ" + frame + b"\0" + struct.pack("<Q", 3 + len(frame) + 1))


if __name__ == "__main__":
    main(*sys.argv[1:])
