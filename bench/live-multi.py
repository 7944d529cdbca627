#!/usr/bin/env python3
"""Load bench: the real program showing several recorders at once.

Up to four recorder simulators on 127.0.0.1 (each its own site channels, --scene),
each sending 4 x 30 pictures per second, are set up as recorders 1-N in a private
settings file; Telvane4 runs on a private Xvfb display, connects, and is put in the
16-tile layout with a click on its screen-mode button. Measured, after a warm-up:

- CPU of the program (/proc/PID/stat, all threads) per picture the recorders sent,
  against the same program with one recorder in the quad layout (the baseline run);
- RSS once a second: first, last, highest, and its slope;
- pictures per second each recorder sent (its --stats line): the program takes
  what it asked for, so a recorder that falls behind shows here;
- click to answer: a click on channel button 6, and on the 16-tile button, to the
  live request the program sends recorder 2 for it, seen on the loopback interface
  (a packet socket, kernel time stamps; the simulator's own log is no clock for
  this, since a busy simulator reads its requests late), several times;
- one recorder restarted, then one gone silent: the pictures per second of the
  others before and meanwhile;
- picture to screen: for every live picture a simulator sent during the measured
  time, the delay from its last byte leaving the simulator (its --send-log) to the
  end of the program's paint that first showed it or a newer picture of its tile
  (TELVANE_PAINT_LOG), both on the steady clock: median, 99th percentile, highest,
  the 99th percentile of each minute, how many were never shown; and from each
  painted picture's decode to the end of that paint, with the share within one
  display frame (1/60 s).

Usage: bench/live-multi.py [--recorders N] [--seconds S] [--clicks K] [--build DIR]
                           [--no-baseline] [--keep DIR]
"""

import argparse
import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MAIN_SIZE = (877, 685)
SO_TIMESTAMPNS = getattr(socket, "SO_TIMESTAMPNS", 35)  # Linux
# Control centres in window coordinates (the program's layout table).
CONNECT = (244, 590)
QUAD = (439, 610)
TILES_16 = (694, 610)
CHANNEL_6 = (469, 655)


def xdo(display, *args):
    return subprocess.run(["xdotool"] + list(args), env=dict(os.environ, DISPLAY=display),
                          capture_output=True, text=True, timeout=20).stdout


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def read(path):
    try:
        with open(path, errors="replace") as f:
            return f.read()
    except OSError:
        return ""


def rss_kb(pid):
    for line in read(f"/proc/{pid}/status").splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def cpu_seconds(pid):
    fields = read(f"/proc/{pid}/stat").rsplit(")", 1)[-1].split()
    ticks = int(fields[11]) + int(fields[12]) if len(fields) > 12 else 0
    return ticks / os.sysconf("SC_CLK_TCK")


def slope(points):
    n = len(points)
    if n < 2:
        return 0.0
    mx = sum(p[0] for p in points) / n
    my = sum(p[1] for p in points) / n
    den = sum((p[0] - mx) ** 2 for p in points)
    return sum((p[0] - mx) * (p[1] - my) for p in points) / den if den else 0.0


def percentile(values, p):
    v = sorted(values)
    return v[min(len(v) - 1, int(round(p / 100 * (len(v) - 1))))] if v else float("nan")


class Sniffer(threading.Thread):
    """Packets on the loopback interface whose TCP payload starts with a request
    header, to the given ports: (kernel time, port, command). Needs CAP_NET_RAW (the
    bench runs as root in its own network namespace)."""

    def __init__(self, ports):
        super().__init__(daemon=True)
        self.ports = ports
        self.seen = []
        self.sock = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.ntohs(0x0003))
        self.sock.bind(("lo", 0))
        self.sock.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
        self.sock.settimeout(0.5)
        self.stopped = False

    def run(self):
        while not self.stopped:
            try:
                data, anc, _, addr = self.sock.recvmsg(256, 64)
            except (socket.timeout, OSError):
                continue
            if addr[2] == socket.PACKET_OUTGOING or len(data) < 34 or data[12:14] != b"\x08\x00":
                continue  # each loopback packet is seen twice; IPv4 only
            ihl = (data[14] & 0x0F) * 4
            if data[23] != 6:
                continue
            tcp = 14 + ihl
            dport = struct.unpack(">H", data[tcp + 2:tcp + 4])[0]
            payload = tcp + (data[tcp + 12] >> 4) * 4
            if dport not in self.ports or len(data) < payload + 28:
                continue
            stamp = next((struct.unpack("qq", d[:16]) for level, kind, d in anc
                          if kind == SO_TIMESTAMPNS), None)
            t = stamp[0] + stamp[1] / 1e9 if stamp else time.time()
            self.seen.append((t, dport, struct.unpack("<I", data[payload + 24:payload + 28])[0]))


