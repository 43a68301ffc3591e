#!/usr/bin/env python3
"""Writes docs/performance.md from the figures that bench/run collected.

Usage: report.py <results.tsv> <machine.tsv> <commands.txt>   (the document goes to stdout)

results.tsv holds "<figure>\t<round>\t<key>\t<value>" lines; machine.tsv "<key>\t<text>"
lines; commands.txt the commands that produced the figures, one a line.
"""
import statistics
import sys
from collections import defaultdict

MB = 1e6
MIB = 1024 * 1024

# The profiled calls, in the order of the profile table, as bench/profile_seams.cpp names them.
PROFILED_CALLS = [
    ("decoder", "ZSTD_decompressStream"),
    ("crc32", "crc32"),
    ("create_file", "CreateFileW"),
    ("file_size", "GetFileSizeEx"),
    ("read_file", "ReadFile"),
    ("close", "CloseHandle"),
    ("write_file", "WriteFile"),
    ("move_file", "MoveFileExW"),
    ("create_directory", "CreateDirectoryW"),
]

# A region is its frame with the magic before it and the trailer after it.
REGION_FRAMING_BYTES = 12

# The applications measured in-process and in the launcher: figure names of the larger ones
# carry their prefixes.
APPLICATIONS = [("", "The application"), ("large-", "The application 8 x larger"),
                ("huge-", "The application of about 600 MB")]
# The application measured in the launcher alone.
GIANT = ("giant-", "The application of 1 GB")
LAUNCHED = APPLICATIONS + [GIANT]
# The applications whose second start must gain from verifying on every processor.
SPREAD_TARGET_PREFIXES = ("huge-", "giant-")
# The most private memory a first start may hold, at every size.
FIRST_START_PRIVATE_MIB = 48
# A region may grow by this share against the baseline's (the application 8 x larger's).
REGION_GROWTH_LIMIT = 0.001


class Results:
    """Every value of every figure, by figure and key."""

    def __init__(self, lines):
        self.values = defaultdict(list)
        for number, line in enumerate(lines, 1):
            line = line.rstrip("\r\n")
            if not line:
                continue
            fields = line.split("\t")
            if len(fields) != 4:
                raise ValueError(f"results line {number} has not 4 fields: {line!r}")
            figure, _, key, value = fields
            self.values[(figure, key)].append(float(value))

    def all(self, figure, key="microseconds"):
        values = self.values.get((figure, key))
        if not values:
            raise KeyError(f"no measurement of {figure} {key}")
        return values

    def median(self, figure, key="microseconds"):
        return statistics.median(self.all(figure, key))

    def ms(self, figure, key="microseconds"):
        return self.median(figure, key) / 1000

    def once(self, figure, key):
        return self.all(figure, key)[0]

    def has(self, figure, key="microseconds"):
        return bool(self.values.get((figure, key)))


class Check:
    """A figure against its target: measured <= limit."""

    def __init__(self, name, measured, limit, target, unit="ms"):
        self.name = name
        self.measured = measured
        self.limit = limit
        self.target = target
        self.unit = unit

    @property
    def met(self):
        return self.measured <= self.limit

    def row(self):
        return (f"| {self.name} | {self.measured:.1f} {self.unit} | {self.target} = "
                f"{self.limit:.1f} {self.unit} | {'met' if self.met else '**not met**'} |")


def second_start(r, p, one=""):
    """A second start above the tiny launcher's, both on every processor or both on one."""
    return r.ms(f"{p}launcher-second{one}") - r.ms(f"{p}tiny-second{one}")


def mib(r, figure, key="peak_working_set_bytes"):
    return r.median(figure, key) / MIB


def spread_checks(r, p):
    if p not in SPREAD_TARGET_PREFIXES:
        return []
    return [Check("Second start: launcher - tiny launcher, against both on one processor",
                  second_start(r, p), 0.6 * second_start(r, p, "-one"),
                  "0.6 x the same on one processor")]


def memory_checks(r, p):
    return [
        Check("Peak working set of a second start", mib(r, p + "memory-second"),
              mib(r, p + "memory-tiny") + 8, "tiny launcher's + 8 MiB", "MiB"),
        Check("Peak private bytes of a first start",
              mib(r, p + "memory-first", "peak_pagefile_bytes"), FIRST_START_PRIVATE_MIB,
              f"{FIRST_START_PRIVATE_MIB} MiB", "MiB"),
    ]


def checks(r, p=""):
    """The targets of one application, whose figures carry the prefix `p`."""
    verify = r.ms(p + "verify")
    floor = max(r.ms(p + "decompress"), r.ms(p + "write"))
    floor_name = "max(decompression, writing)"
    return [
        Check("Second start: launcher - tiny launcher", second_start(r, p), 1.3 * verify,
              "1.3 x verification")] + spread_checks(r, p) + [
        Check("First start's unpacking (in-process)", r.ms(p + "unpack-first"), 1.15 * floor,
              f"1.15 x {floor_name}"),
        Check("First start: launcher - tiny launcher",
              r.ms(p + "launcher-first") - r.ms(p + "tiny-first"), 1.3 * floor,
              f"1.3 x {floor_name}"),
        Check("First start against a plain copy of the files", r.ms(p + "launcher-first"),
              1.3 * r.ms(p + "copy-first"), "1.3 x the plain copy")] + memory_checks(r, p) + [
        Check("Decoder calls in a profiled second start",
              r.median(p + "profile-second", "decoder_calls"), 0, "none", "calls"),
    ]


