"""What the fault tests' scripts share: an application's files against a copy unpacked from it,
and damage done to a file."""
import filecmp
import os
import sys


# The record a launcher keeps of its copy in the target directory, beside the application's files.
COPY_RECORD = "record.tarnic-partial"


def unpacked_files(folder):
    """The names of the files below the target directory `folder`, relative to it, without the
    launcher's record of its copy."""
    return sorted(name for name in application_files(folder) if name != COPY_RECORD)


def fail(message):
    sys.exit("FAIL: " + message)


def application_files(app):
    """The names of the files below `app`, relative to it."""
    for parent, _, names in os.walk(app):
        for name in names:
            yield os.path.relpath(os.path.join(parent, name), app)


def wrong_files(app, folder, names=None):
    """Of `names` (every file of `app` when none are given), those that are not, below `folder`, a
    file holding their bytes in `app`: missing, a link, or other bytes."""
    wrong = []
    for name in application_files(app) if names is None else names:
        unpacked = os.path.join(folder, name)
        if os.path.islink(unpacked) or not os.path.isfile(unpacked) or not filecmp.cmp(
                os.path.join(app, name), unpacked, shallow=False):
            wrong.append(name)
    return wrong


def damage(path):
    """Turns the first byte of the file at `path` over, keeping its size."""
    with open(path, "r+b") as file:
        first = file.read(1)
        file.seek(0)
        file.write(bytes([first[0] ^ 0xFF]))
