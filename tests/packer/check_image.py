#!/usr/bin/env python3
"""Checks the header fields of a PE image with pefile, a reader the packer does not share.

Usage: check_image.py <image>   Prints each disagreement and exits 1 when there is one.
"""
import sys

import pefile

INITIALIZED_DATA = 0x40


def align(value, alignment):
    return (value + alignment - 1) // alignment * alignment


def problems(path):
    # pefile computes the checksum over what it would write back, and writes version strings
    # with surrogate pairs back wrongly: take it before the resources are parsed.
    pe = pefile.PE(path, fast_load=True)
    checksum = pe.generate_checksum()
    pe.full_load()
    opt = pe.OPTIONAL_HEADER
    size = len(pe.__data__)
    sections = sorted(pe.sections, key=lambda s: s.VirtualAddress)
    next_address = align(opt.SizeOfHeaders, opt.SectionAlignment)
    for s in sections:
        name = s.Name.rstrip(b"\0").decode()
        if s.VirtualAddress != next_address:
            yield f"{name} starts at {s.VirtualAddress:#x}, not {next_address:#x}"
        next_address = align(s.VirtualAddress + max(s.Misc_VirtualSize, 1), opt.SectionAlignment)
        if s.PointerToRawData % opt.FileAlignment or s.SizeOfRawData % opt.FileAlignment:
            yield f"{name}'s raw data is not aligned to {opt.FileAlignment}"
        if s.PointerToRawData + s.SizeOfRawData > size:
            yield f"{name}'s raw data runs past the end of the file"
    if opt.SizeOfImage != next_address:
        yield f"SizeOfImage {opt.SizeOfImage:#x}, sections end at {next_address:#x}"
    initialized = sum(s.SizeOfRawData for s in sections if s.Characteristics & INITIALIZED_DATA)
    if opt.SizeOfInitializedData != initialized:
        yield f"SizeOfInitializedData {opt.SizeOfInitializedData}, sections hold {initialized}"
    raw_end = max(s.PointerToRawData + s.SizeOfRawData for s in sections)
    if raw_end != size:
        yield f"{size - raw_end} bytes after the last section"
    for index, directory in enumerate(opt.DATA_DIRECTORY):
        if directory.VirtualAddress == 0 or index == 4:  # certificates hold file offsets
            continue
        if not any(s.contains_rva(directory.VirtualAddress) and
                   directory.VirtualAddress + directory.Size <= s.VirtualAddress + s.Misc_VirtualSize
                   for s in sections):
            yield f"data directory {directory.name} lies outside every section"
    rsrc = pe.OPTIONAL_HEADER.DATA_DIRECTORY[2]
    rsrc_section = [s for s in sections if s.Name.rstrip(b"\0") == b".rsrc"]
    if not rsrc_section or rsrc.VirtualAddress != rsrc_section[0].VirtualAddress:
        yield "the resource directory is not the .rsrc section"
    if opt.CheckSum != checksum:
        yield f"CheckSum {opt.CheckSum:#x}, pefile computes {checksum:#x}"
    for warning in pe.get_warnings():
        yield f"pefile: {warning}"


def main():
    found = list(problems(sys.argv[1]))
    for problem in found:
        print(problem)
    sys.exit(1 if found else 0)


if __name__ == "__main__":
    main()
