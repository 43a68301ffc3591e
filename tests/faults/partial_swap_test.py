#!/usr/bin/env python3
"""A watcher renames a symbolic link to a file outside over every partial file it sees in the
target directory while first starts unpack. A start may then end with the open-for-writing
message and status 2, or with status 0 and every file whole; it never ends with status 0 while a
final name is a link or holds other bytes, and the files outside keep theirs.

The starts go on until enough of them had a partial file swapped, within a generous bound.

Usage: partial_swap_test.py <launcher with target spec {PROGRAM_DIR}\\unpacked>
                            <its application folder> <scratch parent folder>"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading

from fault_files import wrong_files

SUFFIX = ".tarnic-partial"
# Starts with a swap that must be seen, and the most starts spent on them.
SWAPPED_STARTS = 8
MOST_STARTS = 80
VICTIM = b"outside bytes"


class Watcher(threading.Thread):
    """Swaps a link over each partial file under `folder` until stopped; counts the swaps."""

    def __init__(self, folder, victim):
        super().__init__(daemon=True)
        self.folder, self.victim = folder, victim
        self.stop = threading.Event()
        self.swaps = 0

    def run(self):
        while not self.stop.is_set():
            for parent, _, names in os.walk(self.folder):
                for name in names:
                    if name.endswith(SUFFIX):
                        self.swap(os.path.join(parent, name))

    def swap(self, partial):
        planted = partial + ".planted"
        try:
            os.symlink(self.victim, planted)
            os.replace(planted, partial)
            self.swaps += 1
        except OSError:
            pass  # the partial file was renamed or removed first


def main():
    launcher, app, scratch = sys.argv[1:4]
    wine_run = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "wine-run")
    work = tempfile.mkdtemp(prefix="swap.", dir=scratch)
    try:
        folder = os.path.join(work, "launcher")
        target = os.path.join(folder, "unpacked")
        victim = os.path.join(work, "victim.txt")
        os.makedirs(folder)
        shutil.copy(launcher, os.path.join(folder, "launcher.exe"))
        with open(victim, "wb") as out:
            out.write(VICTIM)
        message = re.compile(r"Error, failed to open 'Z:%s\\[^']+' for writing\.\r?\n" %
                             re.escape(target.replace("/", "\\")))
        swapped = starts = 0
        while swapped < SWAPPED_STARTS and starts < MOST_STARTS:
            starts += 1
            shutil.rmtree(target, ignore_errors=True)
            watcher = Watcher(folder, victim)
            watcher.start()
            run = subprocess.run([wine_run, os.path.join(folder, "launcher.exe")],
                                 stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
            watcher.stop.set()
            watcher.join()
            swapped += watcher.swaps > 0
            err = run.stderr.decode(errors="replace")
            if run.returncode == 0:
                wrong = wrong_files(app, target)
                if wrong:
                    sys.exit(f"FAIL: start {starts} ended with status 0 after {watcher.swaps} "
                             f"swaps, but these files are wrong: {wrong}")
            elif run.returncode != 2 or run.stdout or not message.fullmatch(err):
                sys.exit(f"FAIL: start {starts}: status {run.returncode}, standard output "
                         f"{run.stdout!r}, standard error {err!r}")
            if not os.path.isfile(victim) or open(victim, "rb").read() != VICTIM:
                sys.exit(f"FAIL: start {starts} moved or changed the file a planted link leads to")
        print(f"{starts} starts, {swapped} of them with partial files swapped")
        if swapped < SWAPPED_STARTS:
            sys.exit(f"FAIL: only {swapped} of {starts} starts had a partial file swapped")
    finally:
        shutil.rmtree(work, ignore_errors=True)


main()
