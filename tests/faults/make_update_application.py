#!/usr/bin/env python3
"""Writes one version of the update tests' application: the report child as its main program,
made different in each version by bytes after its image (which no loader reads), the version's
own DLL, and data that all versions share.

Usage: make_update_application.py <folder> <report child> <DLL> <version>"""
import os
import shutil
import sys

SHARED = {
    "data/shared.txt": b"Tessaline update test: the same in every version.\r\n" * 4000,
    "data/more/shared.bin": bytes(range(256)) * 2000,
}
# Enough files that the threads that take them over from an earlier version work side by side.
SHARED.update({f"data/many/file-{i:02}.txt": f"shared file {i}\r\n".encode() * (100 + i)
               for i in range(40)})


def main():
    folder, program, dll, version = sys.argv[1:5]
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    with open(program, "rb") as source:
        image = source.read()
    with open(os.path.join(folder, "report.exe"), "wb") as out:
        out.write(image + f"\0version {version}\0".encode())
    shutil.copyfile(dll, os.path.join(folder, "tessaline-version.dll"))
    for name, data in SHARED.items():
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)


main()
