#!/usr/bin/env python3
"""A folder of a new version swapped for a link while its first start links the files it shares
with the version beside it: a watcher waits until data/many of version 2 appears, then moves it
away and puts a link to a victim folder in its place. The start ends with the open-for-writing
message and status 2, or with status 0 when the swap came too late; the victim folder never
gets a name, whatever the start, and keeps its own file.

The starts go on until enough swaps came in time, within a generous bound.

Usage: link_swap_test.py <folder of the fault launchers> <scratch parent folder>"""
import getpass
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading

from fault_files import fail

REPO = os.path.normpath(os.path.join(os.path.dirname(__file__), "..", ".."))
WINE_RUN = os.path.join(REPO, "scripts", "wine-run")
PREFIX = os.environ.get("WINEPREFIX", os.path.join(REPO, "out", "wineprefix"))
VERSIONS = os.path.join(PREFIX, "drive_c", "users", getpass.getuser(), "AppData", "Local",
                        "Zarvel Faults", "versions")
CAUGHT_SWAPS = 3
MOST_STARTS = 40


class Watcher(threading.Thread):
    """Swaps `folder` for a link to `victim` as soon as it exists."""

    def __init__(self, folder, victim):
        super().__init__(daemon=True)
        self.folder, self.victim = folder, victim
        self.stop = threading.Event()
        self.swapped = False

    def run(self):
        while not self.stop.is_set():
            try:
                os.rename(self.folder, self.folder + ".moved")
                os.symlink(self.victim, self.folder)
                self.swapped = True
                return
            except OSError:
                continue


def run_launcher(launcher):
    return subprocess.run([WINE_RUN, launcher], stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=120)


def main():
    launchers, scratch = sys.argv[1:3]
    work = tempfile.mkdtemp(prefix="link-swap.", dir=scratch)
    v1, v2 = os.path.join(VERSIONS, "1.0.0.0"), os.path.join(VERSIONS, "2.0.0.0")
    victim = os.path.join(work, "victim")
    os.makedirs(victim)
    with open(os.path.join(victim, "own.txt"), "wb") as file:
        file.write(b"own")
    message = re.compile(r"Error, failed to open '[^']+' for writing\.\r?\n")
    try:
        shutil.rmtree(VERSIONS, ignore_errors=True)
        if run_launcher(os.path.join(launchers, "versioned_v1.exe")).returncode != 0:
            fail("version 1's start failed")
        caught = starts = 0
        while caught < CAUGHT_SWAPS and starts < MOST_STARTS:
            starts += 1
            shutil.rmtree(v2, ignore_errors=True)
            watcher = Watcher(os.path.join(v2, "data", "many"), victim)
            watcher.start()
            run = run_launcher(os.path.join(launchers, "versioned_v2.exe"))
            watcher.stop.set()
            watcher.join()
            if os.listdir(victim) != ["own.txt"]:
                fail(f"start {starts} put names into the folder a link led to: "
                     f"{sorted(os.listdir(victim))}")
            err = run.stderr.decode(errors="replace")
            if run.returncode == 2 and message.fullmatch(err) and not run.stdout:
                caught += watcher.swapped
            elif run.returncode != 0:
                fail(f"start {starts} ended with {run.returncode}: {run.stdout!r} {err!r}")
            many = os.path.join(v2, "data", "many")
            if os.path.islink(many):
                os.remove(many)
        print(f"{starts} starts, {caught} of them ended by a swap in time")
        if caught < CAUGHT_SWAPS:
            fail(f"only {caught} of {starts} starts had a swap in time")
    finally:
        shutil.rmtree(VERSIONS, ignore_errors=True)
        shutil.rmtree(work, ignore_errors=True)


main()