def giant_checks(r):
    """The targets of the application measured in the launcher alone."""
    return spread_checks(r, GIANT[0]) + memory_checks(r, GIANT[0])


def baseline_checks(r):
    """The launchers and regions against the baseline's, where the run had a baseline."""
    out = []
    for p, title in LAUNCHED:
        if r.has(p + "baseline-first"):
            out += [Check(f"{title}: first start", r.ms(p + "launcher-first"),
                          r.ms(p + "baseline-first"), "the baseline's"),
                    Check(f"{title}: second start", r.ms(p + "launcher-second"),
                          r.ms(p + "baseline-second"), "the baseline's")]
    if r.has("baseline-large-region", "bytes"):
        baseline = r.once("baseline-large-region", "bytes")
        out.append(Check("The application 8 x larger: region", r.once("large-region", "bytes")
                         / 1000, (1 + REGION_GROWTH_LIMIT) * baseline / 1000,
                         f"{1 + REGION_GROWTH_LIMIT} x the baseline's", "KB"))
    return out


def update_checks(r):
    """The update's starts against a second start of the same application, and its disk."""
    second = r.ms("update-second")
    one_copy = r.once("update-disk", "one_kib") * 1024
    changed = r.once("update-changed", "bytes")
    return [
        Check("Update in place, the main program alone changed", r.ms("update-in-place"),
              1.3 * second, "1.3 x a second start"),
        Check("First start of a new version beside the earlier one", r.ms("update-new-version"),
              1.5 * second, "1.5 x a second start"),
        Check("Disk space of both versions", r.once("update-disk", "both_kib") * 1024 / MB,
              (one_copy + changed + MB) / MB, "one copy + the changed files + 1 MB", "MB"),
    ]


def versions_checks(r):
    """Five versions that keep two against five that keep every one, when the run started them."""
    if not r.has("versions-kept-first"):
        return []
    kib = lambda key: r.once("versions-disk", key) * 1024
    limit = kib("shared_kib") + 2 * kib("changed_kib") + MB
    return [
        Check("First start of a new version, keeping two", r.ms("versions-kept-first"),
              r.ms("versions-all-first"), "keeping every version"),
        Check("Disk space of five versions that keep two", kib("kept_kib") / MB, limit / MB,
              "the shared files once + two versions' changed files + 1 MB", "MB"),
    ]


def window_checks(r):
    """The windowed launchers of the application of about 600 MB, when the run started them."""
    if not r.has("window-first"):
        return []
    return [
        Check("First start with the progress window", r.ms("window-first"),
              1.05 * r.ms("window-none-first"), "1.05 x the same without it"),
        Check("Second start of a windowed launcher asking for it", r.ms("window-second"),
              r.ms("window-baseline-second"),
              "the baseline's windowed launcher (without a baseline: without the window)"),
    ]


def lower_first(title):
    """The title inside a sentence: "MB" keeps its case."""
    return title[0].lower() + title[1:]


def spread_row(r, label, figure, throughput_bytes=None, note=""):
    """Median, min and max in ms, then the throughput of `throughput_bytes` or `note`."""
    values = [v / 1000 for v in r.all(figure)]
    if throughput_bytes:
        note = f"{throughput_bytes / MB / (statistics.median(values) / 1000):.0f} MB/s"
    return (f"| {label} | {statistics.median(values):.1f} | {min(values):.1f} | "
            f"{max(values):.1f} | {note} |")


def machine_value(machine, key):
    if key == "baseline":
        return machine.get(key) or "none"
    return machine.get(key, "unknown")


def machine_section(machine):
    rows = [("Processor", "cpu"), ("Cores", "cores"), ("Memory", "memory"), ("Kernel", "kernel"),
            ("Wine", "wine"), ("zstd command line", "zstd"), ("Date", "date"),
            ("Load average before / after", "load"), ("Baseline packer", "baseline")]
    out = ["## Machine", "", "| | |", "|---|---|"]
    out += [f"| {label} | {machine_value(machine, key)} |" for label, key in rows]
    out += ["", f"Every Windows figure is the median of {machine['runs']} runs "
            f"({machine.get('large_runs', machine['runs'])} for each larger application), every "
            f"packer figure of {machine['packer_runs']}. The machine is shared with other work, "
            "so absolute figures vary between runs of the benchmark; the targets compare figures "
            "measured in the same run, and the rounds interleave the figures that are compared "
            "so that a busy moment falls on all of them alike.", ""]
    return out


