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
    ("file_size", "GetFileSize"),
    ("create_mapping", "CreateFileMappingW"),
    ("map_view", "MapViewOfFile"),
    ("unmap_view", "UnmapViewOfFile"),
    ("close", "CloseHandle"),
    ("write_file", "WriteFile"),
    ("create_directory", "CreateDirectoryW"),
]


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


class Check:
    """A figure against its target: measured <= factor x baseline."""

    def __init__(self, name, measured, factor, baseline, baseline_name):
        self.name = name
        self.measured = measured
        self.factor = factor
        self.baseline = baseline
        self.baseline_name = baseline_name

    @property
    def ratio(self):
        return self.measured / self.baseline

    @property
    def met(self):
        return self.ratio <= self.factor

    def row(self):
        return (f"| {self.name} | {self.measured:.1f} ms | {self.factor} x {self.baseline_name} "
                f"= {self.factor * self.baseline:.1f} ms | {self.ratio:.2f} x | "
                f"{'met' if self.met else '**not met**'} |")


def checks(r):
    decode_crc = r.ms("decompress") + r.ms("crc")
    decode_write = r.ms("decompress") + r.ms("write")
    return [
        Check("Second start's unpacking (in-process)", r.ms("unpack-second"), 1.2, decode_crc,
              "(decompression + CRC)"),
        Check("First start's unpacking (in-process)", r.ms("unpack-first"), 1.3, decode_write,
              "(decompression + writing)"),
        Check("Launcher's second start - bare start", r.ms("launcher-second") - r.ms("bare-start"),
              1.2, decode_crc, "(decompression + CRC)"),
        Check("Launcher's first start", r.ms("launcher-first"), 1.3, decode_write,
              "(decompression + writing)"),
    ]


def spread_row(r, label, figure, throughput_bytes=None):
    values = [v / 1000 for v in r.all(figure)]
    speed = ""
    if throughput_bytes:
        speed = f"{throughput_bytes / MB / (statistics.median(values) / 1000):.0f} MB/s"
    return (f"| {label} | {statistics.median(values):.1f} | {min(values):.1f} | "
            f"{max(values):.1f} | {speed} |")


def machine_section(machine):
    rows = [("Processor", "cpu"), ("Cores", "cores"), ("Memory", "memory"), ("Kernel", "kernel"),
            ("Wine", "wine"), ("zstd command line", "zstd"), ("Date", "date"),
            ("Load average before / after", "load")]
    out = ["## Machine", "", "| | |", "|---|---|"]
    out += [f"| {label} | {machine.get(key, 'unknown')} |" for label, key in rows]
    out += ["", f"Every Windows figure is the median of {machine['runs']} runs, every packer "
            f"figure of {machine['packer_runs']}. The machine is shared with other work, so "
            "absolute figures vary between runs of the benchmark; the targets compare figures "
            "measured in the same run, and the rounds interleave the figures that are compared "
            "so that a busy moment falls on all of them alike.", ""]
    return out


def input_section(r):
    files = int(r.once("input", "files"))
    size = r.once("input", "bytes")
    return ["## The application", "",
            f"{files} files, {size / MB:.1f} MB: Wine's own 64-bit PE DLLs "
            "(`/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/*.dll` in name order, each taken "
            "while the total stays within 28 MiB), its fonts under `data\\fonts` and `wine.inf` "
            "under `data`, and as the main program `Bench-App.exe` "
            "(`bench/bare_child.cpp`), which returns at once. The entry stream is "
            f"{r.once('decompress', 'bytes') / MB:.1f} MB; the region at the default level is "
            f"{r.once('region-default', 'bytes') / MB:.2f} MB.", ""]


def targets_section(r):
    out = ["## Targets", "",
           "| Figure | Measured (median) | Target | Ratio to the baseline | |",
           "|---|---|---|---|---|"]
    out += [c.row() for c in checks(r)]
    out += ["", "Ratios are of the medians. The baselines, the machine's limits for the same "
            "work measured in the same run, are the in-process figures below: "
            "decompression of the same frame alone through a 131072-byte window (output dropped), "
            "crc32 of the same decompressed file data, and the same files written into an empty "
            "folder with plain `CreateFileW`/`WriteFile` (one call per file).", ""]
    return out


