#!/usr/bin/env python3
"""Recording at the full rate, end to end: the real program records four channels of
playback (the recorder simulator at 4 x 30 pictures per second) for a while, then the
REC button ends the recording; every file is checked.

Telvane4 runs on a private Xvfb display with private settings, data and runtime
folders, against the simulator on 127.0.0.1; it connects and plays the archive
forwards by itself, and xdotool clicks REC as an operator does. For each "Record
Duration" step asked for (4 = 15 s, the default; 13 = 60 s) it prints:
  - pictures drawn while recording (captured + dropped, from the program's
    statistics line) against pictures in the files (ffprobe -count_frames);
  - the program's RSS before REC, at its peak while recording, and after;
  - every file read by ffprobe and decoded by ffmpeg without a word, then deleted.
Exits 1 when a picture captured is missing from the files, a picture was dropped, a
file is broken or left unfinished, a message box was shown, or the RSS rose by more
than --rss-limit MB.

Usage: bench/record-e2e.py [--seconds S] [--steps 4,13] [--build DIR] [--rss-limit MB]
"""

import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import soak  # noqa: E402  (the soak's display, click and statistics helpers)

SEGMENT_SECONDS = {1: 3, 2: 5, 3: 10, 4: 15, 5: 20, 6: 25, 7: 30, 8: 35, 9: 40, 10: 45,
                   11: 50, 12: 55, 13: 60}


class RecordRun(soak.Soak):
    def __init__(self, args, step):
        super().__init__(argparse.Namespace(seed=1, keep=None, **vars(args)))
        self.step = step

    def start_simulator(self, options):
        out = open(os.path.join(self.work, "sim.out"), "a")
        self.sim = subprocess.Popen(
            [self.bin("telvane-recorder-sim"), "--listen", "127.0.0.1", "--port",
             str(self.port), "--fps", "120", "--log", os.path.join(self.work, "sim.log")]
            + options, stdout=out, stderr=open(os.path.join(self.work, "sim.err"), "a"))

    def start_client(self):
        super().start_client(f"Record%20Duration={self.step}\n",
                             {"TELVANE_AUTOCONNECT": "1", "TELVANE_AUTOPLAY": "1"})

    def wait(self, cond, seconds):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            if cond():
                return True
            time.sleep(0.2)
        return False

    def rss_mb(self):
        return soak.rss_kb(self.client.pid) / 1024

    def record(self):
        a = self.args
        self.build = os.path.abspath(os.path.join(soak.ROOT, a.build))
        self.port = soak.free_port()
        self.start_xvfb()
        self.start_simulator([])
        time.sleep(0.5)
        self.start_client()
        name = f"{SEGMENT_SECONDS[self.step]}-s segments"
        if not self.wait(lambda: self.stats().get("archive") == 1 and
                         sum(self.stats().get("playback", [0])) > 200, 30):
            return self.fail(f"{name}: the program did not play the archive")
        time.sleep(3)
        before = self.rss_mb()
        played0 = sum(self.stats()["playback"])
        t_rec = time.monotonic()
        if not self.click(soak.ARCHIVE_SIZE, soak.ARCHIVE["record"]):
            return self.fail(f"{name}: no archive window to click")
        if not self.wait(lambda: self.stats().get("recorded", [0])[0] > 0, 5):
            return self.fail(f"{name}: REC did not start a recording")
        t0 = time.monotonic()
        peak = before
        while time.monotonic() - t0 < a.seconds:
            peak = max(peak, self.rss_mb())
            time.sleep(0.25)
        t1 = time.monotonic()
        self.click(soak.ARCHIVE_SIZE, soak.ARCHIVE["record"])  # playing forwards: stops
        recorded = time.monotonic() - t0
        print(f"  (the clicks took {t0 - t_rec:.1f} s and {time.monotonic() - t1:.1f} s)")
        time.sleep(1.5)  # a statistics line after the click
        if not self.wait(lambda: self.stats().get("recorded", [0, 0, 1])[2] == 0 and
                         not any(n.endswith(".part") for n in os.listdir(self.record_dir)), 120):
            self.fail(f"{name}: the last file was not finished within 120 s")
        peak = max(peak, self.rss_mb())
        time.sleep(3)
        after = self.rss_mb()
        s = self.stats()
        captured, dropped = s["recorded"][0], s["recorded"][1]
        played = sum(s["playback"]) - played0
        self.check_files()
        in_files = self.files["frames"]
        boxes = [line for line in soak.read(os.path.join(self.work, "client.err")).splitlines()
                 if line.startswith("MESSAGEBOX")]
        print(f"{name}, recorded {recorded:.1f} s: pictures drawn while recording "
              f"{captured + dropped} (captured {captured}, dropped {dropped}), in "
              f"{self.files['avi']} files {in_files} ({self.files['bytes'] / 2**20:.0f} MiB), "
              f"{self.files['broken']} broken; playback pictures over the run {played}")
        print(f"  RSS before REC {before:.1f} MB, peak {peak:.1f} MB (+{peak - before:.1f}), "
              f"after {after:.1f} MB (+{after - before:.1f})")
        if in_files != captured:
            self.fail(f"{name}: {captured} pictures captured, {in_files} in the files")
        if dropped:
            self.fail(f"{name}: {dropped} pictures dropped")
        if boxes:
            self.fail(f"{name}: message boxes: {boxes[:3]}")
        if peak - before > a.rss_limit:
            self.fail(f"{name}: RSS rose by {peak - before:.1f} MB (limit {a.rss_limit} MB)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=65, help="how long to record")
    parser.add_argument("--steps", default="4,13", help="\"Record Duration\" steps to run")
    parser.add_argument("--build", default="build", help="built tree holding bin/")
    parser.add_argument("--rss-limit", type=float, default=64,
                        help="MB the RSS may rise by while recording")
    args = parser.parse_args()
    failures = []
    for step in [int(x) for x in args.steps.split(",")]:
        run = RecordRun(args, step)
        try:
            run.record()
        finally:
            run.cleanup()
        failures += run.failures
    print("PASSED" if not failures else f"FAILED: {len(failures)} failure(s)")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
