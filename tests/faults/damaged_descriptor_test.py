#!/usr/bin/env python3
"""Copies of a launcher whose image descriptor points out of place, at fields that overlap or at
text without its closing NUL: every one ends with the attached-data header message and status
2, on an empty and on a full target directory, and `tarnic-pack list` refuses it. `list` also
refuses a copy whose SizeOfImage ends before its data, which no loader starts. A damaged entry
table leaves the launcher running (it falls back to the region) but `list` refuses it too.

Usage: damaged_descriptor_test.py <launcher with target spec {PROGRAM_DIR}\\unpacked and fixed
                                   arguments> <tarnic-pack> <scratch parent folder>"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HEADER_MESSAGE = b"Error, couldn't find attached data header.\r\n"
DESCRIPTOR_SECTION = b".tarnic"
MAGIC_BYTES = 8
FIELD_BYTES = 8
TARGET_SPEC, COMPANY, PRODUCT, TABLE, REGION, FIXED_ARGUMENTS = 0, 1, 2, 6, 7, 8
DATA_SECTION = b".payload"
SIZE_OF_IMAGE = 56  # in the optional header
OUT_OF_IMAGE = 0x7FFF0000


def optional_header(image):
    return struct.unpack_from("<I", image, 0x3C)[0] + 24


def section(image, name):
    """The RVA and the file offset of the named section."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    sections, optional_bytes = struct.unpack_from("<H12xH", image, pe + 6)
    table = optional_header(image) + optional_bytes
    for index in range(sections):
        header = table + 40 * index
        if image[header:header + 8].rstrip(b"\0") == name:
            return struct.unpack_from("<I", image, header + 12)[0], struct.unpack_from(
                "<I", image, header + 20)[0]
    raise RuntimeError("no section %s" % name)


def field(image, index):
    at = section(image, DESCRIPTOR_SECTION)[1] + MAGIC_BYTES + FIELD_BYTES * index
    return at, struct.unpack_from("<II", image, at)


def with_field(image, index, rva=None, length=None):
    at, (old_rva, old_length) = field(image, index)
    damaged = bytearray(image)
    struct.pack_into("<II", damaged, at, old_rva if rva is None else rva,
                     old_length if length is None else length)
    return bytes(damaged)


def with_last_unit(image, index, unit):
    """The text of the field with its last unit, the closing NUL, replaced."""
    rva, length = field(image, index)[1]
    if length == 0:
        raise RuntimeError("the launcher has no text in field %d" % index)
    data_rva, data_offset = section(image, DATA_SECTION)
    damaged = bytearray(image)
    struct.pack_into("<H", damaged, data_offset + rva - data_rva + length - 2, ord(unit))
    return bytes(damaged)


def damaged_copies(image):
    region_rva = field(image, REGION)[1][0]
    product_rva, product_length = field(image, PRODUCT)[1]
    return {
        "region RVA outside the image": with_field(image, REGION, rva=OUT_OF_IMAGE),
        "region running past the image": with_field(image, REGION, length=0xFFFFFFF0),
        "table RVA outside the image": with_field(image, TABLE, rva=OUT_OF_IMAGE),
        "target spec RVA outside the image": with_field(image, TARGET_SPEC, rva=OUT_OF_IMAGE),
        "target spec inside the region": with_field(image, TARGET_SPEC, rva=region_rva),
        "product name without its terminator": with_field(
            image, PRODUCT, length=field(image, PRODUCT)[1][1] - 2),
        "target spec of an odd length": with_field(
            image, TARGET_SPEC, length=field(image, TARGET_SPEC)[1][1] - 1),
        "company name at the product name's bytes": with_field(
            image, COMPANY, rva=product_rva, length=product_length),
        "fixed arguments without their closing NUL": with_last_unit(image, FIXED_ARGUMENTS, "x"),
    }


def unloadable_copies(image):
    """Copies that no loader starts, which only `list` reads."""
    damaged = bytearray(image)
    struct.pack_into("<I", damaged, optional_header(image) + SIZE_OF_IMAGE,
                     section(image, DATA_SECTION)[0])
    return {"SizeOfImage ending where the data section starts": bytes(damaged)}


def damaged_table(image):
    """A byte of the entry table changed."""
    rva, length = field(image, TABLE)[1]
    data_rva, data_offset = section(image, DATA_SECTION)
    damaged = bytearray(image)
    damaged[data_offset + rva - data_rva + length // 2] ^= 0x5A
    return bytes(damaged)


class Folder:
    def __init__(self, scratch, wine_run):
        self.path = tempfile.mkdtemp(prefix="descriptor.", dir=scratch)
        self.exe = os.path.join(self.path, "launcher.exe")
        self.target = os.path.join(self.path, "unpacked")
        self.wine_run = wine_run

    def put(self, image):
        with open(self.exe, "wb") as out:
            out.write(image)

    def start(self, image, full):
        shutil.rmtree(self.target, ignore_errors=True)
        if full:
            self.put(self.sound)
            self.run()
        self.put(image)
        return self.run()

    def run(self):
        return subprocess.run([self.wine_run, self.exe], stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=120)


def refused_by_list(pack, folder, what):
    """The failure, if any, of `list` on the launcher in the folder."""
    listed = subprocess.run([pack, "list", folder.exe], capture_output=True)
    if listed.returncode == 0 or b"descriptor" not in listed.stderr:
        return ["list of a launcher with the %s: status %d, %r" %
                (what, listed.returncode, listed.stderr)]
    return []


def main():
    launcher, pack, scratch = sys.argv[1:4]
    wine_run = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "wine-run")
    with open(launcher, "rb") as source:
        image = source.read()
    folder = Folder(scratch, wine_run)
    folder.sound = image
    failures = []
    try:
        for what, damaged in damaged_copies(image).items():
            for full in (False, True):
                run = folder.start(damaged, full)
                if (run.returncode, run.stdout, run.stderr) != (2, HEADER_MESSAGE, b""):
                    failures.append("%s on a%s target: status %d, standard output %r, standard "
                                    "error %r" % (what, " full" if full else "n empty",
                                                  run.returncode, run.stdout[:200], run.stderr))
            failures += refused_by_list(pack, folder, what)
        for what, damaged in unloadable_copies(image).items():
            folder.put(damaged)
            failures += refused_by_list(pack, folder, what)
        run = folder.start(damaged_table(image), False)
        if run.returncode != 0:
            failures.append("a damaged table stopped the launcher: status %d, %r %r" %
                            (run.returncode, run.stdout, run.stderr))
        listed = subprocess.run([pack, "list", folder.exe], capture_output=True)
        if listed.returncode == 0 or b"entry table" not in listed.stderr:
            failures.append("list of a launcher with a damaged table: status %d, %r" %
                            (listed.returncode, listed.stderr))
    finally:
        shutil.rmtree(folder.path, ignore_errors=True)
    if failures:
        sys.exit("FAIL:\n" + "\n".join(failures))
    print("every damaged descriptor ends with the header message and is refused by list")


main()