def input_section(r):
    files = int(r.once("input", "files"))
    size = r.once("input", "bytes")
    large_files = int(r.once("large-input", "files"))
    large_size = r.once("large-input", "bytes")
    return ["## The applications", "",
            f"{files} files, {size / MB:.1f} MB: Wine's own 64-bit PE DLLs "
            "(`/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/*.dll` in name order, each taken "
            "while the total stays within 28 MiB), its fonts under `data\\fonts` and `wine.inf` "
            "under `data`, and as the main program `Bench-App.exe` "
            "(`bench/bare_child.cpp`), which returns at once. The entry stream is "
            f"{r.once('decompress', 'bytes') / MB:.1f} MB; the region at the default level is "
            f"{r.once('region-default', 'bytes') / MB:.2f} MB.", "",
            f"The larger application is made the same way within 8 x 28 MiB: {large_files} "
            f"files, {large_size / MB:.1f} MB, an entry stream of "
            f"{r.once('large-decompress', 'bytes') / MB:.1f} MB.", "",
            f"The application of about 600 MB takes Wine's DLLs within 600 MB, and generated "
            f"files of 4 MiB (`data\\generated`) up to 600 MB where the machine's Wine has "
            f"fewer: {int(r.once('huge-input', 'files'))} files, "
            f"{r.once('huge-input', 'bytes') / MB:.1f} MB, an entry stream of "
            f"{r.once('huge-decompress', 'bytes') / MB:.1f} MB, packed at level 3 (a second start "
            "decodes nothing, and level 19 would take minutes).", "",
            f"The application of 1 GB is made the same way within 1 GB: "
            f"{int(r.once('giant-input', 'files'))} files, "
            f"{r.once('giant-input', 'bytes') / MB:.1f} MB, also packed at level 3 (a region of "
            f"{r.once('giant-region', 'bytes') / MB:.1f} MB); it is measured by its launcher's "
            "starts alone.", ""]


TABLE_HEAD = ["| Figure | Measured (median) | Target | |", "|---|---|---|---|"]


def targets_section(r):
    out = ["## Targets", ""]
    for p, title in APPLICATIONS:
        out += [f"{title}:", ""] + TABLE_HEAD + [c.row() for c in checks(r, p)] + [""]
    out += [f"{GIANT[1]}:", ""] + TABLE_HEAD + [c.row() for c in giant_checks(r)] + [""]
    out += ["The update of the application of about 600 MB (see below):", ""] + TABLE_HEAD
    out += [c.row() for c in update_checks(r)] + [""]
    versions = versions_checks(r)
    if versions:
        out += ["Five versions beside each other (see Updates):", ""] + TABLE_HEAD
        out += [c.row() for c in versions] + [""]
    windowed = window_checks(r)
    if windowed:
        out += ["The windowed launcher of the application of about 600 MB, on a virtual display "
                "(see below):", ""] + TABLE_HEAD + [c.row() for c in windowed] + [""]
    against = baseline_checks(r)
    if against:
        out += ["Against the baseline, the same applications packed by the earlier packer named "
                "under Machine, started in the same rounds:", ""] + TABLE_HEAD
        out += [c.row() for c in against] + [""]
    else:
        out += ["This run had no baseline (`BENCH_BASELINE_PACK`), so nothing is held against an "
                "earlier launcher or region.", ""]
    out += ["Ratios are of the medians. The baselines are the machine's limits for the same work "
            "measured in the same run, in-process (below): verification is every file opened, "
            "sized, mapped, run through crc32 and closed, the plain way, outside the launcher's "
            "code; decompression is the same frame decoded alone through a 131072-byte window "
            "(output dropped); writing is the same files written into an empty folder with "
            "plain `CreateFileW`/`WriteFile` (one call per file). The launcher figures subtract "
            "the tiny launcher's start (a launcher carrying the bare child alone), which is what "
            "any launcher costs before its application's files. \"On one processor\" starts "
            "the launcher and the tiny launcher held to the first processor, as `start "
            "/affinity 1` would: the launcher then verifies its files on one thread.", ""]
    return out


def unpacking_section(r):
    out = ["## Unpacking in-process", "",
           "A Windows program (`bench/unpack_bench.cpp`) links the launcher's payload code and "
           "runs `unpackPayload` on the region and its entry table, read into memory before the "
           "clock starts, with the target directory below `%TEMP%`. Each measurement runs in a "
           "fresh process.", ""]
    for p, title in APPLICATIONS:
        stream = r.once(p + "decompress", "bytes")
        out += [f"{title}:", "",
                "| Figure (ms) | Median | Min | Max | Throughput of the stream |",
                "|---|---|---|---|---|",
                spread_row(r, "Decompression alone", p + "decompress", stream),
                spread_row(r, "crc32 of the file data", p + "crc", stream),
                spread_row(r, "Writing the files", p + "write", stream),
                spread_row(r, "Verifying the files (open, size, map, CRC, close)", p + "verify",
                           stream),
                spread_row(r, "First start's unpacking (empty target)", p + "unpack-first",
                           stream),
                spread_row(r, "Second start's unpacking (every file in place)",
                           p + "unpack-second", stream),
                spread_row(r, "The same on one processor", p + "unpack-second-one", stream)]
        if not p:
            out.append(spread_row(r, "Native `zstd -d` of the frame (host, whole command)",
                                  "native-decompress", stream))
        out.append("")
    return out


def profile_rows(r, p):
    figures = (p + "profile-first", p + "profile-second")
    rows = []
    for key, label in PROFILED_CALLS:
        cells = []
        for figure in figures:
            ms = r.median(figure, key + "_us") / 1000
            calls = int(r.median(figure, key + "_calls"))
            cells.append(f"{ms:.1f} ({calls})" if calls else "-")
        rows.append(f"| `{label}` | {cells[0]} | {cells[1]} |")
    rows.append(f"| **Wall time** | {r.ms(figures[0], 'total_us'):.1f} | "
                f"{r.ms(figures[1], 'total_us'):.1f} |")
    return rows


