"""Writes an entry stream (rules/payload_format.h) again with its entries in another order: the
first entry (the main program) first, then the others by kind, that is by the extension of their
name in lower case, then by name. bench/run compresses both orders with the packer's parameters
to measure what the order gains.

Usage: python3 bench/entry_order.py <entry stream> <reordered stream>
"""

import struct
import sys

FILTERED_FLAG = 1 << 63
FILTER_COUNT_BYTES = 4
FILTER_RANGE_BYTES = 12


def entries(stream):
    """The entries of `stream` as (name, bytes of the whole entry), in stream order."""
    at = 0
    found = []
    while True:
        start = at
        end = at
        while stream[end:end + 2] != b"\0\0":
            end += 2
        if end == start:
            return found
        name = stream[start:end].decode("utf-16-le")
        at = end + 2
        (size_field,) = struct.unpack_from("<Q", stream, at)
        at += 8 + 4
        if size_field & FILTERED_FLAG:
            (ranges,) = struct.unpack_from("<I", stream, at)
            at += FILTER_COUNT_BYTES + ranges * FILTER_RANGE_BYTES
        at += size_field & ~FILTERED_FLAG
        found.append((name, stream[start:at]))


def kind_key(name):
    leaf = name.rsplit("\\", 1)[-1]
    extension = leaf.rsplit(".", 1)[-1].lower() if "." in leaf else ""
    return (extension, name.encode("utf-16-be"))


def by_kind(stream):
    listed = entries(stream)
    ordered = listed[:1] + sorted(listed[1:], key=lambda entry: kind_key(entry[0]))
    return b"".join(data for _, data in ordered) + b"\0\0"


def main():
    with open(sys.argv[1], "rb") as source:
        stream = source.read()
    with open(sys.argv[2], "wb") as target:
        target.write(by_kind(stream))


if __name__ == "__main__":
    main()
