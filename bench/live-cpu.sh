#!/usr/bin/env bash
# CPU and memory of the client showing the recorder simulator's 4 x 30 pictures
# per second (704 x 240 fields), live or (--playback) played back from the archive
# in four channels, measured from /proc/PID/stat (utime + stime of all its
# threads) and /proc/PID/status (VmRSS).
#
# Everything stays on this machine: the simulator listens on 127.0.0.1, the client
# gets a private settings folder pointing at it and runs on its own Xvfb display.
# Each run warms up for 5 s and then measures for the given time. The bare decode
# figure of bench_decode (same build, run right after) is printed too, since this
# machine's speed changes from hour to hour: the client's time per picture over
# the bare decode compares across runs and machines, the percentage does not.
#
# Usage: bench/live-cpu.sh [--runs N] [--seconds S] [--playback]
# Environment: BUILD_DIR (a built tree, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

runs=3
seconds=30
mode=live
autoplay=0
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift ;;
    --seconds) seconds=$2; shift ;;
    --playback) mode=playback; autoplay=1 ;;
    *) echo "usage: $0 [--runs N] [--seconds S] [--playback]" >&2; exit 2 ;;
  esac
  shift
done

bin="$root/${BUILD_DIR:-build}/bin"
for exe in Telvane4 telvane-recorder-sim; do
  [ -x "$bin/$exe" ] || { echo "$bin/$exe is missing: build first" >&2; exit 1; }
done
command -v Xvfb >/dev/null || { echo "Xvfb is missing" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/telvane-cpu.XXXXXX")
chmod 700 "$work"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

. "$root/scripts/xvfb.sh"
start_xvfb 150 199 "$work/xvfb.log" || exit 1

hz=$(getconf CLK_TCK)
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss() { awk '/^VmRSS/{print $2}' "/proc/$1/status"; }

total=0
for run in $(seq "$runs"); do
  dir="$work/run$run"
  mkdir -p "$dir/config/Telvane" "$dir/runtime" "$dir/cwd"
  chmod 700 "$dir/runtime"
  "$bin/telvane-recorder-sim" --listen 127.0.0.1 --port 0 --fps 120 --log "$dir/sim.log" \
    >"$dir/sim.out" 2>/dev/null &
  sim=$!
  pids+=("$sim")
  for _ in $(seq 100); do
    grep -q '^LISTENING ' "$dir/sim.out" 2>/dev/null && break
    sleep 0.1
  done
  port=$(awk '/^LISTENING /{print $2; exit}' "$dir/sim.out")
  [ -n "$port" ] || { echo "the simulator did not start" >&2; exit 1; }
  printf '[Setting]\nHost%%20IPAddress=127.0.0.1\nHost%%20Port=%s\n' "$port" \
    >"$dir/config/Telvane/Telvane4.conf"
  (cd "$dir/cwd" && DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$dir/config" \
    XDG_RUNTIME_DIR="$dir/runtime" TELVANE_AUTOCONNECT=1 TELVANE_AUTOPLAY=$autoplay \
    exec "$bin/Telvane4") \
    >"$dir/client.log" 2>&1 &
  client=$!
  pids+=("$client")
  sleep 5
  t0=$(ticks "$client")
  r0=$(rss "$client")
  sleep "$seconds"
  t1=$(ticks "$client")
  r1=$(rss "$client")
  pct=$(awk -v a="$t0" -v b="$t1" -v hz="$hz" -v s="$seconds" 'BEGIN{printf "%.2f", (b-a)*100/hz/s}')
  echo "run $run ($mode): client CPU $pct % of one core over $seconds s; RSS $r0 kB -> $r1 kB"
  total=$(awk -v t="$total" -v p="$pct" 'BEGIN{print t + p}')
  kill "$client" "$sim" 2>/dev/null || true
  wait "$client" "$sim" 2>/dev/null || true
  if [ "$mode" = playback ] && ! grep -q '"COMMAND_RECORDER"' "$dir/sim.log"; then
    echo "run $run: the client never asked for playback" >&2
    exit 1
  fi
done
mean=$(awk -v t="$total" -v n="$runs" 'BEGIN{printf "%.2f", t/n}')
perpic=$(awk -v m="$mean" 'BEGIN{printf "%.0f", m*10000/120}')
echo "mean: $mean % of one core = $perpic us of CPU per picture (120 pictures/s)"

if [ -x "$bin/bench_decode" ]; then
  bare=$("$bin/bench_decode" | awk '$1=="704x240"{print $2; exit}')
  if [ -n "$bare" ]; then
    awk -v p="$perpic" -v b="$bare" \
      'BEGIN{printf "bare decode now: %d pictures/s = %.0f us; client per picture / bare decode = %.2f\n", b, 1e6/b, p/(1e6/b)}'
  fi
fi
