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
--channels has the simulator draw each picture's code (--picture-code) and log the
codes it sends; every file's pictures are decoded and each quad cell's code read, and
for each channel every picture sent between the first and the last of its pictures
found in the files must be in the files (a picture replaced within its 1/60 s sample by
the next of its channel is missing).
--zoom N wheels the first quad cell N notches in (1.25x each) before REC, so the
recording holds a zoomed cell.
--format chooses the "Record Format" (RAW, the default, or MJPEG). --psnr (RAW only) also
writes the first pictures of the first file as MJPEG, through the program's own encoder
and writer (build/bin/bench_avi), and prints their mean PSNR against the uncompressed
pictures and the two sizes.
Exits 1 when a picture captured is missing from the files, a picture was dropped, a
file is broken or left unfinished, the durations miss the time recorded by more than
1 s, a message box was shown, or the RSS rose by more than --rss-limit MB.

Usage: bench/record-e2e.py [--seconds S] [--steps 4,13] [--format RAW|MJPEG] [--build DIR]
                           [--rss-limit MB] [--psnr] [--channels] [--camera [DIR]] [--zoom N]
"""

import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import soak  # noqa: E402  (the soak's display, click and statistics helpers)

PICTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pictures")  # bench/pictures
# The centre of the first quad cell of the archive window (picture area (62, 22), 640 x 480).
CELL_1 = (62 + 160, 22 + 120)
SEGMENT_SECONDS = {1: 3, 2: 5, 3: 10, 4: 15, 5: 20, 6: 25, 7: 30, 8: 35, 9: 40, 10: 45,
                   11: 50, 12: 55, 13: 60}


class RecordRun(soak.Soak):
    def __init__(self, args, step):
        super().__init__(argparse.Namespace(seed=1, keep=None, recorders=1, **vars(args)))
        self.step = step
        self.codes = {c: set() for c in range(4)}
        self.unreadable = 0

    def start_simulator(self, options):
        out = open(os.path.join(self.work, "sim.out"), "a")
        self.sim = subprocess.Popen(
            [self.bin("telvane-recorder-sim"), "--listen", "127.0.0.1", "--port",
             str(self.port), "--fps", "120", "--log", os.path.join(self.work, "sim.log")]
            + (["--picture-code", "--send-log", os.path.join(self.work, "sim.sent")]
               if self.args.channels else [])
            + (["--camera-pictures", self.args.camera] if self.args.camera else [])
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

    # Quad cells of the 640 x 480 picture area (left, top, width, height), channels 1-4,
    # and the crop of a 704 x 240 field (left, top, width, height) drawn into each.
    CELLS = [(1, 1), (321, 1), (1, 241), (321, 241)]
    CELL_SIZE, FIELD_CROP = (318, 238), (9, 8, 677, 231)

    def read_codes(self, path):
        """Adds the picture codes of every cell of every picture of the file to
        self.codes[channel]; counts the cells without a readable code."""
        w, h = 640, 480
        cw, ch = self.CELL_SIZE
        fx, fy, fw, fh = self.FIELD_CROP
        # Block i's centre in the 704 x 240 field, then in the cell.
        points = [(int((14 + 42 * i + 19 - fx) * cw / fw), int((240 - 32 - fy) * ch / fh))
                  for i in range(16)]
        ffmpeg = subprocess.Popen(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo",
                                   "-pix_fmt", "rgb24", "-"], stdout=subprocess.PIPE)
        while True:
            frame = ffmpeg.stdout.read(w * h * 3)
            if len(frame) < w * h * 3:
                break
            for channel, (cx, cy) in enumerate(self.CELLS):
                bits = []
                for px, py in points:
                    o = ((cy + py) * w + cx + px) * 3
                    bits.append(frame[o] + frame[o + 1] + frame[o + 2] > 384)
                if bits[0] and not bits[15]:
                    self.codes[channel].add(int("".join("1" if b else "0" for b in bits[1:15]), 2))
                else:
                    self.unreadable += 1
        ffmpeg.wait()

    def check_channels(self):
        """Every picture the simulator sent of a channel, between the first and the last
        of that channel's pictures found in the files, is in the files."""
        sent = {c: [] for c in range(4)}
        for line in soak.read(os.path.join(self.work, "sim.sent")).splitlines():
            parts = line.split()
            if len(parts) == 3 and int(parts[1]) >= 0x800000 and 1 <= int(parts[2]) <= 4:
                codes = sent[int(parts[2]) - 1]
                code = int(parts[1]) - 0x800000
                if not codes or codes[-1] != code:
                    codes.append(code)
        report = []
        for c in range(4):
            found = [i for i, code in enumerate(sent[c]) if code in self.codes[c]]
            if not found:
                self.fail(f"channel {c + 1}: none of its pictures found in the files")
                continue
            span = sent[c][found[0]:found[-1] + 1]
            missing = [code for code in span if code not in self.codes[c]]
            report.append(f"CH{c + 1} {len(span) - len(missing)}/{len(span)}")
            if missing:
                self.fail(f"channel {c + 1}: {len(missing)} of {len(span)} pictures sent are not "
                          f"in the files (codes {missing[:8]})")
        print(f"  pictures per channel in the files / sent meanwhile: {', '.join(report)}; "
              f"cells without a readable code {self.unreadable}")

    def check_files(self, final=True):
        # The durations before the checked files are deleted.
        self.durations = getattr(self, "durations", [])
        for name in sorted(os.listdir(self.record_dir)):
            if name.endswith(".avi") and name not in self.checked:
                if self.args.channels:
                    self.read_codes(os.path.join(self.record_dir, name))
                # The last picture's sample + 1, in 1/60 s (the header's length).
                probe = subprocess.run(
                    ["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                     "packet=pts", "-of", "csv=p=0", os.path.join(self.record_dir, name)],
                    capture_output=True, text=True)
                pts = [int(x) for x in probe.stdout.split() if x.strip().isdigit()]
                if pts:
                    self.durations.append((max(pts) + 1) / 60)
                if self.args.psnr and not getattr(self, "psnr_done", False):
                    self.psnr_done = True
                    out = subprocess.run(
                        [self.bin("bench_avi")], capture_output=True, text=True,
                        env=dict(os.environ, TELVANE_BENCH_MJPEG_FROM=os.path.join(
                            self.record_dir, name)))
                    for line in (out.stdout + out.stderr).splitlines():
                        print(f"  {name}: {line}")
                        if "mean PSNR" in line and "PSNR ? dB" in line:
                            self.fail("no PSNR for the recorded pictures")
        super().check_files(final)

    def wheel(self, size, point, notches):
        """Wheel notches in over a point of the window, as the operator zooms a cell."""
        origin = self.window(size)
        if origin is None:
            return False
        soak.xdo(self.display, "mousemove", "--sync", str(origin[0] + point[0]),
                 str(origin[1] + point[1]))
        soak.xdo(self.display, "click", "--repeat", str(notches), "--delay", "80", "4")
        time.sleep(0.5)
        return True

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
        if a.zoom and not self.wheel(soak.ARCHIVE_SIZE, CELL_1, a.zoom):
            return self.fail(f"{name}: no archive window to zoom")
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
        if a.channels:
            self.check_channels()
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
    parser.add_argument("--zoom", type=int, default=0, metavar="N",
                        help="wheel N notches in over the first quad cell before REC")
    parser.add_argument("--channels", action="store_true",
                        help="find every channel's pictures in the files (picture codes)")
    parser.add_argument("--camera", metavar="DIR", nargs="?", const=PICTURES,
                        help="the simulator sends these 704 x 240 camera pictures (JPEG files) "
                             "in place of its drawn scene; without DIR the project's bench/pictures")
    parser.add_argument("--psnr", action="store_true",
                        help="RAW: the first file's pictures also as MJPEG, their PSNR")
    parser.add_argument("--rss-limit", type=float, default=64,
                        help="MB the RSS may rise by while recording")
    args = parser.parse_args()
    if args.psnr and args.format != "RAW":
        parser.error("--psnr compares with an uncompressed recording: --format RAW")
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