def profile_section(r):
    out = ["## Where the unpacking's time goes", "",
           "The same unpacking in `tarnic-bench-profile`, which times every outside call the "
           "payload code makes: the decoder and crc32 through the linker's `--wrap`, the system "
           "calls through import pointers of its own. Medians in ms, with the number of calls; "
           "the timers add a little to each call. On a first start the decoder runs on a thread "
           "of its own while the main thread writes, and a second start reads its files on a "
           "thread per processor, so the calls' times overlap and add up to more than the wall "
           "time.", ""]
    for p, title in APPLICATIONS:
        out += [f"{title}:", "", "| Call | First start | Second start |", "|---|---|---|"]
        out += profile_rows(r, p) + [""]
    return out


def launcher_section(r):
    bare, shell = r.ms("bare-start"), r.ms("shell-start")
    tiny1, tiny2 = r.ms("tiny-first"), r.ms("tiny-second")
    out = ["## The whole launcher under Wine", "",
           "Wall time from `CreateProcessW` to the end of the process, taken with "
           "`QueryPerformanceCounter` by a Windows program (`bench/launch_bench.cpp`), so that "
           "Wine's start of the measuring program is not counted. Standard handles on the null "
           "device; the launcher's target is `{TEMP}\\tarnic-bench\\launcher`, emptied before "
           "each first start. The tiny launcher carries the bare child alone. A baseline's "
           "launcher, when the run has one, starts in the same rounds into the same target, the "
           "two taking turns at going first. Min and max show the spread: a busy moment on the "
           "shared machine slows a run by tens of milliseconds. The plain copy "
           "(`bench/plain_copy.cpp`, a program that imports shell32 as the launcher does) "
           "copies the application's folder into an emptied one on one thread, each file read "
           "and written in chunks of 1 MiB, in the same rounds, before or after the launcher by "
           "turns: the limit of a first start, which writes the same files.", "",
           "| Figure (ms) | Median | Min | Max | |", "|---|---|---|---|---|",
           spread_row(r, "Bare start of the child alone", "bare-start"),
           spread_row(r, "Bare start of the child importing shell32", "shell-start"),
           spread_row(r, "Tiny launcher, first start", "tiny-first"),
           spread_row(r, "Tiny launcher, second start", "tiny-second"),
           spread_row(r, "Tiny launcher, second start on one processor", "tiny-second-one")]
    for p, title in LAUNCHED:
        out.append(spread_row(r, f"Plain copy of the files ({lower_first(title)})",
                              f"{p}copy-first"))
        for who, figure in (("Launcher", "launcher"), ("Baseline", "baseline")):
            if not r.has(f"{p}{figure}-first"):
                continue
            out += [spread_row(r, f"{who}, first start ({lower_first(title)})",
                               f"{p}{figure}-first"),
                    spread_row(r, f"{who}, second start ({lower_first(title)})",
                               f"{p}{figure}-second"),
                    spread_row(r, f"{who}, second start on one processor "
                               f"({lower_first(title)})", f"{p}{figure}-second-one")]
    out += ["",
            f"- A launcher's fixed cost, its own start as a process around the child's "
            f"(tiny launcher's second start - bare start): {tiny2 - bare:.1f} ms. A process "
            f"with the launcher's imports starts in {shell:.1f} ms, {shell - bare:.1f} ms more "
            f"than the bare child, for loading shell32 and what it loads. A tiny first start "
            f"adds {tiny1 - tiny2:.1f} ms."]
    for p, title in LAUNCHED:
        first = r.ms(p + "launcher-first") - r.ms(p + "tiny-first")
        second, one = second_start(r, p), second_start(r, p, "-one")
        line = (f"- {title}'s files inside the launcher (launcher - tiny launcher): first "
                f"start {first:.1f} ms, second start {second:.1f} ms ({one:.1f} ms on one "
                f"processor, a ratio of {second / one:.2f})")
        if r.has(p + "unpack-first"):
            line += (f", against {r.ms(p + 'unpack-first'):.1f} and "
                     f"{r.ms(p + 'unpack-second'):.1f} ms "
                     f"({r.ms(p + 'unpack-second-one'):.1f} ms on one processor) in-process")
        out.append(line + ".")
    return out + [""]


def memory_rows(r):
    figures = [("Tiny launcher, second start", "memory-tiny")]
    for p, title in LAUNCHED:
        figures += [(f"Launcher, first start ({lower_first(title)})", p + "memory-first"),
                    (f"Launcher, second start ({lower_first(title)})", p + "memory-second")]
        if r.has(p + "baseline-memory-first", "peak_working_set_bytes"):
            figures.append((f"Baseline, first start ({lower_first(title)})",
                            p + "baseline-memory-first"))
    return figures