def unpacking_section(r):
    stream = r.once("decompress", "bytes")
    out = ["## Unpacking in-process", "",
           "A Windows program (`bench/unpack_bench.cpp`) links the launcher's payload code and "
           "runs `openPayloadRegion`, `unpackPayload` and `closePayload` on the region, read "
           "into memory before the clock starts, with the target directory below `%TEMP%`. "
           "Each measurement runs in a fresh process.", "",
           "| Figure (ms) | Median | Min | Max | Throughput of the stream |",
           "|---|---|---|---|---|",
           spread_row(r, "Decompression alone", "decompress", stream),
           spread_row(r, "crc32 of the file data", "crc", stream),
           spread_row(r, "Writing the files", "write", stream),
           spread_row(r, "First start's unpacking (empty target)", "unpack-first", stream),
           spread_row(r, "Second start's unpacking (all unchanged)", "unpack-second", stream),
           spread_row(r, "Native `zstd -d` of the frame (host, whole command)",
                      "native-decompress", stream),
           ""]
    return out


def profile_rows(r):
    rows = []
    for key, label in PROFILED_CALLS:
        cells = []
        for figure in ("profile-first", "profile-second"):
            ms = r.median(figure, key + "_us") / 1000
            calls = int(r.median(figure, key + "_calls"))
            cells.append(f"{ms:.1f} ({calls})" if calls else "-")
        rows.append(f"| `{label}` | {cells[0]} | {cells[1]} |")
    others = []
    for figure in ("profile-first", "profile-second"):
        inside = sum(r.median(figure, key + "_us") for key, _ in PROFILED_CALLS)
        others.append((r.median(figure, "total_us") - inside) / 1000)
    rows.append(f"| Everything else (copies out of the window, entry loop, lock) | "
                f"{others[0]:.1f} | {others[1]:.1f} |")
    rows.append(f"| **Total** | {r.ms('profile-first', 'total_us'):.1f} | "
                f"{r.ms('profile-second', 'total_us'):.1f} |")
    return rows


def profile_section(r):
    return ["## Where the unpacking's time goes", "",
            "The same unpacking in `tarnic-bench-profile`, which times every outside call the "
            "payload code makes: the decoder and crc32 through the linker's `--wrap`, the system "
            "calls through import pointers of its own. Medians in ms, with the number of calls; "
            "the timers add a little to each call.", "",
            "| Call | First start | Second start |", "|---|---|---|"] + profile_rows(r) + [""]


def launcher_section(r):
    bare, shell = r.ms("bare-start"), r.ms("shell-start")
    tiny1, tiny2 = r.ms("tiny-first"), r.ms("tiny-second")
    first, second = r.ms("launcher-first"), r.ms("launcher-second")
    return ["## The whole launcher under Wine", "",
            "Wall time from `CreateProcessW` to the end of the process, taken with "
            "`QueryPerformanceCounter` by a Windows program (`bench/launch_bench.cpp`), so that "
            "Wine's start of the measuring program is not counted. Standard handles on the null "
            "device; the launcher's target is `{TEMP}\\tarnic-bench\\launcher`, emptied before "
            "each first start. The tiny launcher carries the bare child alone. Min and max show "
            "the spread: a busy moment on the shared machine slows a run by tens of "
            "milliseconds.", "",
            "| Figure (ms) | Median | Min | Max | |", "|---|---|---|---|---|",
            spread_row(r, "Bare start of the child alone", "bare-start"),
            spread_row(r, "Bare start of the child importing shell32", "shell-start"),
            spread_row(r, "Tiny launcher, first start", "tiny-first"),
            spread_row(r, "Tiny launcher, second start", "tiny-second"),
            spread_row(r, "Launcher, first start", "launcher-first"),
            spread_row(r, "Launcher, second start", "launcher-second"),
            "",
            f"- A launcher's fixed cost, its own start as a process around the child's "
            f"(tiny launcher's second start - bare start): {tiny2 - bare:.1f} ms. A process with "
            f"the launcher's imports starts in {shell:.1f} ms, {shell - bare:.1f} ms more than "
            f"the bare child, for loading shell32 and what it loads; the rest, "
            f"{tiny2 - bare - shell:.1f} ms, is the launcher's own work around the child "
            f"(expansion, lock, one entry, `CreateProcessW`). A tiny first start adds "
            f"{tiny1 - tiny2:.1f} ms.",
            f"- The application's unpacking inside the launcher (launcher - tiny launcher): "
            f"first start {first - tiny1:.1f} ms, second start {second - tiny2:.1f} ms, against "
            f"{r.ms('unpack-first'):.1f} and {r.ms('unpack-second'):.1f} ms in-process.", ""]


