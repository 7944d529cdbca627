#!/usr/bin/env python3
"""Cable cut: how long the real program takes to show pictures again once a cut
link to the recorder is back, with and without the operator's buttons meanwhile.

The archive window plays; the recorder simulator is stopped (SIGSTOP: no close, no
reply, as a pulled cable would leave the link) for --cut seconds and then continued.
Meanwhile, per run, the operator does nothing ("idle"), presses Stop and then Play
during the attempts (after the reply timer's give-up) ("stop-play"), or only Stop ("stop", then only the login counts: playback
stays stopped). Printed per run: seconds from the cable's
return to the next login and to the next picture, read from the program's
statistics line (TELVANE_STATS, once a second: the figures are upper bounds, at most
about a second late).

Reuses bench/soak.py's program driver (Xvfb, private settings, xdotool clicks).
Run it inside a private network namespace:
  unshare -n bash -c 'ip link set lo up && bench/cablecut.py --runs idle,stop-play,stop'
"""

import argparse
import os
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import soak  # noqa: E402
from soak import ARCHIVE, ARCHIVE_SIZE, MAIN, MAIN_SIZE, pictures, now  # noqa: E402


REBUILDING = 4  # the statistics line's link=: 4..6 while a lost link is rebuilt


def wait_for(driver, test, timeout):
    end = now() + timeout
    while now() < end:
        s = driver.stats()
        if s and test(s):
            return s
        time.sleep(0.2)
    return None


def first_line_after(driver, t_ms, test):
    """The first statistics line written after t_ms that passes test."""
    for s in driver.all_stats():
        if s["time"] >= t_ms and test(s):
            return s
    return None


def play_archive(driver):
    if not driver.stats().get("archive"):
        driver.click(MAIN_SIZE, MAIN["archive"])
        if not wait_for(driver, lambda s: s.get("archive") == 1, 10):
            raise SystemExit("the archive window did not open")
        time.sleep(1)
    driver.click(ARCHIVE_SIZE, ARCHIVE["jumps"][0])
    time.sleep(0.3)
    driver.click(ARCHIVE_SIZE, ARCHIVE["play"]["forward"])
    before = pictures(driver.stats())
    if not wait_for(driver, lambda s: pictures(s) > before + 30, 15):
        raise SystemExit("no playback pictures")


def one_run(driver, mode, cut, press_at):
    play_archive(driver)
    time.sleep(2)
    before = driver.stats()
    os.kill(driver.sims[1].pid, signal.SIGSTOP)
    t_cut = now()
    if mode in ("stop", "stop-play"):
        # During the attempts: once the link is being rebuilt (the reply timer gives
        # up 15 s after the last picture; pictures still in the socket buffers come
        # in for some seconds after the cut).
        wait_for(driver, lambda s: s.get("link", 0) >= REBUILDING,
                 max(0.0, t_cut + cut - now() - 3))
        time.sleep(press_at)
        driver.click(ARCHIVE_SIZE, ARCHIVE["play"]["stop"])
        if mode == "stop-play":
            time.sleep(2)
            driver.click(ARCHIVE_SIZE, ARCHIVE["play"]["forward"])
    time.sleep(max(0.0, t_cut + cut - now()))
    os.kill(driver.sims[1].pid, signal.SIGCONT)
    back_ms = time.time() * 1000
    logins = before.get("logins", 0)
    wait_for(driver, lambda s: s.get("logins", 0) > logins and (
        mode == "stop" or pictures(s) > pictures(before)), 40)
    time.sleep(1.2)
    lines = driver.all_stats()
    base = max((pictures(s) for s in lines if s["time"] < back_ms), default=0)
    login = first_line_after(driver, back_ms, lambda s: s.get("logins", 0) > logins)
    pic = first_line_after(driver, back_ms, lambda s: pictures(s) > base)
    t_login = (login["time"] - back_ms) / 1000 if login else None
    t_pic = (pic["time"] - back_ms) / 1000 if pic and mode != "stop" else None
    attempts = driver.stats().get("attempts", 0) - before.get("attempts", 0)
    fmt = lambda t: "none" if t is None else f"{t:.1f} s"  # noqa: E731
    driver.log(f"{mode}: cut {cut:.0f} s; after the return: login {fmt(t_login)}, "
               f"pictures {fmt(t_pic) if mode != 'stop' else '(stopped)'}; "
               f"{attempts} connect attempts during the cut")
    return t_login, t_pic


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--cut", type=float, default=36)
    parser.add_argument("--press-at", type=float, default=1,
                        help="seconds into the rebuild for the Stop")
    parser.add_argument("--runs", default="idle,stop-play,stop")
    parser.add_argument("--repeat", type=int, default=1)
    parser.add_argument("--keep")
    args = parser.parse_args()
    args.seed = 1
    args.recorders = 1
    driver = soak.Soak(args)
    driver.build = os.path.abspath(os.path.join(soak.ROOT, args.build))
    driver.port = soak.free_port()
    driver.ports = {1: driver.port}
    failed = False
    try:
        driver.start_xvfb()
        driver.start_simulator([])
        driver.start_client()
        time.sleep(3)
        driver.click(MAIN_SIZE, MAIN["connect"])
        if not wait_for(driver, lambda s: s.get("logins", 0) >= 1 and pictures(s) > 0, 15):
            raise SystemExit("no first login")
        for _ in range(args.repeat):
            for mode in args.runs.split(","):
                t_login, t_pic = one_run(driver, mode, args.cut, args.press_at)
                t = t_login if mode == "stop" else t_pic
                failed |= t is None or t > 6
    finally:
        driver.cleanup()
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