def memory_section(r):
    figures = memory_rows(r)
    after_end = all(v == 1 for _, f in figures for v in r.all(f, "read_after_end"))
    with_private = any(v != 0 for _, f in figures for v in r.all(f, "private_usage_bytes"))
    head = "| Launcher | PeakWorkingSetSize | PeakPagefileUsage | Working set beyond it |"
    rule = "|---|---|---|---|"
    if with_private:
        head, rule = head + " PrivateUsage |", rule + "---|"
    rows = []
    for label, f in figures:
        ws, private = mib(r, f), mib(r, f, "peak_pagefile_bytes")
        row = f"| {label} | {ws:.1f} | {private:.1f} | {ws - private:.1f} |"
        if with_private:
            row += f" {mib(r, f, 'private_usage_bytes'):.1f} |"
        rows.append(row)
    commit = mib(r, "reader-memory", "commit_growth_bytes")
    growth = mib(r, "reader-memory", "working_set_growth_bytes")
    decoder = mib(r, "reader-memory", "decoder_buffer_bytes")
    queue = mib(r, "reader-memory", "queue_bytes")
    window = int(r.once("region-default", "window_log"))
    others = " and ".join(
        f"{mib(r, p + 'reader-memory', 'commit_growth_bytes'):.1f} MiB for "
        f"{lower_first(title)}" for p, title in APPLICATIONS[1:])
    private_note = ("" if with_private else
                    " (`PrivateUsage`, read too, stays 0 under Wine: it fills the field not at "
                    "all)")
    return ["## Peak memory of the launcher", "",
            "`GetProcessMemoryInfo` with `PROCESS_MEMORY_COUNTERS_EX` on the launcher's handle, "
            "read every millisecond while it runs and once more after it ended"
            + (" (the last reading succeeded in every run)" if after_end else "") +
            "; the largest readings, in MiB" + private_note + ". `PeakPagefileUsage` is the "
            "peak private bytes; the working set beyond it is what the launcher's image, the "
            "system's DLLs and the payload region's pages add.", "",
            head, rule] + rows + [
            "",
            "A second start reads its files through a 1 MiB buffer per verifying thread (one per "
            "processor, at most four) and never makes a decoder, so its peak stays near the tiny "
            "launcher's whatever the application's size. A first start adds the decoder, whose "
            "buffer is the window the frame declares and its output blocks, and the reader's "
            "queue; the packer declares a window no larger than its jobs need (at most "
            f"{2 ** window / MIB:.0f} MiB), so neither grows with the application. The decoder "
            "drops the payload region's pages from the working set as it passes them, so that "
            "the region no longer counts in the peak either: a first start's working set beyond "
            "its private bytes stays near the tiny launcher's, where it was the whole region "
            "before.", "",
            f"In-process, reading the whole entry stream of the application raises the committed "
            f"private memory by {commit:.1f} MiB while the decoder lives (summed over "
            f"`VirtualQuery`'s committed private regions; {others}) and the working set by "
            f"{growth:.1f} MiB, for an entry stream of "
            f"{r.once('decompress', 'bytes') / MIB:.1f} MiB: the "
            f"decoder's buffer for the frame's window, {decoder:.1f} MiB "
            "(`ZSTD_decodingBufferSize_min` of the window its header declares), the reader's "
            f"queue, {queue:.1f} MiB, and the rest for the decoder's context, its input block and "
            "the decoder thread's stack. The buffer is committed at once but resident only as far "
            "as the decoder has written into it. Under Wine `PeakWorkingSetSize` is the kernel's "
            "high-water mark of the resident set, while `PeakPagefileUsage` is the resident "
            "anonymous memory of the moment, not the commit charge; on Windows expect a first "
            f"start's `PeakPagefileUsage` about {commit:.0f} MiB above the tiny launcher's, "
            "whatever the application's size.", ""]


def update_section(r):
    second = r.ms("update-second")
    return ["## Updates", "",
            "Version 2 of the application of about 600 MB differs from version 1 in its main "
            "program alone (the bare child with a line appended), "
            f"{r.once('update-changed', 'bytes') / 1000:.1f} KB. Both are packed at level 3. In "
            "each round (`tarnic-bench update-suite`): version 1's launcher puts its files back "
            "into `{TEMP}\\tarnic-bench\\update` (untimed) and starts again, a second start; "
            "version 2's launcher of the same target then starts over version 1's files; and "
            "version 2's launcher whose target spec ends in `\\{VERSION}` makes its first start "
            "into `versions\\2.0.0.0`, emptied before each, beside `versions\\1.0.0.0`, which "
            "version 1's launcher of that spec unpacked once before the rounds.", "",
            "| Figure (ms) | Median | Min | Max | Against the second start |",
            "|---|---|---|---|---|",
            spread_row(r, "Second start (version 1 in place)", "update-second"),
            spread_row(r, "Update in place (version 2 over version 1)", "update-in-place",
                       note=f"{r.ms('update-in-place') / second:.2f}"),
            spread_row(r, "First start of version 2 beside version 1", "update-new-version",
                       note=f"{r.ms('update-new-version') / second:.2f}"),
            "",
            f"After the rounds `du -sk` gives {r.once('update-disk', 'both_kib'):.0f} KiB for "
            f"both version folders together (a file linked into both counts once), "
            f"{r.once('update-disk', 'one_kib'):.0f} KiB for version 1's alone.", ""] + \
        versions_section(r)