def memory_section(r):
    def mib(figure, key):
        return r.median(figure, key) / MIB

    after_end = all(v == 1 for f in ("memory-first", "memory-second", "memory-tiny")
                    for v in r.all(f, "read_after_end"))
    rows = [f"| {label} | {mib(f, 'peak_working_set_bytes'):.1f} | "
            f"{mib(f, 'peak_pagefile_bytes'):.1f} |"
            for label, f in (("Launcher, first start", "memory-first"),
                             ("Launcher, second start", "memory-second"),
                             ("Tiny launcher, second start", "memory-tiny"))]
    commit = mib("unpack-memory", "commit_growth_bytes")
    growth = mib("unpack-memory", "working_set_growth_bytes")
    extra = mib("memory-first", "peak_working_set_bytes") - mib("memory-tiny",
                                                                 "peak_working_set_bytes")
    return ["## Peak memory of the launcher", "",
            "`GetProcessMemoryInfo` on the launcher's handle, read every millisecond while it runs "
            "and once more after it ended" + (" (the last reading succeeded in every run)"
                                              if after_end else "") +
            "; the largest readings, in MiB:", "",
            "| Launcher | PeakWorkingSetSize | PeakPagefileUsage |", "|---|---|---|"] + rows + [
            "",
            f"The launcher's peak working set exceeds the tiny launcher's by {extra:.1f} MiB, "
            f"about the entry stream's {r.once('decompress', 'bytes') / MIB:.1f} MiB, which pass "
            f"through the decoder's buffer, plus the region's "
            f"{r.once('region-default', 'bytes') / MIB:.1f} MiB read from the image.", "",
            f"In-process, the payload code's unpacking raises the committed private memory by "
            f"{commit:.1f} MiB while the decoder lives (summed over `VirtualQuery`'s committed "
            f"private regions) and its working set by {growth:.1f} MiB, for an entry stream of "
            f"{r.once('decompress', 'bytes') / MIB:.1f} MiB.", "",
            "The difference: the decoder's first call allocates a buffer of the frame's window, "
            "128 MiB plus a block, and the reader adds its 128 KiB window. That buffer is "
            "committed at once, so on Windows it counts in full in the commit charge that "
            "`PeakPagefileUsage` reports, but a page becomes resident only when the decoder first "
            "writes it. The decoder fills its buffer from the start and wraps only after 128 MiB "
            "of output, so an entry stream smaller than the window touches as much of it as the "
            "stream is long: the working set grows by about the stream's size plus the pages of "
            "the compressed region that were read, not by the window. Under Wine both counters "
            "come from Linux: `PeakWorkingSetSize` is the kernel's high-water mark of the "
            "resident set (`VmHWM`), while `PeakPagefileUsage` is the resident anonymous memory "
            "of the moment (`RssAnon`), not the commit charge, which is why it stays far below "
            "128 MiB here; the `VirtualQuery` figure above is the commit that Windows would "
            f"charge, so on Windows expect a `PeakPagefileUsage` about {commit:.0f} MiB above the "
            "tiny launcher's.", ""]


