#!/usr/bin/env python3
"""Writes the application folder of the fault tests: the report child as its main program and
several MB of data in subfolders, the same bytes on every run. The data mixes what the packer's
compressor handles differently: text it compresses well, pseudo-random bytes it stores as they
are, and records in between, so that damage to the frame lands in every kind of block.

Usage: make_application.py <folder> <main program to copy>"""
import hashlib
import os
import shutil
import sys

WORDS = ("deck card shuffle table round score player tile rule turn hand draw pass trick suit "
         "queen knight tower river bridge lantern harbour meadow cinder quill").split()


def random_bytes(seed, size):
    """SHA-256 in counter mode: reproducible on any Python, fast enough for megabytes."""
    blocks = (hashlib.sha256(f"{seed}:{i}".encode()).digest() for i in range(size // 32 + 1))
    return b"".join(blocks)[:size]


def text(seed, size):
    choices = random_bytes(seed, size // 3)
    words = (WORDS[c % len(WORDS)] + ("\n" if i % 11 == 10 else " ") for i, c in enumerate(choices))
    return "".join(words).encode()[:size]


def records(seed, size):
    noise = random_bytes(seed, size // 16 + 1)
    rows = (i.to_bytes(4, "little") + b"grid-row" + noise[i:i + 4] for i in range(size // 16 + 1))
    return b"".join(rows)[:size]


FILES = {
    "bin/core.dll": lambda: random_bytes("core", 1_900_000),
    "data/words.txt": lambda: text("words", 1_400_000),
    "data/tables/grid.bin": lambda: records("grid", 900_000),
    "data/tables/chunked.bin": lambda: random_bytes("chunked", 8 * 32768),
    "données/Zoë😀.txt": lambda: text("zoe", 60_000),
    "readme.txt": lambda: b"Tessaline fault-test application.\r\n",
    "z-tail/empty.dat": lambda: b"",
    "z-tail/last.bin": lambda: random_bytes("last", 700_000),
}


def main():
    folder, program = sys.argv[1], sys.argv[2]
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    shutil.copyfile(program, os.path.join(folder, "report.exe"))
    for name, make in FILES.items():
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(make())


main()