def versions_section(r):
    if not r.has("versions-kept-first"):
        return []
    disk = lambda key: r.once("versions-disk", key)
    return ["Five versions of an application of 20 MiB of shared files (5 files), 5 MiB of files "
            "that each version changes (5 files) and a main program of each version's own that "
            "runs for a second, packed at level 3 (`tarnic-bench versions-suite`): each version's "
            "first start after the one before, into a folder of its own beside the others', by "
            "launchers with `keep_versions = 2` and by launchers that keep every version, the two "
            "taking turns at going first. A launcher that keeps two removes the older versions "
            "after its program has started and again when it has ended; its start is timed to "
            "the launcher's end.", "",
            "| Figure (ms) | Median | Min | Max | |",
            "|---|---|---|---|---|",
            spread_row(r, "First start of a new version, keeping two", "versions-kept-first"),
            spread_row(r, "First start of a new version, keeping every version",
                       "versions-all-first"), "",
            f"After the last round `du -sk` gives {disk('kept_kib'):.0f} KiB in "
            f"{disk('kept_folders'):.0f} folders for the versions that keep two and "
            f"{disk('all-kept_kib'):.0f} KiB in {disk('all-kept_folders'):.0f} folders for those "
            f"that keep every one; the shared files take {disk('shared_kib'):.0f} KiB, each "
            f"version's own files {disk('changed_kib'):.0f} KiB.", ""]


def window_section(r):
    if not r.has("window-first"):
        return []
    return ["## The progress window", "",
            "The application of about 600 MB in windowed launchers (`launcher = \"windowed\"`) "
            "into the launcher's target, on the virtual display (Xvfb) that bench/run starts for "
            "the whole run, so that the window shows as on a desktop (`tarnic-bench "
            "window-suite`): a first start with `progress_window = true` and one without it, "
            "taking turns at going first, then second starts of the first and of the baseline "
            "packer's windowed launcher (without a baseline, the one without the window).", "",
            "| Figure (ms) | Median | Min | Max | |", "|---|---|---|---|---|",
            spread_row(r, "First start with the progress window", "window-first"),
            spread_row(r, "First start without it", "window-none-first"),
            spread_row(r, "Second start with the progress window asked for", "window-second"),
            spread_row(r, "Second start of the baseline's windowed launcher",
                       "window-baseline-second"), ""]


def packer_section(r):
    source = r.once("input", "bytes")
    stream = r.once("decompress", "bytes")

    def speed(figure, size):
        return f"{size / MB / (r.median(figure) / 1e6):.1f} MB/s"

    def same(level):
        return "yes" if r.once(f"zstd-cli-{level}", "same_frame") == 1 else "**no**"

    region = r.once("region-default", "bytes")
    level3 = r.once("region-level3", "bytes")
    xz_tar = r.once("xz-tar", "bytes")
    xz_files = r.once("xz-files", "bytes")
    one_job = r.once("one-job", "bytes") + REGION_FRAMING_BYTES
    threads = Check("`--threads 2` against `--threads 1`",
                    r.median("pack-threads2") / 1e6, 0.6 * r.median("pack-threads1") / 1e6,
                    "0.6 x `--threads 1`", "s")
    growth = Check("Region against the frame as one job", region / 1000, 1.01 * one_job / 1000,
                   "1.01 x one job", "KB")
    same_region = "yes" if r.once("pack-threads1", "same_region") == 1 else "**no**"
    window = int(r.once("region-default", "window_log"))
    others = " and ".join(
        f"{mib(r, p + 'reader-memory', 'commit_growth_bytes'):.1f} MiB for "
        f"{lower_first(title)}" for p, title in APPLICATIONS[1:])
    cli = f"-T0 -B16M --zstd=wlog={window},ovlog=7"
    return ["## The packer", "",
            "`tarnic-pack region` on the same folder, timed on the host (wall time of the whole "
            "command), at the default level (19) with 1 and 2 threads, and at level 3 with the "
            "default threads (one for each processor). Beside it the machine's limit for the "
            "same work: the zstd command line compressing the entry stream with the packer's "
            "parameters, from standard input, so that it makes the same frame.", "",
            "| Compression | Median | Input throughput | Same frame |", "|---|---|---|---|",
            f"| `tarnic-pack --threads 1` | {r.median('pack-threads1') / 1e6:.2f} s | "
            f"{speed('pack-threads1', source)} | |",
            f"| `tarnic-pack --threads 2` | {r.median('pack-threads2') / 1e6:.2f} s | "
            f"{speed('pack-threads2', source)} | |",
            f"| `zstd -19 {cli} --long={window}` | "
            f"{r.median('zstd-cli-19') / 1e6:.2f} s | {speed('zstd-cli-19', stream)} | "
            f"{same(19)} |",
            f"| `tarnic-pack --level 3` | {r.median('pack-level3') / 1e6:.2f} s | "
            f"{speed('pack-level3', source)} | |",
            f"| `zstd -3 {cli}` | "
            f"{r.median('zstd-cli-3') / 1e6:.2f} s | {speed('zstd-cli-3', stream)} | "
            f"{same(3)} |",
            "",
            "| Figure | Measured | Target | |", "|---|---|---|---|",
            threads.row(), growth.row(), "",
            f"The regions of 1 and 2 threads are the same bytes: {same_region}. The packer cuts "
            "the entry stream into zstd jobs of 16 MiB, compressed each on a thread of its own, "
            "each reloading a share of the window before it (overlap log 7: 4 MiB at the default "
            "level, 8 MiB at level 3); at the default level long-distance matching reaches "
            f"across jobs within the window. The frame declares a window of 2^{window} bytes, "
            "what the launcher's decoder holds while it runs. \"One job\" is the frame the zstd "
            "command line makes with the library's own job size at this level (64 MiB, larger "
            "than the stream), as the packer did before it set its jobs, with the region's "
            "framing added.", "",
            "| Compressed size | Bytes | Against the region |", "|---|---|---|",
            f"| Region, default level | {region:.0f} | 1.00 |",
            f"| Region, default level, as one job | {one_job:.0f} | {one_job / region:.3f} |",
            f"| Region, level 3 | {level3:.0f} | {level3 / region:.2f} |",
            f"| `tar` of the folder piped to `xz -9` | {xz_tar:.0f} | {xz_tar / region:.2f} |",
            f"| `xz -9` of each file, summed | {xz_files:.0f} | {xz_files / region:.2f} |",
            ""] + giant_packer_rows(r) + baseline_region_rows(r)


