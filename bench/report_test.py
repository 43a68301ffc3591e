"""Tests of the report's arithmetic and verdicts; bench/run runs them before it measures."""
import unittest

import report

# Every figure the report reads, as the benchmark programs and bench/run name them, with one
# value per round in microseconds (bytes and counts where the key says so).
TIMED = {
    "decompress": [100_000, 120_000, 110_000],
    "crc": [10_000, 10_000, 10_000],
    "write": [80_000, 90_000, 85_000],
    "unpack-first": [200_000, 210_000, 205_000],
    "unpack-second": [130_000, 140_000, 135_000],
    "native-decompress": [90_000] * 3,
    "bare-start": [50_000] * 3,
    "shell-start": [70_000] * 3,
    "tiny-first": [150_000] * 3,
    "tiny-second": [140_000] * 3,
    "launcher-first": [330_000] * 3,
    "launcher-second": [190_000] * 3,
    "pack-default": [10e6] * 3,
    "pack-level3": [0.5e6] * 3,
    "zstd-cli-19": [9e6] * 3,
    "zstd-cli-3": [0.4e6] * 3,
}
ONCE = {
    ("input", "bytes"): 30e6, ("input", "files"): 100,
    ("zstd-cli-19", "same_frame"): 1, ("zstd-cli-3", "same_frame"): 1,
    ("decompress", "bytes"): 30e6, ("region-default", "bytes"): 5e6,
    ("region-level3", "bytes"): 7e6, ("xz-tar", "bytes"): 4.5e6, ("xz-files", "bytes"): 6e6,
    ("unpack-memory", "commit_growth_bytes"): 135e6,
    ("unpack-memory", "working_set_growth_bytes"): 27e6,
}


def results_lines(timed=TIMED):
    lines = []
    for figure, values in timed.items():
        lines += [f"{figure}\t{i}\tmicroseconds\t{v}" for i, v in enumerate(values, 1)]
    lines += [f"{figure}\t1\t{key}\t{value}" for (figure, key), value in ONCE.items()]
    for figure in ("memory-first", "memory-second", "memory-tiny"):
        for key, value in (("peak_working_set_bytes", 50e6), ("peak_pagefile_bytes", 30e6),
                           ("read_after_end", 1)):
            lines.append(f"{figure}\t1\t{key}\t{value}")
    for figure in ("profile-first", "profile-second"):
        for key, _ in report.PROFILED_CALLS:
            lines += [f"{figure}\t1\t{key}_us\t1000", f"{figure}\t1\t{key}_calls\t10"]
        lines.append(f"{figure}\t1\ttotal_us\t200000")
    return lines


MACHINE = {"cpu": "Test CPU", "cores": "2", "runs": "3", "packer_runs": "3"}


class ResultsTest(unittest.TestCase):
    def test_median_is_taken_over_the_rounds_of_one_figure_and_key(self):
        r = report.Results(["a\t1\tmicroseconds\t3", "a\t2\tmicroseconds\t1",
                            "a\t3\tmicroseconds\t2", "a\t1\tbytes\t100",
                            "b\t1\tmicroseconds\t4", "b\t2\tmicroseconds\t6"])
        self.assertEqual(r.median("a"), 2)
        self.assertEqual(r.median("b"), 5)
        self.assertEqual(r.median("a", "bytes"), 100)

    def test_a_missing_figure_is_an_error_that_names_it(self):
        r = report.Results(["a\t1\tmicroseconds\t3"])
        with self.assertRaisesRegex(KeyError, "launcher-first microseconds"):
            r.median("launcher-first")

    def test_a_line_without_four_fields_is_refused(self):
        with self.assertRaisesRegex(ValueError, "line 2"):
            report.Results(["a\t1\tmicroseconds\t3", "a\t2\t3"])


class CheckTest(unittest.TestCase):
    def test_a_figure_at_its_limit_meets_the_target_and_one_above_does_not(self):
        self.assertTrue(report.Check("x", 120, 1.2, 100, "b").met)
        self.assertFalse(report.Check("x", 121, 1.2, 100, "b").met)
        self.assertAlmostEqual(report.Check("x", 121, 1.2, 100, "b").ratio, 1.21)

    def test_the_targets_use_their_own_baselines(self):
        found = {c.name: c for c in report.checks(report.Results(results_lines()))}
        # decompression 110 ms, crc 10 ms, writing 85 ms (medians)
        second = found["Second start's unpacking (in-process)"]
        self.assertAlmostEqual(second.baseline, 120)
        self.assertTrue(second.met)  # 135 <= 144
        first = found["First start's unpacking (in-process)"]
        self.assertAlmostEqual(first.baseline, 195)
        self.assertTrue(first.met)  # 205 <= 253.5

    def test_the_launcher_second_start_target_subtracts_the_bare_start_only(self):
        found = {c.name: c for c in report.checks(report.Results(results_lines()))}
        second = found["Launcher's second start - bare start"]
        self.assertAlmostEqual(second.measured, 140)  # 190 - 50
        self.assertTrue(second.met)  # 140 <= 144
        first = found["Launcher's first start"]
        self.assertAlmostEqual(first.measured, 330)
        self.assertFalse(first.met)  # 330 > 253.5


class RenderTest(unittest.TestCase):
    def test_every_verdict_reaches_the_document_beside_its_target(self):
        text = report.render(report.Results(results_lines()), MACHINE, ["bench/run"])
        self.assertIn("| Launcher's first start | 330.0 ms | 1.3 x (decompression + writing) = "
                      "253.5 ms | 1.69 x | **not met** |", text)
        self.assertIn("| Second start's unpacking (in-process) | 135.0 ms | 1.2 x "
                      "(decompression + CRC) = 144.0 ms | 1.12 x | met |", text)
        self.assertIn("| Test CPU |", text)
        self.assertIn("median of 3 runs", text)

    def test_the_profile_counts_what_the_timed_calls_leave_over(self):
        text = report.render(report.Results(results_lines()), MACHINE, [])
        # 200 ms in all, 1 ms in each of the ten calls
        self.assertIn("| Everything else (copies out of the window, entry loop, lock) | 190.0 | "
                      "190.0 |", text)


if __name__ == "__main__":
    unittest.main()
