#!/usr/bin/env python3
"""Versions beside each other: the first start of version 2, whose target directory is a folder
of its own beside version 1's, takes every file it shares with version 1 as a second name of
version 1's file (a hard link) and writes the rest. A file of version 1 that was damaged is
written instead, a link planted at a file's name in version 1's folder is not followed, and a
repair in version 2 goes through a new file, leaving version 1's as it was. A launcher that
removes its copy when its program ends removes a link it finds there as a link. Versions that
keep two remove the older ones once nothing runs from them, and nothing but what they recorded.

Usage: versions_test.py <folder of the fault launchers> <scratch parent folder>"""
import getpass
import os
import shutil
import subprocess
import sys
import tempfile

from fault_files import COPY_RECORD, damage, fail, unpacked_files, wrong_files

REPO = os.path.normpath(os.path.join(os.path.dirname(__file__), "..", ".."))
WINE_RUN = os.path.join(REPO, "scripts", "wine-run")
PREFIX = os.environ.get("WINEPREFIX", os.path.join(REPO, "out", "wineprefix"))
USER_FOLDER = os.path.join(PREFIX, "drive_c", "users", getpass.getuser())
VERSIONS = os.path.join(USER_FOLDER, "AppData", "Local", "Zarvel Faults", "versions")
KEPT = os.path.join(USER_FOLDER, "AppData", "Local", "Zarvel Faults", "kept")
SHARED = ["data/shared.txt", "data/more/shared.bin"] + [f"data/many/file-{i:02}.txt"
                                                         for i in range(40)]
OWN = ["report.exe", "tessaline-version.dll"]


def start(launcher, *arguments):
    run = subprocess.run([WINE_RUN, launcher, *arguments], stdin=subprocess.DEVNULL,
                         capture_output=True, timeout=300)
    if run.returncode != 0:
        fail(f"{os.path.basename(launcher)} ended with {run.returncode}: {run.stderr!r}")


def version_folder(number):
    return os.path.join(VERSIONS, f"{number}.0.0.0")


def files_below(folder):
    return sorted(os.path.relpath(os.path.join(parent, name), folder)
                  for parent, _, names in os.walk(folder) for name in names)


def check_unpacked(app, folder):
    """The folder holds exactly the application's files, each with its bytes."""
    if unpacked_files(folder) != files_below(app):
        fail(f"{folder} holds {unpacked_files(folder)}")
    wrong = wrong_files(app, folder)
    if wrong:
        fail(f"{folder}: {wrong} do not hold the application's bytes")


def same_file(a, b):
    return os.stat(a).st_ino == os.stat(b).st_ino


def test_shared_files_are_linked():
    v1, v2 = version_folder(1), version_folder(2)
    for name in SHARED:
        if not same_file(os.path.join(v1, name), os.path.join(v2, name)):
            fail(f"{name} of version 2 is not version 1's file")
        if os.stat(os.path.join(v2, name)).st_nlink != 2:
            fail(f"{name} has {os.stat(os.path.join(v2, name)).st_nlink} names, not 2")
    for name in OWN:
        if same_file(os.path.join(v1, name), os.path.join(v2, name)):
            fail(f"{name}, which version 2 changed, is version 1's file")


def test_a_shared_target_takes_nothing_from_beside(launcher_folder, app):
    """A launcher whose target others may write below links nothing, even from a recorded copy
    of the same application."""
    v1, v2 = version_folder(1), version_folder(2)
    shutil.rmtree(v2)
    start(os.path.join(launcher_folder, "shared_versioned_v2.exe"))
    check_unpacked(app, v2)
    linked = [name for name in SHARED if same_file(os.path.join(v1, name), os.path.join(v2, name))]
    if linked:
        fail(f"a launcher with shared_target linked {linked}")


