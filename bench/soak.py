#!/usr/bin/env python3
"""Soak: the real program, driven like an operator, while the recorder misbehaves.

Telvane4 runs on a private Xvfb display with private settings, data and runtime
folders, against the recorder simulator on 127.0.0.1. Pointer clicks (xdotool) do
what an operator does, in a seeded random order: live quad and single channels,
rotation, PTZ taps, the archive (calendar, time slider, play forwards, reverse, fast,
stop, jumps, single / quad), recording with 3-second segments, snapshots, the event
list (a double-click plays a row), back to live, and Connect again when the link was
given up. Meanwhile the simulator is restarted on the same port, alternating a
healthy phase with one of its faults (silence, closed links, refused connections,
garbage, oversize announcements, split headers, coalesced packets, trickle).

Printed: every action and phase, once a minute the program's RSS, CPU and pictures
per channel; at the end the RSS slope, the reconnections and how long each recovery
took, the pictures per channel, every AVI checked with ffprobe and decoded by ffmpeg,
every snapshot checked with identify, and any sanitizer report of the program or the
simulator. Exits 1 on a crash, a sanitizer report, a broken or missing file, a fault
not recovered from, or an unclean exit.

The program's message boxes are written to its error output instead of waiting for a
click (TELVANE_TEST), and it writes a statistics line a second (TELVANE_STATS).

A phase restarts the simulator (the program's link dies with it), waits up to
--recovery seconds for the program to log in again and show a picture, then goes on
with operator actions for --healthy or --fault seconds.

With --recorders N (2-4), N simulators are set up as recorders 1-N (each drawing its
own site channels) and a phase restarts one of them at a time, in turn, while the
others stay healthy. The operator also picks the 16-tile layout and channels 5-16;
each phase starts in 16 tiles, so every recorder is asked for pictures. The restarted
recorder is back when its simulator logs a new login and sends pictures again; the
others must go on sending pictures meanwhile. The report gives every recorder's
logins and pictures per second.

Usage: bench/soak.py [--minutes M] [--seed S] [--build DIR] [--keep DIR]
                     [--healthy S] [--fault S] [--recovery S] [--recorders N]
"""

import argparse
import datetime
import os
import random
import re
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Fault phases: name, simulator options, whether pictures keep coming meanwhile.
FAULTS = [
    ("silence", ["--silent-after", "150"], False),
    ("closed link", ["--close-after", "200"], False),
    ("refused connections", ["--refuse-connections"], False),
    ("garbage", ["--garbage", "7"], True),
    ("oversize announcements", ["--oversize", "11"], True),
    ("split headers", ["--split-header"], True),
    ("coalesced packets", ["--coalesce", "3"], True),
    ("trickle", ["--trickle", "1500,1"], True),
]

SANITIZER = re.compile(r"ERROR: (Address|Leak)Sanitizer|runtime error:|"
                       r"SUMMARY: (Address|Leak|UndefinedBehavior)Sanitizer")

# Window sizes tell the two top-level windows apart.
MAIN_SIZE = (877, 685)
ARCHIVE_SIZE = (951, 684)

# Control centres in window coordinates (the program's layout tables).
MAIN = {
    "single": (388, 610), "quad": (439, 610),
    "ch1": (326, 655), "ch2": (357, 655), "ch3": (385, 655), "ch4": (412, 655),
    "tiles16": (694, 610),
    # Channel buttons 5-16 (the skin's row at y 640, 30 high).
    "ch_more": [(x, 655) for x in (440, 469, 496, 524, 552, 580, 608, 636, 664, 692, 720, 750)],
    "rotate": (832, 317), "archive": (832, 350), "connect": (244, 590),
    "exit": (792, 27),
    # PTZ pad: up, left, down, right, zoom +, zoom -
    "ptz": [(798, 454), (755, 496), (798, 539), (840, 496), (749, 395), (774, 395)],
}
ARCHIVE = {
    "viewer": (791, 27),
    "play": {"fast reverse": (751, 275), "reverse": (793, 275), "stop": (836, 275),
             "forward": (878, 275), "fast forward": (920, 275)},
    "jumps": [(770, 326), (814, 326), (858, 326), (902, 326)],
    "save": (839, 599), "event": (839, 654), "record": (908, 654),
    "single": (69, 538), "quad": (99, 538),
    "ch": [(357, 651), (387, 651), (414, 651), (442, 651)],
    "slider": (206, 602, 583, 16),
    "calendar": (722, 376),
}
CAL_CELL = (29, 20)
CAL_GRID_TOP = 50


def now():
    return time.monotonic()


def stamp():
    return datetime.datetime.now().strftime("%H:%M:%S")