class Bench:
    def __init__(self, args):
        self.args = args
        self.build = os.path.abspath(os.path.join(ROOT, args.build))
        self.work = tempfile.mkdtemp(prefix="telvane-multi.")
        os.chmod(self.work, 0o700)
        self.procs = []
        self.sims = {}
        self.ports = {}
        self.client = None

    def bin(self, name):
        return os.path.join(self.build, "bin", name)

    def start_xvfb(self):
        for n in range(200, 250):
            if not os.path.exists(f"/tmp/.X{n}-lock") and not os.path.exists(f"/tmp/.X11-unix/X{n}"):
                break
        else:
            raise SystemExit("no free X display number")
        self.display = f":{n}"
        self.procs.append(subprocess.Popen(
            ["Xvfb", self.display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        for _ in range(100):
            if os.path.exists(f"/tmp/.X11-unix/X{n}"):
                return
            time.sleep(0.1)
        raise SystemExit("Xvfb did not start")

    def start_sim(self, r, scene, extra=()):
        """Recorder r's simulator on its port (kept across restarts)."""
        self.stop_sim(r)
        self.ports.setdefault(r, free_port())
        for _ in range(50):
            sim = subprocess.Popen(
                [self.bin("telvane-recorder-sim"), "--listen", "127.0.0.1", "--port",
                 str(self.ports[r]), "--scene", str(scene), "--fps", "120", "--stats",
                 "--log", os.path.join(self.work, f"sim{r}.log"),
                 "--send-log", os.path.join(self.work, f"sim{r}.sent")] + list(extra),
                stdout=subprocess.DEVNULL,
                stderr=open(os.path.join(self.work, f"sim{r}.err"), "a"))
            time.sleep(0.3)
            if sim.poll() is None:
                self.sims[r] = sim
                return
            time.sleep(0.5)
        raise SystemExit(f"simulator {r} does not start")

    def stop_sim(self, r):
        sim = self.sims.pop(r, None)
        if sim:
            sim.send_signal(signal.SIGTERM)
            sim.wait()

    def start_client(self, recorders):
        run = os.path.join(self.work, f"client{recorders}")
        for d in ("config/Telvane", "data", "runtime", "cwd"):
            os.makedirs(os.path.join(run, d), exist_ok=True)
        os.chmod(os.path.join(run, "runtime"), 0o700)
        with open(os.path.join(run, "config/Telvane/Telvane4.conf"), "w") as f:
            f.write(f"[Setting]\nHost%20IPAddress=127.0.0.1\nHost%20Port={self.ports[1]}\n")
            for r in range(2, recorders + 1):
                f.write(f"\n[Setting{r}]\nHost%20IPAddress=127.0.0.1\n"
                        f"Host%20Port={self.ports[r]}\n")
        env = dict(os.environ, DISPLAY=self.display, QT_QPA_PLATFORM="xcb",
                   XDG_CONFIG_HOME=os.path.join(run, "config"),
                   XDG_DATA_HOME=os.path.join(run, "data"),
                   XDG_RUNTIME_DIR=os.path.join(run, "runtime"), TELVANE_TEST="1",
                   TELVANE_STATS=os.path.join(run, "stats.txt"),
                   TELVANE_PAINT_LOG=os.path.join(run, "paint.txt"))
        env.pop("TELVANE_AUTOCONNECT", None)
        self.client = subprocess.Popen([self.bin("Telvane4")], cwd=os.path.join(run, "cwd"),
                                       env=env, stdout=subprocess.DEVNULL,
                                       stderr=open(os.path.join(run, "client.err"), "w"))
        for _ in range(100):
            if self.origin():
                return
            time.sleep(0.1)
        raise SystemExit("the program's window did not appear")

    def stop_client(self):
        if self.client and self.client.poll() is None:
            self.client.kill()
            self.client.wait()

    def origin(self):
        out = xdo(self.display, "search", "--onlyvisible", "--pid", str(self.client.pid))
        for wid in out.split():
            geo = xdo(self.display, "getwindowgeometry", "--shell", wid)
            g = dict(line.split("=", 1) for line in geo.splitlines() if "=" in line)
            if (int(g.get("WIDTH", 0)), int(g.get("HEIGHT", 0))) == MAIN_SIZE:
                return int(g["X"]), int(g["Y"])
        return None

    def click(self, point):
        x0, y0 = self.origin()
        xdo(self.display, "mousemove", "--sync", str(x0 + point[0]), str(y0 + point[1]))
        t = time.time()
        xdo(self.display, "click", "1")
        return t

    def rates(self, seconds):
        """Pictures per second each simulator sent over the next seconds, and the
        program's CPU seconds and RSS samples meanwhile."""
        lines0 = {r: read(os.path.join(self.work, f"sim{r}.err")).count("STATS ")
                  for r in self.sims}
        cpu0 = cpu_seconds(self.client.pid)
        xcpu0 = cpu_seconds(self.procs[0].pid)
        rss = []
        t0 = time.monotonic()
        while time.monotonic() - t0 < seconds:
            rss.append((time.monotonic() - t0, rss_kb(self.client.pid)))
            time.sleep(1)
        cpu = cpu_seconds(self.client.pid) - cpu0
        self.x_share = (cpu_seconds(self.procs[0].pid) - xcpu0) / (time.monotonic() - t0)
        out = {}
        for r in self.sims:
            stats = [float(line.split()[1]) for line in
                     read(os.path.join(self.work, f"sim{r}.err")).splitlines()
                     if line.startswith("STATS ")][lines0.get(r, 0):]
            out[r] = sum(stats) / len(stats) if stats else 0.0
        return out, cpu / (time.monotonic() - t0), rss

    def live_command(self, r):
        """The command code of the live requests recorder r's simulator logged."""
        for line in read(os.path.join(self.work, f"sim{r}.log")).splitlines():
            try:
                entry = json.loads(line)
            except ValueError:
                continue
            if entry.get("action", "").startswith("live:"):
                return int(entry["code"], 16)
        return None

    def first_request(self, sniffer, r, after, command):
        """Seconds from `after` (epoch) to the first request with this command the
        program sent recorder r after it, or None."""
        for t, port, code in list(sniffer.seen):
            if port == self.ports[r] and code == command and t >= after:
                return t - after
        return None

    def measure(self, label, recorders, tiles16):
        self.start_client(recorders)
        self.click(CONNECT)
        time.sleep(2)
        self.click(TILES_16 if tiles16 else QUAD)
        time.sleep(5)  # warm-up
        t_from = time.monotonic_ns()
        rates, cpu, rss = self.rates(self.args.seconds)
        self.delays(label, recorders, t_from, time.monotonic_ns())
        total = sum(rates.values())
        per_picture = cpu / total * 1e6 if total else float("nan")
        print(f"{label}: pictures/s sent by recorder " +
              ", ".join(f"{r}: {v:.1f}" for r, v in sorted(rates.items())) +
              f" (total {total:.1f}); CPU {cpu * 100:.1f} % of a core = "
              f"{per_picture:.0f} us per picture; the X server {self.x_share * 100:.1f} %")
        kb = [v for _, v in rss]
        print(f"{label}: RSS {kb[0] / 1024:.1f} -> {kb[-1] / 1024:.1f} MB, highest "
              f"{max(kb) / 1024:.1f} MB, slope {slope(rss) * 3600 / 1024:+.1f} MB per hour")
        return per_picture

    def delays(self, label, recorders, t_from, t_to):
        """Picture-to-screen delays of the pictures sent between t_from and t_to."""
        time.sleep(1)  # the program's paint log is written once a second
        shown = {}  # slot -> [(ns, sequence word)] in paint order
        handed_to_screen = []  # ms from a picture's decode to the end of its paint
        for line in read(os.path.join(self.work, f"client{recorders}", "paint.txt")).splitlines():
            ns, slot, seq, handed = (int(v) for v in line.split())
            shown.setdefault(slot, []).append((ns, seq))
            handed_to_screen.append((ns - handed) / 1e6)
        delays, per_minute, unseen, early = [], {}, 0, 0
        for r in range(1, recorders + 1):
            sent = {}
            for line in read(os.path.join(self.work, f"sim{r}.sent")).splitlines():
                ns, seq, ch = (int(v) for v in line.split())
                if t_from <= ns <= t_to:
                    sent.setdefault(ch, []).append((ns, seq))
            for ch, pictures in sent.items():
                paints = shown.get(4 * (r - 1) + ch - 1, [])
                i = 0
                for ns, seq in pictures:
                    while i < len(paints) and paints[i][1] < seq:
                        i += 1
                    if i == len(paints):
                        unseen += 1
                        continue
                    ms = (paints[i][0] - ns) / 1e6
                    if ms < 0:
                        early += 1  # shown before it left: the logs disagree
                    delays.append(ms)
                    per_minute.setdefault((ns - t_from) // 60_000_000_000, []).append(ms)
        if not delays:
            print(f"{label}: no picture-to-screen delays (paint log missing?)")
            return
        frame = sum(1 for d in delays if d <= 1000 / 60) / len(delays) * 100
        print(f"{label}: picture to screen over {len(delays)} pictures: median "
              f"{percentile(delays, 50):.1f} ms, 99th percentile {percentile(delays, 99):.1f} ms, "
              f"highest {max(delays):.1f} ms, {frame:.1f} % within one display frame; "
              f"{unseen} never shown, {early} shown before sent")
        print(f"{label}: decoded picture to screen: median {percentile(handed_to_screen, 50):.1f} "
              f"ms, 99th percentile {percentile(handed_to_screen, 99):.1f} ms, highest "
              f"{max(handed_to_screen):.1f} ms, " +
              f"{sum(1 for d in handed_to_screen if d <= 1000 / 60) / len(handed_to_screen) * 100:.1f}"
              " % within one display frame")
        if len(per_minute) > 1:
            print(f"{label}: 99th percentile by minute: " +
                  ", ".join(f"{percentile(v, 99):.1f}" for _, v in sorted(per_minute.items())) +
                  " ms")

    def run(self):
        a = self.args
        self.start_xvfb()
        base = None
        if not a.no_baseline:
            self.start_sim(1, 1)
            base = self.measure("1 recorder, quad", 1, False)
            self.stop_client()
        for r in range(1, a.recorders + 1):
            self.start_sim(r, r)
        label = f"{a.recorders} recorders, 16 tiles"
        multi = self.measure(label, a.recorders, True)
        if base:
            print(f"CPU per picture, {a.recorders} recorders / 1 recorder: {multi / base:.2f}")

        # Click to answer: channel button 6 asks recorder 2 for its channel 2; the
        # 16-tile button asks it for all channels again.
        if a.recorders >= 2:
            answers = {"channel 6": [], "16 tiles": []}
            sniffer = Sniffer({self.ports[2]})
            sniffer.start()
            command = self.live_command(2)
            for _ in range(a.clicks):
                for name, point in (("channel 6", CHANNEL_6), ("16 tiles", TILES_16)):
                    t = self.click(point)
                    time.sleep(1.0)
                    dt = self.first_request(sniffer, 2, t, command)
                    if dt is not None:
                        answers[name].append(dt * 1000)
            sniffer.stopped = True
            for name, ms in answers.items():
                print(f"click on {name} to recorder 2's request: " +
                      (f"median {percentile(ms, 50):.0f} ms, highest {max(ms):.0f} ms "
                       f"({len(ms)} of {a.clicks})" if ms else "no answer"))

            # One recorder restarted, then silent: the others' rates meanwhile.
            last = a.recorders
            before, _, _ = self.rates(min(a.seconds, 10))
            self.start_sim(last, last)  # the restart closes the program's link
            during, _, _ = self.rates(min(a.seconds, 10))
            self.start_sim(last, last, ["--silent-after", "30"])
            silent, _, _ = self.rates(min(a.seconds, 20))
            for r in range(1, last):
                print(f"recorder {r} pictures/s: {before[r]:.1f} before, {during[r]:.1f} while "
                      f"recorder {last} restarted, {silent[r]:.1f} while it was silent")
        if self.client.poll() is not None:
            print(f"FAILED: the program ended by itself ({self.client.returncode})")
            return 1
        return 0

    def cleanup(self):
        self.stop_client()
        for r in list(self.sims):
            self.stop_sim(r)
        for p in self.procs:
            p.kill()
            p.wait()
        if self.args.keep:
            shutil.rmtree(self.args.keep, ignore_errors=True)
            shutil.copytree(self.work, self.args.keep, symlinks=True)
        shutil.rmtree(self.work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--recorders", type=int, default=4, choices=[2, 3, 4])
    parser.add_argument("--seconds", type=float, default=30)
    parser.add_argument("--clicks", type=int, default=10)
    parser.add_argument("--build", default="build", help="built tree holding bin/")
    parser.add_argument("--keep", help="copy the work folder (logs) here at the end")
    parser.add_argument("--no-baseline", action="store_true",
                        help="skip the one-recorder run")
    args = parser.parse_args()
    bench = Bench(args)
    try:
        code = bench.run()
    finally:
        bench.cleanup()
    sys.exit(code)


if __name__ == "__main__":
    main()
