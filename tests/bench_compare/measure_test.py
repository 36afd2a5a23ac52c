#!/usr/bin/env python3
"""picrelink-measure must report a child's own peak memory, not the peak of the process that
started the measurement, and pass on its exit status. PICRELINK_MEASURE names the program."""

import os
import re
import subprocess
import sys
import tempfile
import unittest

MEASURE = os.environ.get("PICRELINK_MEASURE")
REPORT = re.compile(r"status=(\d+) seconds=([0-9.]+) maxrss_kb=(\d+) launcher_kb=(-?\d+)")


def measure(argv):
    """(launcher's exit status, parsed report or None)."""
    with tempfile.TemporaryDirectory() as folder:
        report = os.path.join(folder, "report.txt")
        done = subprocess.run([MEASURE, report] + argv, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
        if not os.path.exists(report):
            return done.returncode, None
        with open(report, encoding="ascii") as f:
            match = REPORT.fullmatch(f.read().strip())
    return done.returncode, match


@unittest.skipUnless(MEASURE, "PICRELINK_MEASURE names no picrelink-measure")
class MeasureTest(unittest.TestCase):
    def test_peak_is_the_childs_own_even_from_a_large_parent(self):
        ballast = b"x" * (300 << 20)  # this process is now far larger than the child
        status, match = measure(["true"])
        self.assertEqual(status, 0)
        self.assertLess(int(match.group(3)), 50 << 10)
        self.assertLess(int(match.group(4)), 50 << 10)
        del ballast

    def test_peak_covers_what_the_child_touches(self):
        status, match = measure([sys.executable, "-c", "b = b'x' * (120 << 20)"])
        self.assertEqual(status, 0)
        self.assertGreaterEqual(int(match.group(3)), 120 << 10)
        self.assertLess(int(match.group(3)), 200 << 10)

    def test_times_the_child(self):
        status, match = measure(["sleep", "0.3"])
        self.assertEqual(status, 0)
        self.assertGreaterEqual(float(match.group(2)), 0.3)
        self.assertLess(float(match.group(2)), 5.0)

    def test_passes_on_how_the_child_ended(self):
        cases = [(["sh", "-c", "exit 3"], 3), (["sh", "-c", "kill -9 $$"], 128 + 9)]
        for argv, expected in cases:
            with self.subTest(argv=argv):
                status, match = measure(argv)
                self.assertEqual(status, expected)
                self.assertEqual(int(match.group(1)), expected)

    def test_a_program_that_cannot_start_leaves_no_report(self):
        self.assertEqual(measure(["/nonexistent/program"]), (127, None))


if __name__ == "__main__":
    unittest.main()