def test_the_third_latest_copy_is_looked_into(launcher_folder):
    """A file sound only in the third latest version beside is taken from there."""
    shutil.rmtree(VERSIONS)
    for number in (1, 2, 3):
        start(os.path.join(launcher_folder, f"versioned_v{number}.exe"))
    name = SHARED[1]
    for number in (2, 3):
        path = os.path.join(version_folder(number), name)
        os.remove(path)
        with open(path, "wb") as file:
            file.write(b"changed in this version")
    start(os.path.join(launcher_folder, "versioned_v4.exe"))
    if not same_file(os.path.join(version_folder(1), name), os.path.join(version_folder(4), name)):
        fail(f"{name} was not taken from the third latest version")
    shutil.rmtree(VERSIONS)


def test_a_linked_folder_beside_is_not_looked_into(launchers, app, work):
    """A link beside the target that leads to a recorded copy elsewhere is passed over."""
    v1, v2 = version_folder(1), version_folder(2)
    shutil.rmtree(v2)
    outside = os.path.join(work, "outside-1.0.0.0")
    os.rename(v1, outside)
    os.symlink(outside, v1)
    start(launchers[2])
    check_unpacked(app, v2)
    os.remove(v1)
    os.rename(outside, v1)
    linked = [name for name in SHARED if same_file(os.path.join(v1, name), os.path.join(v2, name))]
    if linked:
        fail(f"{linked} were taken from a folder a link led to")


def test_leftovers_mark_is_never_made_through_a_link(launcher_folder, work):
    """A link planted at the mark of files moved aside, leading outside, makes nothing there."""
    target = os.path.join(USER_FOLDER, "Temp", "faults", "update")
    shutil.rmtree(target, ignore_errors=True)
    running, release = hold(os.path.join(launcher_folder, "update_v1.exe"), work, "--load",
                            "tessaline-version.dll")
    outside = os.path.join(work, "outside-mark")
    os.symlink(outside, os.path.join(target, "leftovers.tarnic-partial"))
    start(os.path.join(launcher_folder, "update_v2.exe"))
    open(release, "wb").close()
    running.communicate(timeout=300)
    os.remove(release)
    os.remove(release + ".ready")
    if os.path.lexists(outside):
        fail("moving a file aside made a file where a link at the mark led")
    shutil.rmtree(target)


def test_damaged_file_is_written(launchers, app):
    v1, v2 = version_folder(1), version_folder(2)
    shutil.rmtree(v2)
    damaged = os.path.join(v1, SHARED[0])
    damage(damaged)
    start(launchers[2])
    check_unpacked(app, v2)
    if same_file(damaged, os.path.join(v2, SHARED[0])):
        fail("a damaged file of version 1 was linked")
    if not same_file(os.path.join(v1, SHARED[1]), os.path.join(v2, SHARED[1])):
        fail("a sound file of version 1 was not linked beside a damaged one")
    damage(damaged)  # as it was


def test_planted_link_is_not_followed(launchers, app, work):
    v1, v2 = version_folder(1), version_folder(2)
    shutil.rmtree(v2)
    # The link leads to a file with the very bytes the entry holds: only its being a link
    # keeps it from being taken.
    outside = os.path.join(work, "outside.bin")
    shutil.copyfile(os.path.join(app, SHARED[1]), outside)
    planted = os.path.join(v1, SHARED[1])
    os.remove(planted)
    os.symlink(outside, planted)
    start(launchers[2])
    check_unpacked(app, v2)
    if os.stat(outside).st_nlink != 1 or os.path.islink(os.path.join(v2, SHARED[1])):
        fail("the file behind a link planted in version 1's folder was taken")


def test_repair_leaves_the_other_version_alone(launchers, app):
    v1, v2 = version_folder(1), version_folder(2)
    shutil.rmtree(VERSIONS)
    start(launchers[1])
    start(launchers[2])
    shared = os.path.join(v2, SHARED[0])
    before = os.stat(shared).st_ino
    damage(shared)  # both versions' name for the file
    with open(shared, "rb") as file:
        damaged_bytes = file.read()
    start(launchers[2])
    check_unpacked(app, v2)
    kept = os.path.join(v1, SHARED[0])
    if os.stat(kept).st_ino != before or open(kept, "rb").read() != damaged_bytes:
        fail("repairing version 2's file changed version 1's")