def giant_packer_rows(r):
    source = r.once("giant-input", "bytes")
    out = ["The application of 1 GB at level 3, the same way:", "",
           "| Packer | `--threads 1` | `--threads 2` | Ratio |", "|---|---|---|---|"]
    for who, figure in (("This packer", "giant-pack"), ("Baseline", "baseline-giant-pack")):
        if r.has(figure + "-threads1"):
            one, two = r.median(figure + "-threads1") / 1e6, r.median(figure + "-threads2") / 1e6
            out.append(f"| {who} | {one:.2f} s ({source / MB / one:.0f} MB/s) | {two:.2f} s "
                       f"({source / MB / two:.0f} MB/s) | {two / one:.2f} |")
    return out + [""]


def baseline_region_rows(r):
    if not r.has("baseline-region", "bytes"):
        return []
    out = ["Regions against the baseline's, each application at the same level:", "",
           "| Application | Region | Baseline's | Ratio |", "|---|---|---|---|"]
    for p, figure in (("", "region-default"), ("large-", "large-region"),
                      ("huge-", "huge-region"), ("giant-", "giant-region")):
        if not r.has(figure, "bytes"):
            continue
        mine, theirs = r.once(figure, "bytes"), r.once(f"baseline-{p}region", "bytes")
        title = dict(LAUNCHED)[p]
        out.append(f"| {title} | {mine:.0f} | {theirs:.0f} | {mine / theirs:.4f} |")
    return out + [""]


def launcher_image_section(r):
    seconds = r.median("launcher-from-region") / 1e6
    added = r.once("launcher-added", "bytes")
    verdict = "met" if seconds < 1 else "**not met**"
    return ["## Writing a launcher", "",
            "`tarnic-pack launcher --region` on the region above: the packer verifies the region "
            "(decoding it once), then writes the launcher from the prebuilt image it carries, "
            "with the region, its entry table, the configuration strings and the resources "
            "(the project's icon of seven PNG images, the version block, the manifest).", "",
            "| Figure | Measured | Target | |", "|---|---|---|---|",
            f"| Writing the launcher from the region (median) | {seconds:.2f} s | under 1 s | "
            f"{verdict} |",
            f"| Bytes the launcher adds to its region | {added:.0f} ({added / 1000:.0f} KB) | "
            "200 KB or less | " + ("met" if added <= 200_000 else "**not met**") + " |",
            ""]


def analysis_section(r):
    out = ["## What holds the figures back", ""]
    for p, title in APPLICATIONS:
        found = {c.name: c for c in checks(r, p)}
        files = int(r.once(p + "input", "files"))
        second = found["Second start: launcher - tiny launcher"]
        opens = (r.ms(p + "profile-second", "create_file_us")
                 + r.ms(p + "profile-second", "close_us")
                 + r.ms(p + "profile-second", "file_size_us"))
        reads = r.ms(p + "profile-second", "read_file_us")
        crc = r.ms(p + "profile-second", "crc32_us")
        out.append(
            f"- **{title}, second start.** The launcher checks the {files} files against its "
            f"entry table on a thread per processor: opening and closing them take {opens:.1f} "
            f"ms of the threads' time (about {opens / files * 1000:.0f} us a file, each call a "
            f"round trip to the Wine server), reading them {reads:.1f} ms and crc32 {crc:.1f} "
            f"ms, against {r.ms(p + 'verify'):.1f} ms of wall time for the plain verification "
            f"through mappings on one thread, whose page faults cost more than the copy through "
            f"a buffer. The whole start adds {second.measured:.1f} ms to the tiny launcher's "
            f"({second_start(r, p, '-one'):.1f} ms with both on one processor)"
            + (", within its target." if second.met else ", above its target."))
        first = found["First start: launcher - tiny launcher"]
        inproc = found["First start's unpacking (in-process)"]
        out.append(
            f"- **{title}, first start.** Decoding ({r.ms(p + 'decompress'):.1f} ms alone) and "
            f"writing ({r.ms(p + 'write'):.1f} ms alone) overlap: the unpacking takes "
            f"{r.ms(p + 'unpack-first'):.1f} ms in-process"
            + (" (within" if inproc.met else " (above") + " its target) and "
            f"{first.measured:.1f} ms in the launcher"
            + (" (within its target)." if first.met else " (above its target)."))
    out.append("- **Not changeable from the launcher:** the decoder's speed (the same as the "
               f"native command line's {r.ms('native-decompress'):.1f} ms for the frame, its own "
               "start included), and Wine's process start, paid once for the launcher and once "
               "for the child. These are Wine's costs; the benchmark has not been run on "
               "Windows.")
    out.append("")
    return out


