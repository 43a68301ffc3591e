#!/usr/bin/env python3
"""Copies a Windows program with its section alignment set below its file alignment: a header
that loaders refuse ("Bad EXE format"), while every section still lies inside the file, as the
packer requires.

Usage: misalign_sections.py <program> <copy>"""
import struct
import sys

DOS_NEW_HEADER_OFFSET = 0x3C
OPTIONAL_HEADER = 4 + 20  # after the PE signature and the COFF header
SECTION_ALIGNMENT = 32  # in the optional header; the file alignment follows it
MISALIGNED = 0x100  # below the file alignment of 0x200 the linker writes

with open(sys.argv[1], "rb") as f:
    data = bytearray(f.read())
pe = struct.unpack_from("<I", data, DOS_NEW_HEADER_OFFSET)[0]
struct.pack_into("<I", data, pe + OPTIONAL_HEADER + SECTION_ALIGNMENT, MISALIGNED)
with open(sys.argv[2], "wb") as f:
    f.write(data)