class Soak:
    def __init__(self, args):
        self.args = args
        self.rng = random.Random(args.seed)
        self.work = tempfile.mkdtemp(prefix="telvane-soak.")
        os.chmod(self.work, 0o700)
        self.procs = []
        self.sims = {}            # recorder number -> simulator process
        self.ports = {}
        self.client = None
        self.failures = []
        self.actions = {}
        self.recoveries = []      # (fault, seconds to login, seconds to a picture)
        self.stream_faults = []   # (fault, seconds to login, to a picture, pictures after)
        self.minutes = []         # (elapsed minutes, rss kB, cpu %)
        self.recording = False
        self.playing = None       # play direction shown in the archive, or None
        self.t0 = now()
        self.checked = set()
        self.files = {"avi": 0, "jpg": 0, "broken": 0, "frames": 0, "bytes": 0}

    # --- processes ----------------------------------------------------------------
    def log(self, text):
        print(f"[{stamp()} +{now() - self.t0:7.1f}s] {text}", flush=True)

    def start_xvfb(self):
        # The server picks a free display itself and names it on a pipe: runs started
        # together never share one (a number chosen here by looking for lock files
        # could be taken by another run before its server came up).
        rfd, wfd = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(wfd), "-screen", "0", "1280x1024x24",
                                 "-nolisten", "tcp"], stdout=subprocess.DEVNULL, pass_fds=(wfd,),
                                stderr=open(os.path.join(self.work, "xvfb.log"), "w"))
        os.close(wfd)
        self.procs.append(xvfb)
        number = b""
        deadline = time.monotonic() + 10
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([rfd], [], [], 0.5)
            if ready:
                chunk = os.read(rfd, 16)
                if not chunk:
                    break
                number += chunk
        os.close(rfd)
        if not number.strip().isdigit() or xvfb.poll() is not None:
            raise SystemExit("Xvfb did not start")
        self.display = ":" + number.strip().decode()

    def sim_file(self, recorder, ext):
        """Recorder 1's files keep the names of a one-recorder run."""
        return os.path.join(self.work, f"sim.{ext}" if recorder == 1 else f"sim{recorder}.{ext}")

    def start_simulator(self, options, recorder=1):
        old = self.sims.pop(recorder, None)
        if old:
            old.send_signal(signal.SIGTERM)
            old.wait()
        log = open(self.sim_file(recorder, "err"), "a")
        out = open(self.sim_file(recorder, "out"), "a")
        several = ["--scene", str(recorder), "--stats"] if self.args.recorders > 1 else []
        for _ in range(50):
            sim = subprocess.Popen(
                [self.bin("telvane-recorder-sim"), "--listen", "127.0.0.1", "--port",
                 str(self.ports[recorder]), "--fps", "60", "--events", "40",
                 "--log", self.sim_file(recorder, "log")] + several + options,
                stdout=out, stderr=log)
            time.sleep(0.3)
            if sim.poll() is None:
                self.sims[recorder] = sim
                return
            time.sleep(0.5)  # the port may still be held for a moment
        self.fail(f"recorder simulator {recorder} does not start again")

    def sim_logins(self, recorder):
        return read(self.sim_file(recorder, "log")).count('"login accepted"')

    def sim_rates(self, recorder):
        """Pictures per second the recorder's simulator sent, a line a second (--stats)."""
        return [float(line.split()[1]) for line in
                read(self.sim_file(recorder, "err")).splitlines() if line.startswith("STATS ")]

    def sim_rate(self, recorder, since=0):
        """The last second's, of the lines after the first `since`."""
        rates = self.sim_rates(recorder)[since:]
        return rates[-1] if rates else 0.0

    def bin(self, name):
        return os.path.join(self.build, "bin", name)

    def start_client(self, settings="Record%20Duration=1\nReconnect%20Count=3\n", env_extra=None):
        # A portable copy: its record folder ("Backup" beside it) is the soak's own.
        appdir = os.path.join(self.work, "app")
        os.makedirs(os.path.join(appdir, "Backup"))
        shutil.copy2(self.bin("Telvane4"), appdir)
        for d in ("config/Telvane", "data", "runtime", "cwd"):
            os.makedirs(os.path.join(self.work, d), exist_ok=True)
        os.chmod(os.path.join(self.work, "runtime"), 0o700)
        with open(os.path.join(self.work, "config/Telvane/Telvane4.conf"), "w") as f:
            f.write("[Setting]\nHost%20IPAddress=127.0.0.1\n"
                    f"Host%20Port={self.ports[1]}\n{settings}")
            for r in range(2, self.args.recorders + 1):
                f.write(f"\n[Setting{r}]\nHost%20IPAddress=127.0.0.1\n"
                        f"Host%20Port={self.ports[r]}\n")
        env = dict(os.environ, DISPLAY=self.display, QT_QPA_PLATFORM="xcb",
                   XDG_CONFIG_HOME=os.path.join(self.work, "config"),
                   XDG_DATA_HOME=os.path.join(self.work, "data"),
                   XDG_RUNTIME_DIR=os.path.join(self.work, "runtime"),
                   TELVANE_TEST="1", TELVANE_STATS=os.path.join(self.work, "stats.txt"))
        env.pop("TELVANE_AUTOCONNECT", None)
        env.pop("TELVANE_AUTOPLAY", None)
        env.update(env_extra or {})
        self.client = subprocess.Popen(
            [os.path.join(appdir, "Telvane4")], cwd=os.path.join(self.work, "cwd"), env=env,
            stdout=open(os.path.join(self.work, "client.out"), "w"),
            stderr=open(os.path.join(self.work, "client.err"), "w"))
        self.record_dir = os.path.join(appdir, "Backup")

    def fail(self, text):
        self.log("FAILURE: " + text)
        self.failures.append(text)

    # --- the program's state --------------------------------------------------------
    def stats(self):
        """The newest statistics line as a dict (empty before the first)."""
        try:
            with open(os.path.join(self.work, "stats.txt")) as f:
                lines = f.read().splitlines()
        except OSError:
            return {}
        return parse_stats(lines[-1]) if lines else {}

    def all_stats(self):
        try:
            with open(os.path.join(self.work, "stats.txt")) as f:
                return [parse_stats(line) for line in f.read().splitlines() if line]
        except OSError:
            return []

    def window(self, size):
        """Top-left corner of the program's visible window of that size, or None."""
        out = xdo(self.display, "search", "--onlyvisible", "--pid", str(self.client.pid))
        for wid in out.split():
            geo = xdo(self.display, "getwindowgeometry", "--shell", wid)
            g = dict(line.split("=", 1) for line in geo.splitlines() if "=" in line)
            if (int(g.get("WIDTH", 0)), int(g.get("HEIGHT", 0))) == size:
                return int(g["X"]), int(g["Y"])
        return None

    def click(self, size, point, double=False, hold=0.0):
        origin = self.window(size)
        if origin is None:
            return False
        x, y = origin[0] + point[0], origin[1] + point[1]
        # "--sync" waits for the pointer to move: never ask for it where it already is
        # (xdotool then waits 15 s in vain).
        here = dict(line.split("=", 1) for line in
                    xdo(self.display, "getmouselocation", "--shell").splitlines() if "=" in line)
        if (here.get("X"), here.get("Y")) != (str(x), str(y)):
            xdo(self.display, "mousemove", "--sync", str(x), str(y))
        if hold:
            xdo(self.display, "mousedown", "1")
            time.sleep(hold)
            xdo(self.display, "mouseup", "1")
        else:
            xdo(self.display, "click", "--repeat", "2" if double else "1", "--delay", "80", "1")
        return True

    # --- operator actions ---------------------------------------------------------------
    def act(self):
        s = self.stats()
        state, archive = s.get("state", 0), s.get("archive", 0)
        if state == 0 and not archive:
            return self.do("connect", MAIN_SIZE, MAIN["connect"])
        if state != 1:
            return None
        if not archive:
            several = self.args.recorders > 1
            choice = self.rng.choices(
                ["quad", "single", "rotate", "ptz", "archive", "tiles16"],
                [3, 4, 1, 3, 2, 4 if several else 0])[0]
            if choice == "single":
                self.do("single", MAIN_SIZE, MAIN["single"])
                time.sleep(0.3)
                ch = self.rng.randrange(4 * self.args.recorders)
                point = MAIN[f"ch{ch + 1}"] if ch < 4 else MAIN["ch_more"][ch - 4]
                return self.do(f"live channel {ch + 1}", MAIN_SIZE, point)
            if choice == "ptz":
                i = self.rng.randrange(len(MAIN["ptz"]))
                return self.do("ptz tap", MAIN_SIZE, MAIN["ptz"][i], hold=0.15)
            if choice == "archive":
                self.playing = None
                self.recording = False
                return self.do("archive", MAIN_SIZE, MAIN["archive"])
            return self.do(choice, MAIN_SIZE, MAIN[choice])
        return self.act_archive()

    def act_archive(self):
        choices = ["play", "play", "play", "stop", "jump", "date", "time", "layout",
                   "channel", "save", "event", "viewer"]
        if self.playing == "forward":
            choices += ["record"] * 4
        choice = self.rng.choice(choices)
        if choice == "play":
            direction = self.rng.choice(["forward", "forward", "reverse", "fast forward",
                                         "fast reverse"])
            self.playing = direction
            self.recording = False
            return self.do(f"play {direction}", ARCHIVE_SIZE, ARCHIVE["play"][direction])
        if choice == "stop":
            self.playing = None
            self.recording = False
            return self.do("stop", ARCHIVE_SIZE, ARCHIVE["play"]["stop"])
        if choice == "jump":
            i = self.rng.randrange(4)
            self.playing = None
            self.recording = False
            return self.do(f"jump {i + 1}", ARCHIVE_SIZE, ARCHIVE["jumps"][i])
        if choice == "date":
            day = datetime.date.today() - datetime.timedelta(days=self.rng.randrange(2))
            return self.do(f"date {day}", ARCHIVE_SIZE, calendar_cell(day))
        if choice == "time":
            x, y, w, h = ARCHIVE["slider"]
            px = x + 8 + self.rng.randrange(w - 16)
            return self.do("time slider", ARCHIVE_SIZE, (px, y + h // 2),
                           hold=self.rng.choice([0.1, 0.4]))
        if choice == "layout":
            which = self.rng.choice(["single", "quad"])
            return self.do(f"archive {which}", ARCHIVE_SIZE, ARCHIVE[which])
        if choice == "channel":
            ch = self.rng.randrange(4)
            return self.do(f"archive channel {ch + 1}", ARCHIVE_SIZE, ARCHIVE["ch"][ch])
        if choice == "save":
            return self.do("snapshot", ARCHIVE_SIZE, ARCHIVE["save"])
        if choice == "record":
            self.recording = not self.recording
            return self.do("record on" if self.recording else "record off", ARCHIVE_SIZE,
                           ARCHIVE["record"])
        if choice == "event":
            return self.event_list()
        self.playing = None
        self.recording = False
        return self.do("viewer", ARCHIVE_SIZE, ARCHIVE["viewer"])

    def event_list(self):
        if not self.do("event list", ARCHIVE_SIZE, ARCHIVE["event"]):
            return None
        for _ in range(30):
            out = xdo(self.display, "search", "--onlyvisible", "--name", "^Event$")
            if out.split():
                break
            time.sleep(0.1)
        else:
            self.log("  the event list did not open (no link?)")
            return None
        time.sleep(0.5)
        wid = out.split()[0]
        geo = xdo(self.display, "getwindowgeometry", "--shell", wid)
        g = dict(line.split("=", 1) for line in geo.splitlines() if "=" in line)
        x0, y0 = int(g["X"]), int(g["Y"])
        row = self.rng.randrange(16)
        # The list starts at (3, 5); under its 22-pixel column header, rows of 18.
        xdo(self.display, "mousemove", "--sync", str(x0 + 150), str(y0 + 5 + 22 + 18 * row + 9))
        xdo(self.display, "click", "--repeat", "2", "--delay", "80", "1")
        self.count("event row double-clicked")
        time.sleep(0.7)
        if xdo(self.display, "search", "--onlyvisible", "--name", "^Event$").split():
            xdo(self.display, "mousemove", "--sync", str(x0 + 217), str(y0 + 379))
            xdo(self.display, "click", "1")
        self.playing = "forward"
        return True

    def do(self, name, size, point, hold=0.0):
        ok = self.click(size, point, hold=hold)
        self.count(name if ok else name + " (window not visible)")
        self.log(("" if ok else "(not visible) ") + name)
        return ok

    def count(self, name):
        self.actions[name] = self.actions.get(name, 0) + 1

    # --- the run ----------------------------------------------------------------------
    def run(self):
        a = self.args
        self.build = os.path.abspath(os.path.join(ROOT, a.build))
        for r in range(1, a.recorders + 1):
            self.ports[r] = free_port()
        self.start_xvfb()
        self.log(f"seed {a.seed}, {a.minutes} min, build {a.build}, {a.recorders} recorder(s), "
                 f"work folder {self.work}")
        for r in range(1, a.recorders + 1):
            self.start_simulator([], r)
        self.start_client()
        time.sleep(3)
        self.end = self.t0 + a.minutes * 60
        self.next_minute = now() + 60
        self.cpu0 = (cpu_ticks(self.client.pid), now())
        self.minute = 0
        faults = []
        healthy = False
        self.target = 1
        while now() < self.end and self.client.poll() is None:
            healthy = not healthy
            if not healthy and a.recorders > 1:
                # Each fault, and the healthy phase after it, on the next recorder.
                self.target = self.target % a.recorders + 1
            if healthy:
                name, options, length, keeps = "healthy", [], a.healthy, True
            else:
                if not faults:
                    faults = FAULTS[:]
                    self.rng.shuffle(faults)
                name, options, keeps = faults.pop()
                length = a.fault
            self.phase(name, options, keeps, length)
        if self.client.poll() is not None:
            self.fail(f"the program ended by itself (exit status {self.client.returncode})")
        else:
            self.sample()
            self.exit_program()
        self.report()

    def phase(self, name, options, keeps, length):
        """One phase: the recorder restarted with these options (which closes the
        program's link), the operator waits until the program is back (a new login
        and a picture after it, at most --recovery seconds), then goes on clicking
        for the phase's length. The program sees the closed link at once and tries
        again within a second; after a silent recorder only the reply time-out tells
        it (15 s of silence, then a reconnection 5 s later)."""
        if self.args.recorders > 1:
            return self.phase_of_one(name, options, keeps, length)
        self.log(f"== phase: {name} {' '.join(options)}")
        # Counted before the restart: the program may log in to the new recorder
        # within the statistics line's second.
        before = self.stats()
        self.start_simulator(options)
        start = now()
        if before.get("archive") and before.get("state") == 1:
            # A stream the program expects, so that a silent link is noticed too
            # (only the reply time-out tells it, after 15 s). From the start of the
            # recording: the time the operator left (after a jump, a date or the
            # slider) may lie outside it, where the program rightly plays nothing
            # ("## Invalid Date ##", "## Play End ##").
            self.playing = "forward"
            self.do("jump 1", ARCHIVE_SIZE, ARCHIVE["jumps"][0])
            self.do("play forward", ARCHIVE_SIZE, ARCHIVE["play"]["forward"])
        t_login = t_pic = None
        last_connect = 0.0
        wait_end = min(start + self.args.recovery, self.end)
        while now() < wait_end and self.client.poll() is None:
            self.tick(files=False)  # the file check takes seconds: not inside a timing
            s = self.stats()
            if s.get("state") == 0 and now() - last_connect > 5:
                # The link was given up: back to the live view, where Connect is.
                last_connect = now()
                if s.get("archive"):
                    self.playing = None
                    self.recording = False
                    self.do("viewer", ARCHIVE_SIZE, ARCHIVE["viewer"])
                    time.sleep(1)
                self.do("connect", MAIN_SIZE, MAIN["connect"])
            if t_login is None and s.get("logins", 0) > before.get("logins", 0):
                t_login, at_login = now() - start, s
            if t_login is not None and pictures(s) > pictures(at_login):
                t_pic = now() - start
                break
            time.sleep(0.5)
        cut = now() >= self.end  # the run ended while waiting: no judgement
        if name == "healthy" and not cut:
            if t_pic is None:
                self.fail(f"not back within {self.args.recovery:.0f} s after {self.fault_before}")
            else:
                self.recoveries.append((self.fault_before, t_login, t_pic))
        self.log(f"   {name}: " + (f"link after {t_login:.1f} s" if t_login is not None
                                    else "no login") +
                 (f", pictures after {t_pic:.1f} s" if t_pic is not None else ", no pictures"))
        at_back = self.stats()
        phase_end = min(now() + length, self.end)
        while now() < phase_end and self.client.poll() is None:
            self.tick()
            try:
                self.act()
            except (subprocess.SubprocessError, OSError, ValueError, KeyError) as e:
                self.log(f"  action failed: {e}")
            time.sleep(min(self.rng.uniform(1.5, 4.0), max(phase_end - now(), 0)))
        if name != "healthy":
            self.fault_before = name
            shown = pictures(self.stats()) - pictures(at_back) if t_pic is not None else 0
            self.stream_faults.append((name, t_login, t_pic, shown))
            self.log(f"   during {name}: {shown} more pictures while the operator went on")
            if keeps and t_pic is None and not cut:
                self.fail(f"no picture came through {name} within {self.args.recovery:.0f} s")

    def phase_of_one(self, name, options, keeps, length):
        """A phase with several recorders: only recorder self.target is restarted
        (with the phase's fault); the program is put in 16 tiles first (from the
        archive, through "Viewer") so that every recorder is asked for pictures. The
        target is back when its simulator logs a new login and sends pictures; the
        others must keep sending pictures throughout."""
        target = self.target
        self.log(f"== phase: recorder {target} {name} {' '.join(options)}")
        # Back to live; the archive refuses while a recording's last file is written.
        leave_by = now() + 20
        while self.stats().get("archive") and now() < leave_by:
            self.playing = None
            self.recording = False
            self.do("viewer", ARCHIVE_SIZE, ARCHIVE["viewer"])
            time.sleep(1.5)
        self.do("16 tiles", MAIN_SIZE, MAIN["tiles16"])
        time.sleep(1)
        logins = self.sim_logins(target)
        self.start_simulator(options, target)
        lines = len(self.sim_rates(target))  # the old simulator's are done
        start = now()
        t_login = t_pic = None
        last_connect = 0.0
        starved = {r: 0 for r in self.sims if r != target}
        wait_end = min(start + self.args.recovery, self.end)
        while now() < wait_end and self.client.poll() is None:
            self.tick(files=False)
            s = self.stats()
            states = s.get("recorders", [])
            given_up = len(states) >= target and states[target - 1] == 0
            if (s.get("state") == 0 or given_up) and now() - last_connect > 5:
                # The window, or the target's tiles ("NO LINK"), say the link was
                # given up: Connect starts every recorder without a link.
                last_connect = now()
                self.do("connect", MAIN_SIZE, MAIN["connect"])
            if t_login is None and self.sim_logins(target) > logins:
                t_login = now() - start
            if t_login is not None and t_pic is None and self.sim_rate(target, lines) > 0:
                t_pic = now() - start
                break
            for r in starved:
                starved[r] += self.sim_rate(r) == 0
            time.sleep(1)
        cut = now() >= self.end
        if name == "healthy" and not cut:
            if t_pic is None:
                self.fail(f"recorder {target} not back within {self.args.recovery:.0f} s "
                          f"after {self.fault_before}")
            else:
                self.recoveries.append((f"{self.fault_before} (recorder {target})", t_login,
                                        t_pic))
        for r, seconds in starved.items():
            # A second without pictures can be a stats line that fell between two.
            if seconds > 2:
                self.fail(f"recorder {r} sent no pictures for {seconds} s while recorder "
                          f"{target} was restarted ({name})")
        self.log(f"   recorder {target} {name}: " +
                 (f"login after {t_login:.1f} s" if t_login is not None else "no login") +
                 (f", pictures after {t_pic:.1f} s" if t_pic is not None else ", no pictures") +
                 "; others " + ", ".join(f"{r}: {self.sim_rate(r):.0f}/s" for r in starved))
        phase_end = min(now() + length, self.end)
        while now() < phase_end and self.client.poll() is None:
            self.tick()
            try:
                self.act()
            except (subprocess.SubprocessError, OSError, ValueError, KeyError) as e:
                self.log(f"  action failed: {e}")
            time.sleep(min(self.rng.uniform(1.5, 4.0), max(phase_end - now(), 0)))
        if name != "healthy":
            self.fault_before = name
            self.stream_faults.append((f"{name} (recorder {target})", t_login, t_pic, None))
            if keeps and t_pic is None and not cut:
                self.fail(f"no picture came from recorder {target} through {name}")

    def tick(self, files=True):
        if now() >= self.next_minute:
            self.minute += 1
            self.sample()
            if files:
                self.check_files(final=False)
            self.next_minute += 60

    fault_before = "none"

    def sample(self):
        minute = self.minute
        rss = rss_kb(self.client.pid)
        ticks, t = self.cpu0
        self.cpu0 = (cpu_ticks(self.client.pid), now())
        cpu = (self.cpu0[0] - ticks) / os.sysconf("SC_CLK_TCK") / max(now() - t, 1e-3)
        s = self.stats()
        # Elapsed minutes, not the sample's number: the last sample comes when the
        # run ends, less than a minute after the one before.
        self.minutes.append(((now() - self.t0) / 60, rss, cpu * 100))
        self.log(f"minute {minute}: RSS {rss / 1024:.1f} MB, CPU {cpu * 100:.1f} % of a core, "
                 f"live {s.get('live')}, playback {s.get('playback')}, logins {s.get('logins')}, "
                 f"connect attempts {s.get('attempts')}")

    def exit_program(self):
        for r in range(1, self.args.recorders + 1):
            self.start_simulator([], r)
        # The statistics line comes once a second: let it catch up with the last action.
        time.sleep(2)
        for _ in range(5):
            if not self.stats().get("archive") and self.do("exit", MAIN_SIZE, MAIN["exit"]):
                break
            # Stop ends a recording; the window stays while its file is written.
            self.do("stop", ARCHIVE_SIZE, ARCHIVE["play"]["stop"])
            time.sleep(3)
            self.do("viewer", ARCHIVE_SIZE, ARCHIVE["viewer"])
            time.sleep(2)
        try:
            self.client.wait(timeout=120)
        except subprocess.TimeoutExpired:
            self.fail("the program did not end within 120 s of Exit")
            self.client.kill()
            self.client.wait()
        if self.client.returncode != 0:
            self.fail(f"the program's exit status was {self.client.returncode}")

    # --- the report -------------------------------------------------------------------
    def report(self):
        print("\n===== soak report =====")
        print(f"seed {self.args.seed}, {(now() - self.t0) / 60:.1f} minutes")
        print("actions: " + ", ".join(f"{k} {v}" for k, v in sorted(self.actions.items())))
        if self.minutes:
            print("RSS by minute (MB): " + " ".join(f"{r / 1024:.1f}" for _, r, _ in self.minutes))
            cpu = [c for _, _, c in self.minutes]
            print(f"CPU: mean {sum(cpu) / len(cpu):.1f} %, max {max(cpu):.1f} % of a core")
            pts = [(m, r / 1024) for m, r, _ in self.minutes]
            print(f"RSS slope: {slope(pts) * 60:+.1f} MB per hour over all minutes")
            later = pts[len(pts) // 4:]
            if len(later) >= 3:
                print(f"RSS slope: {slope(later) * 60:+.1f} MB per hour after the first quarter")
        last = self.all_stats()
        if last:
            s = last[-1]
            print(f"pictures shown: live {s.get('live')}, playback {s.get('playback')}")
            print(f"connect attempts {s.get('attempts')}, logins {s.get('logins')}")
        if self.args.recorders > 1:
            print("logins by recorder (its simulator's log): " + ", ".join(
                f"{r}: {self.sim_logins(r)}" for r in range(1, self.args.recorders + 1)))
            live = s.get("live") or [0, 0, 0, 0]
            if min(live) == 0:
                self.fail("a live channel never showed a picture")
        print("back to pictures after a restart of the recorder (s): link / pictures")
        by_fault = {}
        for fault, t_login, t_pic in self.recoveries:
            by_fault.setdefault(fault, []).append(f"{t_login:.1f}/{t_pic:.1f}")
        for fault, times in sorted(by_fault.items()):
            print(f"  healthy after {fault}: {' '.join(times)}")
        for fault, t_login, t_pic, shown in self.stream_faults:
            link = f"link {t_login:.1f} s" if t_login is not None else "no login"
            pic = (("no picture" if t_pic is None else f"first picture {t_pic:.1f} s") +
                   ("" if shown is None or t_pic is None else f", {shown} more"))
            print(f"  during {fault}: {link}, {pic}")
        self.requests()
        self.check_files()
        self.check_sanitizers()
        boxes = read(os.path.join(self.work, "client.err")).count("MESSAGEBOX")
        print(f"message boxes: {boxes}")
        for line in sorted(set(re.findall(r"MESSAGEBOX .*", read(os.path.join(self.work, "client.err"))))):
            print("  " + line)
        if self.failures:
            print(f"FAILED ({len(self.failures)}):")
            for f in self.failures:
                print("  " + f)
        else:
            print("PASSED")

    def check_files(self, final=True):
        """Checks the recordings and snapshots finished since the last call. Checked
        recordings are deleted (an hour of recording would fill the disk); snapshots
        stay. At the end, a file still carrying its temporary name is a failure."""
        for name in sorted(os.listdir(self.record_dir)):
            path = os.path.join(self.record_dir, name)
            if name in self.checked:
                continue
            if name.endswith(".part"):
                if final:
                    self.fail(f"a file was left unfinished: {name}")
                continue
            self.checked.add(name)
            if name.endswith(".avi"):
                self.files["avi"] += 1
                probe = subprocess.run(
                    ["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                     "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", path],
                    capture_output=True, text=True)
                decode = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"],
                                        capture_output=True, text=True)
                frames = probe.stdout.strip()
                if probe.returncode or decode.returncode or decode.stderr.strip() \
                        or not frames.isdigit() or int(frames) == 0:
                    self.files["broken"] += 1
                    self.fail(f"broken recording {name}: {probe.stderr.strip()} {decode.stderr.strip()}")
                    continue
                self.files["frames"] += int(frames)
                self.files["bytes"] += os.path.getsize(path)
                os.remove(path)
            elif name.endswith(".jpg"):
                self.files["jpg"] += 1
                ident = subprocess.run(["identify", "-format", "%m %w %h", path],
                                       capture_output=True, text=True)
                if ident.returncode or not ident.stdout.startswith("JPEG"):
                    self.files["broken"] += 1
                    self.fail(f"broken snapshot {name}: {ident.stderr.strip()}")
        if not final:
            return
        f = self.files
        print(f"files: {f['avi']} recordings ({f['frames']} pictures, {f['bytes'] / 2**20:.0f} MiB; "
              f"ffprobe and ffmpeg), {f['jpg']} snapshots (identify), {f['broken']} broken")
        if self.actions.get("snapshot", 0) and f["jpg"] == 0:
            self.fail("snapshots were taken but none was written")
        if self.actions.get("record on", 0) and f["avi"] == 0:
            self.fail("recordings were started but none was written")

    def requests(self):
        """What the recorder was asked, by kind (from the simulator's request log)."""
        kinds = {}
        text = "".join(read(self.sim_file(r, "log")) for r in range(1, self.args.recorders + 1))
        for line in text.splitlines():
            m = re.search(r'"action":"([^"]*)"', line) or re.search(r'"event":"([^"]*)"', line)
            if m:
                kind = re.sub(r"\d+", "N", m.group(1).split(" from ")[0])[:40]
                kinds[kind] = kinds.get(kind, 0) + 1
        print("the recorder saw: " + ", ".join(f"{k} {v}" for k, v in sorted(kinds.items())))

    def check_sanitizers(self):
        names = ["client.err"] + [os.path.basename(self.sim_file(r, "err"))
                                  for r in range(1, self.args.recorders + 1)]
        for name in names:
            text = read(os.path.join(self.work, name))
            hits = [line for line in text.splitlines() if SANITIZER.search(line)]
            if hits:
                self.fail(f"sanitizer report in {name}: {hits[0]}")
                print("\n".join(text.splitlines()[:80]))
        print("sanitizer reports: " + ("see above" if any("sanitizer" in f for f in self.failures)
                                       else "none"))

    def cleanup(self):
        for p in [self.client] + list(self.sims.values()) + self.procs:
            if p and p.poll() is None:
                p.kill()
                p.wait()
        if self.args.keep:
            shutil.rmtree(self.args.keep, ignore_errors=True)
            shutil.copytree(self.work, self.args.keep, symlinks=True)
        shutil.rmtree(self.work, ignore_errors=True)


# --- helpers ------------------------------------------------------------------------------
def parse_stats(line):
    parts = line.split()
    s = {"time": int(parts[0])}
    for p in parts[1:]:
        k, _, v = p.partition("=")
        s[k] = [int(x) for x in v.split(",")] if "," in v else int(v)
    return s


def pictures(s):
    return sum(s.get("live", [])) + sum(s.get("playback", []))


def calendar_cell(day):
    first = day.replace(day=1)
    offset = (first.weekday() + 1) % 7  # Sunday first
    cell = offset + day.day - 1
    x0, y0 = ARCHIVE["calendar"]
    return (x0 + (cell % 7) * CAL_CELL[0] + CAL_CELL[0] // 2,
            y0 + CAL_GRID_TOP + (cell // 7) * CAL_CELL[1] + CAL_CELL[1] // 2)


def slope(points):
    n = len(points)
    if n < 2:
        return 0.0
    mx = sum(p[0] for p in points) / n
    my = sum(p[1] for p in points) / n
    den = sum((p[0] - mx) ** 2 for p in points)
    return sum((p[0] - mx) * (p[1] - my) for p in points) / den if den else 0.0


def xdo(display, *args):
    return subprocess.run(["xdotool"] + list(args), env=dict(os.environ, DISPLAY=display),
                          capture_output=True, text=True, timeout=20).stdout


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def rss_kb(pid):
    for line in read(f"/proc/{pid}/status").splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def cpu_ticks(pid):
    fields = read(f"/proc/{pid}/stat").rsplit(")", 1)[-1].split()
    return int(fields[11]) + int(fields[12]) if len(fields) > 12 else 0


def read(path):
    try:
        with open(path, errors="replace") as f:
            return f.read()
    except OSError:
        return ""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--minutes", type=float, default=60)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--build", default="build", help="built tree holding bin/")
    parser.add_argument("--healthy", type=float, default=30,
                        help="seconds of operator actions in a healthy phase")
    parser.add_argument("--fault", type=float, default=30,
                        help="seconds of operator actions in a fault phase")
    parser.add_argument("--recovery", type=float, default=45,
                        help="seconds the program may take to be back after a restart")
    parser.add_argument("--keep", help="copy the work folder (logs, files) here at the end")
    parser.add_argument("--recorders", type=int, default=1, choices=[1, 2, 3, 4],
                        help="recorder simulators; a phase restarts one of them at a time")
    args = parser.parse_args()
    soak = Soak(args)
    try:
        soak.run()
    finally:
        soak.cleanup()
    sys.exit(1 if soak.failures else 0)


if __name__ == "__main__":
    main()
