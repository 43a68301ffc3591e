#!/usr/bin/env python3
"""Writes files of given sizes with deterministic pseudo-random content (seeded by the name).

Usage: make_files.py <folder> <relative name>:<bytes> ..."""
import os
import random
import sys

folder = sys.argv[1]
for spec in sys.argv[2:]:
    name, size = spec.rsplit(":", 1)
    path = os.path.join(folder, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(random.Random(name).randbytes(int(size)))
