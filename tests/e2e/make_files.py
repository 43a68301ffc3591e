#!/usr/bin/env python3
"""Writes files of given sizes with deterministic pseudo-random content (seeded by the name),
the same with a block of pseudo-random bytes repeated (which compresses to little), or the first
bytes of another file.

Usage: make_files.py <folder> <relative name>:<bytes> | <relative name>*<block bytes>:<bytes> |
                              <relative name>=<source>:<bytes> ..."""
import os
import random
import sys

folder = sys.argv[1]
for spec in sys.argv[2:]:
    name, size = spec.rsplit(":", 1)
    name, _, source = name.partition("=")
    name, _, block = name.partition("*")
    path = os.path.join(folder, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if source:
        with open(source, "rb") as f:
            data = f.read(int(size))
    elif block:
        data = (random.Random(name).randbytes(int(block)) * (int(size) // int(block) + 1))[:int(size)]
    else:
        data = random.Random(name).randbytes(int(size))
    with open(path, "wb") as f:
        f.write(data)