def hold(launcher, work, *arguments):
    """Starts `launcher` with its program held until the file `release` is made, and waits until
    the program runs; gives the process and `release`."""
    release = os.path.join(work, "release")
    held = subprocess.Popen([WINE_RUN, launcher, "--hold", "Z:" + release.replace("/", "\\"),
                             *arguments], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
    for _ in range(6000):
        if os.path.exists(release + ".ready") or held.poll() is not None:
            break
        subprocess.run(["sleep", "0.02"])
    if not os.path.exists(release + ".ready"):
        fail(f"{os.path.basename(launcher)} did not start its program: {held.stderr.read()!r}")
    return held, release


def test_old_versions_go_but_what_runs_or_is_not_theirs(launcher_folder, work):
    """Five versions that keep two: version 3 runs while 4 and 5 start and keeps every file; the
    older ones go once nothing runs from them, but for a file and a folder of the user's; a link
    at a recorded name goes as a link and a folder swapped for a link costs what it leads to
    nothing."""
    shutil.rmtree(KEPT, ignore_errors=True)
    kept = [os.path.join(launcher_folder, f"kept_v{number}.exe") for number in range(1, 6)]
    folder = {number: os.path.join(KEPT, f"{number}.0.0.0") for number in range(1, 6)}
    start(kept[0])
    start(kept[1])
    with open(os.path.join(folder[1], "user.txt"), "wb") as file:
        file.write(b"the user's")
    os.makedirs(os.path.join(folder[1], "user folder"))
    precious = os.path.join(work, "kept-precious.txt")
    with open(precious, "wb") as file:
        file.write(b"precious")
    planted = os.path.join(folder[2], SHARED[0])
    os.remove(planted)
    os.symlink(precious, planted)
    victim = os.path.join(work, "kept-victim")
    os.makedirs(victim)
    with open(os.path.join(victim, "shared.bin"), "wb") as file:
        file.write(b"victim")
    more = os.path.join(folder[2], "data", "more")
    os.rename(more, os.path.join(work, "more.moved"))
    os.symlink(victim, more)

    running, release = hold(kept[2], work, "--load", "tessaline-version.dll")
    start(kept[3])
    start(kept[4])
    check_unpacked(os.path.join(launcher_folder, "apps", "update-3"), folder[3])
    open(release, "wb").close()
    out, err = running.communicate(timeout=300)
    os.remove(release)
    os.remove(release + ".ready")
    if running.returncode != 0 or b"\nloaded=dll 3\r\n" not in out:
        fail(f"version 3 ended with {running.returncode}: {out[-200:]!r} {err!r}")
    start(kept[4])

    recorded = sorted(name for name in os.listdir(KEPT)
                      if os.path.exists(os.path.join(KEPT, name, COPY_RECORD)))
    if recorded != ["4.0.0.0", "5.0.0.0"]:
        fail(f"the versions left are {recorded}, not 4 and 5")
    for number in (4, 5):
        check_unpacked(os.path.join(launcher_folder, "apps", f"update-{number}"), folder[number])
    if sorted(os.listdir(folder[1])) != ["user folder", "user.txt"]:
        fail(f"version 1's folder holds {sorted(os.listdir(folder[1]))}, not the user's alone")
    left = [os.path.relpath(os.path.join(parent, name), folder[2])
            for parent, folders, names in os.walk(folder[2]) for name in folders + names]
    if left != ["data", "data/more"] or not os.path.islink(more):
        fail(f"version 2's folder holds {left}, not the swapped-in link alone")
    if open(precious, "rb").read() != b"precious" or os.listdir(victim) != ["shared.bin"] or \
            open(os.path.join(victim, "shared.bin"), "rb").read() != b"victim":
        fail("the removal took or changed what a link led to")
    shutil.rmtree(KEPT)


def hold_once(launcher, work):
    """Starts `launcher`, which removes its copy, with its program held until `release` is made;
    gives the process, its copy and `release`."""
    temp_faults = os.path.join(USER_FOLDER, "Temp", "faults")
    before = set(os.listdir(temp_faults)) if os.path.isdir(temp_faults) else set()
    release = os.path.join(work, "release")
    held = subprocess.Popen([WINE_RUN, launcher, "--hold", "Z:" + release.replace("/", "\\")],
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE)
    for _ in range(6000):
        if os.path.exists(release + ".ready") or held.poll() is not None:
            break
        subprocess.run(["sleep", "0.02"])
    copies = [os.path.join(temp_faults, name) for name in set(os.listdir(temp_faults)) - before
              if name.startswith("once-")]
    if len(copies) != 1:
        open(release, "wb").close()
        fail(f"not one copy running: {copies}")
    return held, copies[0], release


def end_held(held, release):
    open(release, "wb").close()
    if held.wait(timeout=300) != 0:
        fail(f"the start that removes its copy ended with {held.returncode}")
    os.remove(release)
    os.remove(release + ".ready")


def test_removal_removes_a_link_as_a_link(launcher, work):
    outside = os.path.join(work, "precious.txt")
    with open(outside, "wb") as file:
        file.write(b"precious")
    held, copy, release = hold_once(launcher, work)
    planted = os.path.join(copy, SHARED[0])
    os.remove(planted)
    os.symlink(outside, planted)
    end_held(held, release)
    if os.path.lexists(copy):
        fail(f"the copy is still there: {os.listdir(copy)}")
    if open(outside, "rb").read() != b"precious":
        fail("the file a planted link led to was removed or changed")


def test_removal_spares_a_folder_swapped_in(launcher, work):
    """The copy's data folder moved away while the program runs, and a link to a folder holding
    files of the same names put in its place: the removal leaves that folder's files alone."""
    victim = os.path.join(work, "victim")
    names = [name[len("data/"):] for name in SHARED]
    for name in names:
        os.makedirs(os.path.dirname(os.path.join(victim, name)), exist_ok=True)
        with open(os.path.join(victim, name), "wb") as file:
            file.write(b"victim " + name.encode())
    held, copy, release = hold_once(launcher, work)
    data = os.path.join(copy, "data")
    os.rename(data, data + ".moved")
    os.symlink(victim, data)
    end_held(held, release)
    kept = [name for name in names if os.path.isfile(os.path.join(victim, name)) and
            open(os.path.join(victim, name), "rb").read() == b"victim " + name.encode()]
    if kept != names:
        fail(f"the removal took files of a folder swapped in: {sorted(set(names) - set(kept))}")
    shutil.rmtree(copy)


def main():
    launcher_folder, scratch = sys.argv[1:3]
    launchers = {1: os.path.join(launcher_folder, "versioned_v1.exe"),
                 2: os.path.join(launcher_folder, "versioned_v2.exe"),
                 "once": os.path.join(launcher_folder, "once.exe")}
    app = os.path.join(launcher_folder, "apps", "update-2")
    work = tempfile.mkdtemp(prefix="versions.", dir=scratch)
    try:
        shutil.rmtree(VERSIONS, ignore_errors=True)
        start(launchers[1])
        start(launchers[2])
        check_unpacked(app, version_folder(2))
        test_shared_files_are_linked()
        test_a_shared_target_takes_nothing_from_beside(launcher_folder, app)
        test_a_linked_folder_beside_is_not_looked_into(launchers, app, work)
        test_damaged_file_is_written(launchers, app)
        test_planted_link_is_not_followed(launchers, app, work)
        test_repair_leaves_the_other_version_alone(launchers, app)
        test_removal_removes_a_link_as_a_link(launchers["once"], work)
        test_removal_spares_a_folder_swapped_in(launchers["once"], work)
        test_old_versions_go_but_what_runs_or_is_not_theirs(launcher_folder, work)
        test_the_third_latest_copy_is_looked_into(launcher_folder)
        test_leftovers_mark_is_never_made_through_a_link(launcher_folder, work)
        print("versions share their unchanged files safely; a copy's removal spares what links "
              "lead to; old versions go but what runs or is the user's")
    finally:
        shutil.rmtree(VERSIONS, ignore_errors=True)
        shutil.rmtree(work, ignore_errors=True)


main()
