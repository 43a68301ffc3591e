#!/usr/bin/env python3
"""Writes an x86-64 DLL image for the executable filter to work on: eight code sections of
pseudo-random bytes thick with calls, jumps, conditional jumps and RIP-relative indirect ones,
the last form of section k ending k bytes before the section's end, with a data section
between each two. Large enough that forms straddle the launcher's chunks; never loaded.

Usage: make_branch_library.py <dll>"""
import random
import struct
import sys

SECTIONS = 8
CODE_BYTES = 400 * 1024 + 3  # odd, so that no section ends on an aligned offset
DATA_BYTES = 4096
HEADER_BYTES = 0x400
FORMS = [b"\xE8", b"\xE9", b"\x0F\x84", b"\xFF\x15", b"\xFF\x25"]
CODE = 0x60000020  # code, executable, readable
DATA = 0x40000040  # initialized data, readable


def code_bytes(generator, end_gap):
    out = bytearray()
    while len(out) < CODE_BYTES:
        if generator.random() < 0.2:
            near = generator.randrange(-(1 << 24), 1 << 24)
            out += generator.choice(FORMS) + struct.pack("<i", near)
        else:
            out.append(generator.randrange(256))
    out = out[:CODE_BYTES]
    last = FORMS[end_gap % len(FORMS)] + struct.pack("<i", 0x40 * end_gap)
    at = CODE_BYTES - end_gap - len(last)
    out[at:at + len(last)] = last
    return bytes(out)


def main():
    generator = random.Random("branch library")
    sections = []
    for k in range(SECTIONS):
        sections.append((b".text%d" % k, CODE, code_bytes(generator, k)))
        sections.append((b".data%d" % k, DATA, generator.randbytes(DATA_BYTES)))
    dos = bytearray(0x40)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 0x3C, 0x40)
    optional = bytearray(240)
    struct.pack_into("<H", optional, 0, 0x20B)  # PE32+
    coff = struct.pack("<HHIIIHH", 0x8664, len(sections), 0, 0, 0, len(optional), 0x2022)
    table = bytearray()
    body = bytearray()
    offset = HEADER_BYTES
    address = 0x1000
    for name, flags, content in sections:
        table += struct.pack("<8sIIIIIIHHI", name, len(content), address, len(content), offset,
                             0, 0, 0, 0, flags)
        body += content
        offset += len(content)
        address += (len(content) + 0xFFF) & ~0xFFF
    headers = bytes(dos) + b"PE\0\0" + coff + bytes(optional) + bytes(table)
    with open(sys.argv[1], "wb") as f:
        f.write(headers.ljust(HEADER_BYTES, b"\0") + bytes(body))


main()
