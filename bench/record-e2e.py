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
  - the files' durations (ffprobe) added up against the time recorded, and the
    pictures a second in them (at most 60: one picture a 1/60 s sample);
  - the size of the files, and per minute recorded;
  - the program's CPU while recording against playback alone just before REC;
  - the program's RSS before REC, at its peak while recording, and after;
  - every file read by ffprobe and decoded by ffmpeg without a word, then deleted.
--format chooses the "Record Format" (RAW, the default, or MJPEG).
Exits 1 when a picture captured is missing from the files, a picture was dropped, a
file is broken or left unfinished, the durations miss the time recorded by more than
1 s, a message box was shown, or the RSS rose by more than --rss-limit MB.

Usage: bench/record-e2e.py [--seconds S] [--steps 4,13] [--format RAW|MJPEG] [--build DIR]
                           [--rss-limit MB]
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
        super().__init__(argparse.Namespace(seed=1, keep=None, recorders=1, **vars(args)))
        self.step = step

    def start_simulator(self, options):
        out = open(os.path.join(self.work, "sim.out"), "a")
        self.sim = subprocess.Popen(
            [self.bin("telvane-recorder-sim"), "--listen", "127.0.0.1", "--port",
             str(self.port), "--fps", "120", "--log", os.path.join(self.work, "sim.log")]
            + options, stdout=out, stderr=open(os.path.join(self.work, "sim.err"), "a"))
        self.sims[1] = self.sim  # ended with the rest

    def start_client(self):
        super().start_client(f"Record%20Duration={self.step}\n"
                             f"Record%20Format={self.args.format}\n",
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

    def cpu_s(self):
        """CPU seconds the program has used (user + system, all its threads)."""
        with open(f"/proc/{self.client.pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def check_files(self, final=True):
        # The durations before the checked files are deleted.
        self.durations = getattr(self, "durations", [])
        for name in sorted(os.listdir(self.record_dir)):
            if name.endswith(".avi") and name not in self.checked:
                # The last picture's sample + 1, in 1/60 s (the header's length).
                probe = subprocess.run(
                    ["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                     "packet=pts", "-of", "csv=p=0", os.path.join(self.record_dir, name)],
                    capture_output=True, text=True)
                pts = [int(x) for x in probe.stdout.split() if x.strip().isdigit()]
                if pts:
                    self.durations.append((max(pts) + 1) / 60)
        super().check_files(final)

    def record(self):
        a = self.args
        self.build = os.path.abspath(os.path.join(soak.ROOT, a.build))
        self.port = soak.free_port()
        self.ports = {1: self.port}
        self.start_xvfb()
        self.start_simulator([])
        time.sleep(0.5)
        self.start_client()
        name = f"{SEGMENT_SECONDS[self.step]}-s segments"
        if not self.wait(lambda: self.stats().get("archive") == 1 and
                         sum(self.stats().get("playback", [0])) > 200, 30):
            return self.fail(f"{name}: the program did not play the archive")
        time.sleep(3)
        # Playback alone, for the CPU ratio.
        c0, w0 = self.cpu_s(), time.monotonic()
        time.sleep(8)
        play_cpu = (self.cpu_s() - c0) / (time.monotonic() - w0)
        before = self.rss_mb()
        played0 = sum(self.stats()["playback"])
        t_rec = time.monotonic()
        if not self.click(soak.ARCHIVE_SIZE, soak.ARCHIVE["record"]):
            return self.fail(f"{name}: no archive window to click")
        if not self.wait(lambda: self.stats().get("recorded", [0])[0] > 0, 5):
            return self.fail(f"{name}: REC did not start a recording")
        t0 = time.monotonic()
        c0 = self.cpu_s()
        peak = before
        while time.monotonic() - t0 < a.seconds:
            peak = max(peak, self.rss_mb())
            time.sleep(0.25)
        t1 = time.monotonic()
        rec_cpu = (self.cpu_s() - c0) / (t1 - t0)
        self.click(soak.ARCHIVE_SIZE, soak.ARCHIVE["record"])  # playing forwards: stops
        recorded = time.monotonic() - t0
        # From the REC click to the end of the stop click: the recording lies within.
        span = time.monotonic() - t_rec
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
        total = sum(self.durations)
        print(f"  {a.format}: file durations add up to {total:.2f} s (REC click to stop click "
              f"{span:.2f} s, {recorded:.2f} s from the first capture seen); "
              f"{in_files / max(total, 0.001):.1f} pictures a second; "
              f"{self.files['bytes'] / 2**20 / max(total, 0.001) * 60:.0f} MiB a minute")
        print(f"  CPU: playback alone {play_cpu * 100:.0f} %, while recording "
              f"{rec_cpu * 100:.0f} % of one core (ratio {rec_cpu / max(play_cpu, 1e-6):.2f})")
        if not (recorded - 1 <= total <= span + 1):
            self.fail(f"{name}: the files last {total:.2f} s, recorded {recorded:.2f} s")
        if in_files > total * 60 + len(self.durations):
            self.fail(f"{name}: {in_files} pictures in {total:.2f} s, more than 60 a second")
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
    parser.add_argument("--format", default="RAW", choices=["RAW", "MJPEG"],
                        help="\"Record Format\" of the recording")
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
