#!/usr/bin/env python3
"""A folder below the target directory swapped for a link while a start writes into it: a
watcher waits until the start has put its new data\\tables\\chunked.bin in place, then moves the
folder away and puts a link to a victim folder in its place, while the start still has
data\\tables\\grid.bin to write (and data\\words.txt and z-tail\\last.bin after it). The start
ends with the open-for-writing message and status 2, or with status 0 and every file whole in
the target directory; the victim folder keeps its files as they were, in every start. (A start
the watcher came too late for ends with status 0 and the link in place; its files must then be
whole in the folder that was moved away: they never went anywhere else.)

The starts go on until enough swaps came in time, within a generous bound.

Usage: folder_swap_test.py <launcher with target spec {PROGRAM_DIR}\\unpacked>
                           <its application folder> <scratch parent folder>"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading

from fault_files import damage, fail, wrong_files

REPO = os.path.normpath(os.path.join(os.path.dirname(__file__), "..", ".."))
WINE_RUN = os.path.join(REPO, "scripts", "wine-run")
DAMAGED = ["data/tables/chunked.bin", "data/tables/grid.bin", "data/words.txt", "z-tail/last.bin"]
CAUGHT_SWAPS = 3
MOST_STARTS = 40
VICTIM_FILES = {"grid.bin": b"victim grid", "chunked.bin": b"victim chunks", "own.txt": b"own"}


class Watcher(threading.Thread):
    """Swaps the tables folder for a link once chunked.bin is a new file."""

    def __init__(self, target, victim):
        super().__init__(daemon=True)
        self.tables = os.path.join(target, "data", "tables")
        self.victim = victim
        self.before = os.stat(os.path.join(self.tables, "chunked.bin")).st_ino
        self.stop = threading.Event()
        self.swapped = False

    def run(self):
        chunked = os.path.join(self.tables, "chunked.bin")
        while not self.stop.is_set():
            try:
                if os.stat(chunked).st_ino == self.before:
                    continue
                os.rename(self.tables, self.tables + ".moved")
                os.symlink(self.victim, self.tables)
                self.swapped = True
                return
            except OSError:
                continue


def run_launcher(launcher):
    return subprocess.run([WINE_RUN, launcher], stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=120)


def check_victim(victim, start):
    found = {name: open(os.path.join(victim, name), "rb").read() for name in os.listdir(victim)}
    if found != VICTIM_FILES:
        fail(f"start {start} changed the victim folder: {sorted(found)}")


def main():
    launcher, app, scratch = sys.argv[1:4]
    work = tempfile.mkdtemp(prefix="folder-swap.", dir=scratch)
    try:
        folder = os.path.join(work, "launcher")
        target = os.path.join(folder, "unpacked")
        victim = os.path.join(work, "victim")
        os.makedirs(folder)
        os.makedirs(victim)
        for name, data in VICTIM_FILES.items():
            with open(os.path.join(victim, name), "wb") as file:
                file.write(data)
        exe = os.path.join(folder, "launcher.exe")
        shutil.copy(launcher, exe)
        message = re.compile(r"Error, failed to open 'Z:%s\\[^']+' for writing\.\r?\n" %
                             re.escape(target.replace("/", "\\")))
        caught = starts = 0
        while caught < CAUGHT_SWAPS and starts < MOST_STARTS:
            starts += 1
            shutil.rmtree(target, ignore_errors=True)
            if run_launcher(exe).returncode != 0:
                fail(f"the first start before swap {starts} failed")
            for name in DAMAGED:
                damage(os.path.join(target, name))
            watcher = Watcher(target, victim)
            watcher.start()
            run = run_launcher(exe)
            watcher.stop.set()
            watcher.join()
            check_victim(victim, starts)
            err = run.stderr.decode(errors="replace")
            if run.returncode == 2:
                if run.stdout or not message.fullmatch(err):
                    fail(f"start {starts}: standard output {run.stdout!r}, standard error {err!r}")
                caught += watcher.swapped
            elif run.returncode != 0:
                fail(f"start {starts} ended with {run.returncode}: {err!r}")
            elif not watcher.swapped:
                if wrong_files(app, target):
                    fail(f"start {starts} ended with status 0 and damaged files")
            elif wrong_files(os.path.join(app, "data", "tables"),
                             os.path.join(target, "data", "tables.moved"),
                             ["grid.bin", "chunked.bin"]):
                fail(f"start {starts} ended with status 0 after the swap, its files not whole")
            tables = os.path.join(target, "data", "tables")
            if os.path.islink(tables):
                os.remove(tables)
        print(f"{starts} starts, {caught} of them ended by a swap in time")
        if caught < CAUGHT_SWAPS:
            fail(f"only {caught} of {starts} starts had a swap in time")
    finally:
        shutil.rmtree(work, ignore_errors=True)


main()