def commands_section(commands, machine):
    trees = machine.get("trees", "out/host and out/win")
    out = ["## Commands", "", "Everything above comes from one command:", "", "    bench/run", "",
           f"which builds both trees (`scripts/setup`, `scripts/build`; this run used {trees}), "
           "starts a persistent Wine server, assembles the folders in `out/bench/app`, "
           "`out/bench/large-app`, `out/bench/huge-app`, `out/bench/giant-app` and "
           "`out/bench/update-app` (version 2 of the third) and runs (the larger applications' "
           "figures prefixed with `large-`, `huge-` and `giant-` in `out/bench/results.tsv`):",
           ""]
    out += ["    " + line for line in commands if line.strip()]
    out += ["", "`BENCH_RUNS`, `BENCH_LARGE_RUNS` and `BENCH_PACKER_RUNS` set the number of runs "
            "(at least 5). `BENCH_BASELINE_PACK=<an earlier revision's "
            "out/host/packer/tarnic-pack>` packs every application with that packer too, which carries its revision's "
            "launchers, and starts those launchers in the same rounds"
            + (f" (this run: `{machine['baseline']}`)." if machine.get("baseline") else "."), ""]
    return out


# Measured once, with the executable filter and the entry order by kind that commit a568882 of
# this history built for the measurement; neither gained the 2 % of the region at the default
# level a step must gain to be kept, so this packer has neither and bench/run cannot measure them
# again: the section stands as it was measured.
SMALLER_REGIONS = """## Smaller regions: what was measured and not kept

An x86-64 branch-converting filter of the programs' and DLLs' code sections (relative `call`,
`jmp`, `jcc` and indirect `call`/`jmp` forms made absolute before compression and made relative
again while decoding), and the entries in order of kind (the main program first, then by
extension, then by name), measured on 2026-12-09 (06:58 to 08:24 UTC, load average 3 to 15) with
the packer of commit a568882, which has the filter (`--filter x86`); each application packed once
at each level on 2 threads, the kind order by the zstd command line with the packer's parameters
over the reordered entry stream. Gains are against the region as this packer writes it; the last
column is that region against `xz -9` of a `tar` of the same folder, the stand-in for the
installer toolkit's solid-LZMA executable (the toolkit itself is not built here).

| Application | Level | Region | Filter | Kind order | Both | Against `xz -9` |
|---|---|---|---|---|---|---|
| about 30 MB | 3 | 7.18 MB | +0.85% | +0.01% | +0.85% | 1.46 x |
| about 30 MB | 9 | 6.37 MB | +0.86% | +0.00% | +0.86% | 1.29 x |
| about 30 MB | 19 | 5.42 MB | +0.93% | +0.02% | +0.94% | 1.10 x |
| about 600 MB | 3 | 130.32 MB | -1.60% | +0.05% | -1.57% | not measured |
| about 600 MB | 9 | 109.01 MB | +0.02% | -0.08% | -0.06% | not measured |
| about 600 MB | 19 | 90.42 MB | +0.08% | not measured | not measured | not measured |

Only 9 % of the 30 MB application is code, and in the 600 MB one code shared by many DLLs
matches from file to file as long as its branches stay relative; `xz --x86` of the same tar does
no better than `xz -9` alone (4950272 against 4928300 bytes). Neither step gains the 2 % of the
region at the default level that would make it worth its code in every launcher and its time in
every first start, so the packer keeps the region's layout as it was. The gap to `xz -9` (1.10 x
at 30 MB) is the compressor's, not the branches'.

The default level stays 19. On the application of about 600 MB level 19 gave 90.42 MB; level 9
gives 21 % more bytes in 32 s and level 3 44 % more in 9 s, where level 19 took 443 to 1157 s on
the busy machine. The pack is paid once, on the packager's machine, while every user pays the
download, and a build that packs at every change can ask for a fast level (`--level`); level 22
gives under 1 % for half as much time again, so no level above 19 pays either.
"""


def smaller_regions_section():
    return SMALLER_REGIONS.split("\n")


def render(results, machine, commands):
    r = results
    out = ["# Performance", "",
           "Written by `bench/run`; run it again to bring the figures up to date. Times are "
           "medians in milliseconds unless marked otherwise; MB are 10^6 bytes, MiB 2^20.", ""]
    out += machine_section(machine)
    out += input_section(r)
    out += targets_section(r)
    out += unpacking_section(r)
    out += profile_section(r)
    out += launcher_section(r)
    out += memory_section(r)
    out += update_section(r)
    out += window_section(r)
    out += packer_section(r)
    out += smaller_regions_section()
    out += launcher_image_section(r)
    out += analysis_section(r)
    out += commands_section(commands, machine)
    return "\n".join(out)


def read_machine(lines):
    machine = {}
    for line in lines:
        key, _, value = line.rstrip("\n").partition("\t")
        if key:
            machine[key] = value
    return machine


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    with open(argv[1]) as f:
        results = Results(f)
    with open(argv[2]) as f:
        machine = read_machine(f)
    with open(argv[3]) as f:
        commands = f.read().splitlines()
    sys.stdout.write(render(results, machine, commands))


if __name__ == "__main__":
    main(sys.argv)