def packer_section(r, machine):
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
    return ["## The packer", "",
            f"`tarnic-pack region` on the same folder, timed on the host (wall time of the whole "
            f"command), at the default (level 19, {machine['cores']} threads) and at level 3. "
            "Beside it the machine's limit for the same work: the zstd command line compressing "
            "the entry stream with the packer's parameters, from standard input, so that it "
            "makes the same frame.", "",
            "| Compression | Median | Input throughput | Same frame |", "|---|---|---|---|",
            f"| `tarnic-pack`, default | {r.median('pack-default') / 1e6:.2f} s | "
            f"{speed('pack-default', source)} | |",
            f"| `zstd -19 --zstd=wlog=27 -T0` | {r.median('zstd-cli-19') / 1e6:.2f} s | "
            f"{speed('zstd-cli-19', stream)} | {same(19)} |",
            f"| `tarnic-pack --level 3` | {r.median('pack-level3') / 1e6:.2f} s | "
            f"{speed('pack-level3', source)} | |",
            f"| `zstd -3 --zstd=wlog=27 -T0` | {r.median('zstd-cli-3') / 1e6:.2f} s | "
            f"{speed('zstd-cli-3', stream)} | {same(3)} |",
            "",
            "| Compressed size | Bytes | Against the region |", "|---|---|---|",
            f"| Region, default level | {region:.0f} | 1.00 |",
            f"| Region, level 3 | {level3:.0f} | {level3 / region:.2f} |",
            f"| `tar` of the folder piped to `xz -9` | {xz_tar:.0f} | {xz_tar / region:.2f} |",
            f"| `xz -9` of each file, summed | {xz_files:.0f} | {xz_files / region:.2f} |",
            "",
            "With the frame's 128 MiB window zstd cuts its input into jobs of 64 MiB at level 19 "
            "(which then matches over long distances) and of 512 MiB at level 3, both larger "
            "than this folder: the frame is compressed on one thread whatever the thread count, "
            "and the packer's speed is one core's.", ""]


def analysis_section(r):
    found = {c.name: c for c in checks(r)}
    second = r.ms("profile-second", "total_us")
    decoder = r.ms("profile-second", "decoder_us")
    mapping = sum(r.ms("profile-second", k + "_us")
                  for k in ("file_size", "create_mapping", "map_view", "unmap_view"))
    opens = r.ms("profile-second", "create_file_us") + r.ms("profile-second", "close_us")
    crc_mapped = r.ms("profile-second", "crc32_us")
    files = int(r.once("input", "files"))
    bare, shell = r.ms("bare-start"), r.ms("shell-start")
    fixed = r.ms("tiny-second") - bare
    out = ["## What holds the figures back", ""]
    out.append(
        f"- **Decompression is the floor.** The decoder alone takes {r.ms('decompress'):.1f} ms "
        f"for the stream ({decoder:.1f} ms of the profiled second start's {second:.1f} ms); "
        f"the native command line needs {r.ms('native-decompress'):.1f} ms for the same frame, "
        "its own start included, so Wine costs the decoder nothing: this processor decodes this "
        "frame no faster.")
    out.append(
        f"- **Second start: the reuse check's system calls.** For {files} unchanged files, "
        f"`GetFileSize` and the mapping calls (`CreateFileMappingW`, `MapViewOfFile`, "
        f"`UnmapViewOfFile`) take {mapping:.1f} ms and opening and closing the files and the "
        f"mappings {opens:.1f} ms, about {(mapping + opens) / files * 1000:.0f} us a file: each "
        "is a round trip to the Wine server and, for the views, an mmap/munmap. crc32 over "
        f"the mapped views takes {crc_mapped:.1f} ms against {r.ms('crc'):.1f} ms over the same "
        "bytes in memory: the difference is the page faults that bring the files' cached pages "
        "into the mapping."
        + ("" if found["Second start's unpacking (in-process)"].met else
           " Together they are what puts the second start above its target."))
    writes = int(r.median("profile-first", "write_file_calls"))
    first_met = found["First start's unpacking (in-process)"].met
    out.append(
        f"- **First start.** Beyond the plain writer's work it pays an existence check (one "
        f"failing `CreateFileW` a file), {writes} `WriteFile` calls of at most 32 KiB instead "
        f"of {files} (together {r.ms('profile-first', 'write_file_us'):.1f} ms), and a crc32 "
        f"of the data written ({r.ms('profile-first', 'crc32_us'):.1f} ms), which checks what "
        "reaches the disk against the stored checksum. "
        + ("It stays within its target." if first_met else "Together they exceed its target."))
    out.append(
        f"- **The whole launcher.** A start under Wine costs {bare:.1f} ms for the bare child "
        f"alone, and a launcher adds its own start as a process around it: {fixed:.1f} ms "
        f"measured with the tiny launcher, before any unpacking, of which {shell:.1f} ms is "
        "what any process with the launcher's imports (shell32) takes to start. The "
        "second-start target subtracts the child's start but not the launcher's own; the "
        "first-start target subtracts neither, so with a stream that decodes in "
        f"{r.ms('decompress'):.0f} ms the process starts alone take up a large part of the "
        "budget. These are Wine's costs; the benchmark has not been run on Windows.")
    out.append("")
    return out


