#!/usr/bin/env python3
"""Writes payload regions for the payload tests, made independently of the packer: entry streams
built here and compressed by the zstd command line, plus damaged variants.

Usage: make_regions.py <output folder>
Each region <name>.bin comes with <name>.stream, the entry stream it decompresses to, and some
with <name>.table, the entry table a launcher carries beside it."""
import os
import random
import struct
import subprocess
import sys
import zlib

FRAME_HEADER = bytes([0x28, 0xB5, 0x2F, 0xFD, 0x00, 0x88])
WINDOW = 131072


def stored_checksum(data):
    return zlib.crc32(data) or 1


def entry(name, data):
    return (name.encode("utf-16-le") + b"\0\0" + struct.pack("<QI", len(data), stored_checksum(data))
            + data)


def stream_of(files):
    return b"".join(entry(name, data) for name, data in files) + b"\0\0"


def table_of(files):
    table = b"VXT" + struct.pack("<I", len(files))
    for name, data in files:
        units = name.encode("utf-16-le")
        table += struct.pack("<H", len(units) // 2) + units
        table += struct.pack("<QI", len(data), stored_checksum(data))
    return table + struct.pack("<I", zlib.crc32(table))


def compress(stream, level=19):
    # Read from a pipe, the size is unknown: no content size in the frame header.
    frame = subprocess.run(["zstd", "-%d" % level, "--long=27", "--no-check", "-q", "-c"],
                           input=stream, stdout=subprocess.PIPE, check=True).stdout
    assert frame[:6] == FRAME_HEADER, frame[:6].hex()
    return frame


def region_of(frame):
    return b"VXJ" + frame + b"\0" + struct.pack("<Q", 3 + len(frame) + 1)


def crc_zero_data():
    """Eight bytes whose crc32 is 0: the last four solve the linear system that crc32 is."""
    prefix = b"zero crc"[:4]
    base = zlib.crc32(prefix + b"\0\0\0\0")
    columns = [zlib.crc32(prefix + (1 << bit).to_bytes(4, "little")) ^ base for bit in range(32)]
    # Gaussian elimination over GF(2): find x with XOR of columns[bit] for set bits == base.
    rows = [(columns[bit], 1 << bit) for bit in range(32)]
    basis = {}
    for value, combo in rows:
        for pivot in sorted(basis, reverse=True):
            if value >> pivot & 1:
                value ^= basis[pivot][0]
                combo ^= basis[pivot][1]
        if value:
            basis[value.bit_length() - 1] = (value, combo)
    target, x = base, 0
    for pivot in sorted(basis, reverse=True):
        if target >> pivot & 1:
            target ^= basis[pivot][0]
            x ^= basis[pivot][1]
    assert target == 0
    data = prefix + x.to_bytes(4, "little")
    assert zlib.crc32(data) == 0
    return data


def write(folder, name, region, stream=None, table=None):
    for extension, content in ((".bin", region), (".stream", stream), (".table", table)):
        if content is not None:
            with open(os.path.join(folder, name + extension), "wb") as f:
                f.write(content)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(7)
    files = [
        ("app.exe", rng.randbytes(300000)),
        ("sub\\deeper\\data.bin", b"data " * 200),
        ("empty.txt", b""),
        ("crc-zero.bin", crc_zero_data()),
        ("odd.bin", b"odd"),
        ("donn\u00e9es\\\u00dcn\u00efc\u00f6d\u00e9.txt", "h\u00e9llo".encode()),
        ("sub\\emoji-\U0001F600.txt", b"smile"),
        ("sub\\deeper\\second.bin", b"\x00" * 70000),
    ]
    stream = stream_of(files)
    frame = compress(stream)
    write(folder, "sample", region_of(frame), stream, table_of(files))
    # The same table with one name unit changed: its checksum no longer holds.
    damaged_table = bytearray(table_of(files))
    damaged_table[12] ^= 0x01
    write(folder, "sample-damaged-table", region_of(frame), stream, bytes(damaged_table))
    write(folder, "wrong-magic", b"VXK" + region_of(frame)[3:])
    write(folder, "truncated", region_of(frame)[: 3 + len(frame) // 2])
    # The first block's header: its type and size no longer match what follows.
    damaged = bytearray(region_of(frame))
    for offset in range(3 + len(FRAME_HEADER), 3 + len(FRAME_HEADER) + 3):
        damaged[offset] ^= 0x5A
    write(folder, "damaged", bytes(damaged))

    write(folder, "terminator-only", region_of(compress(b"\0\0")), b"\0\0")

    first = [("sub\\main.exe", b"main"), ("later.txt", b"later")]
    write(folder, "first-in-subfolder", region_of(compress(stream_of(first))), stream_of(first),
          table_of(first))

    # An application larger than the reader's queue, so that it wraps several times.
    block = rng.randbytes(1 << 20)
    large = [("big-%d.bin" % i, bytes([i]) + block[1:] + block[: 1 << 19]) for i in range(14)]
    write(folder, "large", region_of(compress(stream_of(large), level=3)), stream_of(large),
          table_of(large))

    overlong = "n" * 1024
    write(folder, "overlong-name", region_of(compress(stream_of([(overlong, b"x")]))))

    # The entry claims more data than the stream holds.
    short = "short.bin".encode("utf-16-le") + b"\0\0" + struct.pack("<QI", 1000, 1) + b"ab"
    write(folder, "short-data", region_of(compress(short)))

    # Damage that decodes: the stored checksum does not match the data.
    bad = "bad.bin".encode("utf-16-le") + b"\0\0" + struct.pack("<QI", 3, 12345) + b"abc" + b"\0\0"
    write(folder, "bad-checksum", region_of(compress(bad)))

    # Names that would lead outside the target directory, or that no file can have.
    # Device names and the names of files in progress too.
    unsafe = ["..\\evil.txt", "a\\..\\..\\evil.txt", "C:\\evil.txt", "\\evil.txt", "a/../../evil.txt",
              ".. \\evil.txt", "a\\\\evil.txt", "sub\\", "...\\evil.txt", "what?.txt",
              "tab\there.txt", "a|b.txt", "sub\\NUL", "COM1", "aux.txt", "com\u00b9.txt", "LPT0",
              "app.exe.tarnic-partial", "CONOUT$", "sub\\conin$.txt"]
    for index, name in enumerate(unsafe):
        write(folder, "unsafe-%d" % index, region_of(compress(stream_of([(name, b"evil")]))))

    # Folders deeper than a walk that recursed through them could go.
    deep = [("d\\" * 400 + "f.txt", b"deep")]
    write(folder, "deep", region_of(compress(stream_of(deep))), stream_of(deep))

    # An entry stream of exactly two windows in a region without trailing bytes: the decoder's
    # last output must still be collected after the input is used up.
    name = "w.bin"
    head = len(entry(name, b"")) + 2
    exact = stream_of([(name, rng.randbytes(2 * WINDOW - head))])
    assert len(exact) == 2 * WINDOW
    write(folder, "window-multiple-no-trailer", b"VXJ" + compress(exact), exact)

    # Files of whole read buffers (1 MiB) and a byte either side: the launcher finds a file's end
    # by reading, not by asking its size.
    mib = 1 << 20
    pattern = bytes(range(256)) * (2 * mib // 256 + 1)
    buffers = [("buffers-%d.bin" % size, pattern[:size])
               for size in (mib - 1, mib, mib + 1, 2 * mib)]
    write(folder, "read-buffers", region_of(compress(stream_of(buffers), level=3)),
          stream_of(buffers), table_of(buffers))


if __name__ == "__main__":
    main()