# One-off measurements made with scratch copies of the launcher's code: bench/run does not
# repeat them, so they keep the date and the conditions they were taken under.
EXPERIMENTS = """## Changes tried in scratch copies

Not part of the launcher and not repeated by `bench/run`: the same benchmark programs linked
against a changed copy of `payload/unpack.cpp`, alternating with the unchanged code round by
round, on 2026-12-07 with the machine's load average near 1 (7 to 11 rounds each).

- **Reading existing files with `ReadFile` instead of mapping them** (the change worth making).
  The reuse check opens the file as now, reads it to its end through a 32 KiB buffer into
  crc32 and closes it: no `GetFileSize`, no mapping, no view. The second start's unpacking fell
  from 210 to 161 ms (1.64 x to 1.28 x decompression + CRC); in the profile the mapping calls
  and the mapping's `CloseHandle` (about 33 ms) and the page faults under crc32 over the views
  (about 21 ms) gave way to about 10 ms of `ReadFile`. A 1 MiB buffer gave the same (154
  against 153 ms). The first start does not change. What is left above the target is one
  `CreateFileW`, one `CloseHandle` and the reads per file, about 0.25 ms a file under Wine,
  which the 20 % margin does not cover for 104 files. Costs: one copy of each unchanged file
  through the buffer, which a mapping avoids and which on Windows may make the gain smaller;
  and an empty existing file would count as unchanged instead of being re-created on every
  start, which is harmless (its stored checksum matches) but differs from the current rule.
- **Loading shell32 at start** costs every launcher start what the child importing shell32
  takes beyond the bare child above (34 to 40 ms in the runs made while writing this). The
  launcher needs it for `SHGetFolderPathW` ({CACHE_DIR}, {HOME}) and `CommandLineToArgvW`, so a
  start with the shipped target spec cannot avoid it: not worth changing.
- **Not changeable from the launcher:** the decoder's speed (the same as native), and Wine's
  process start, which is paid once for the launcher and once for the child.
"""


def commands_section(commands, machine):
    trees = machine.get("trees", "out/host and out/win")
    out = ["## Commands", "", "Everything above comes from one command:", "", "    bench/run", "",
           f"which builds both trees (`scripts/setup`, `scripts/build`; this run used {trees}), "
           "starts a persistent Wine server, assembles the folder in `out/bench/app` and runs:",
           ""]
    out += ["    " + line for line in commands if line.strip()]
    out += ["", "`BENCH_RUNS` and `BENCH_PACKER_RUNS` set the number of runs (at least 5).", ""]
    return out


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
    out += packer_section(r, machine)
    out += analysis_section(r)
    out += [EXPERIMENTS]
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
