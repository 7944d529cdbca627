#!/usr/bin/env bash
# CPU and memory of the client showing the recorder simulator's 4 x 30 pictures
# per second (704 x 240 fields), live or (--playback) played back from the archive
# in four channels, measured from /proc/PID/stat (utime + stime of all its
# threads) and /proc/PID/status (VmRSS). --small-tiles shows the four live channels
# in 160 x 120 tiles (cells of a 4 x 4 grid), where pictures are decoded at half size.
#
# Everything stays on this machine: the simulator listens on 127.0.0.1, the client
# gets a private settings folder pointing at it and runs on its own Xvfb display.
# Each run warms up for 5 s and then measures for the given time, counting the
# pictures the client handed to its windows (its statistics line), so a simulator
# or client that falls behind on a busy machine does not skew the figure. Right
# after each run bench_decode decodes the very pictures the simulator sent (it saves
# its first 120), bare, in CPU time: the client's CPU time per picture over that bare
# decode compares across runs and machines, the percentage does not. The median
# ratio over the runs is printed last; --max-ratio R makes the script fail when it
# is above R.
#
# --size WxH and --camera DIR are handed to the simulator (picture size; camera
# pictures of that size in place of its drawn scene). A relative DIR is taken from
# the project's folder: bench/pictures holds camera pictures of 704 x 240, 720 x 288
# and 704 x 480.
#
# Usage: bench/live-cpu.sh [--runs N] [--seconds S] [--playback | --small-tiles]
#                          [--max-ratio R] [--size WxH] [--camera DIR]
# Environment: BUILD_DIR (a built tree, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

runs=3
seconds=30
mode=live
autoplay=0
small=0
max_ratio=""
sim_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift ;;
    --seconds) seconds=$2; shift ;;
    --playback) mode=playback; autoplay=1 ;;
    --small-tiles) mode="live, 160 x 120 tiles"; small=1 ;;
    --max-ratio) max_ratio=$2; shift ;;
    --size) sim_args+=(--size "$2"); shift ;;
    --camera) sim_args+=(--camera-pictures "$2"); shift ;;
    *) echo "usage: $0 [--runs N] [--seconds S] [--playback | --small-tiles] [--max-ratio R]" \
         "[--size WxH] [--camera DIR]" >&2
       exit 2 ;;
  esac
  shift
done
counter=live
[ "$autoplay" = 1 ] && counter=playback

bin="$root/${BUILD_DIR:-build}/bin"
for exe in Telvane4 telvane-recorder-sim bench_decode; do
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
# Pictures handed to the windows so far, from the last statistics line.
pictures() {
  tail -n 1 "$1" | tr ' ' '\n' | awk -F'[=,]' -v k="$counter" '$1==k{print $2+$3+$4+$5}'
}

ratios=()
for run in $(seq "$runs"); do
  dir="$work/run$run"
  mkdir -p "$dir/config/Telvane" "$dir/runtime" "$dir/cwd" "$dir/pictures"
  chmod 700 "$dir/runtime"
  "$bin/telvane-recorder-sim" --listen 127.0.0.1 --port 0 --fps 120 --log "$dir/sim.log" \
    --save-pictures "$dir/pictures" ${sim_args[@]+"${sim_args[@]}"} >"$dir/sim.out" 2>/dev/null &
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
    XDG_DATA_HOME="$dir/data" XDG_RUNTIME_DIR="$dir/runtime" TELVANE_AUTOCONNECT=1 \
    TELVANE_AUTOPLAY=$autoplay TELVANE_BENCH_SMALL_TILES=$small TELVANE_STATS="$dir/stats.log" \
    exec "$bin/Telvane4") \
    >"$dir/client.log" 2>&1 &
  client=$!
  pids+=("$client")
  sleep 5
  t0=$(ticks "$client")
  r0=$(rss "$client")
  p0=$(pictures "$dir/stats.log")
  sleep "$seconds"
  t1=$(ticks "$client")
  r1=$(rss "$client")
  p1=$(pictures "$dir/stats.log")
  kill "$client" "$sim" 2>/dev/null || true
  wait "$client" "$sim" 2>/dev/null || true
  if [ "$mode" = playback ] && ! grep -q '"COMMAND_RECORDER"' "$dir/sim.log"; then
    echo "run $run: the client never asked for playback" >&2
    exit 1
  fi
  n=$((p1 - p0))
  [ "$n" -gt 0 ] || { echo "run $run: no pictures were shown" >&2; exit 1; }
  bare=$("$bin/bench_decode" --pictures "$dir/pictures" 5 2 | awk '$1 ~ /^[0-9]+x[0-9]+$/{print $2; exit}')
  [ -n "$bare" ] || { echo "run $run: the bare decode failed" >&2; exit 1; }
  line=$(awk -v a="$t0" -v b="$t1" -v hz="$hz" -v s="$seconds" -v n="$n" -v bare="$bare" 'BEGIN{
    us = (b - a) / hz * 1e6 / n; bu = 1e6 / bare;
    printf "%.2f %.1f %.0f %.0f %.2f", (b - a) * 100 / hz / s, n / s, us, bu, us / bu}')
  read -r pct rate us bare_us ratio <<<"$line"
  echo "run $run ($mode): client CPU $pct % of one core over $seconds s, $rate pictures/s =" \
    "$us us per picture; bare decode of the same pictures $bare_us us;" \
    "ratio $ratio; RSS $r0 kB -> $r1 kB"
  ratios+=("$ratio")
done
median=$(printf '%s\n' "${ratios[@]}" | sort -g | awk '{v[NR]=$1} END{print v[int((NR+1)/2)]}')
echo "client per picture / bare decode, median of $runs: $median"
if [ -n "$max_ratio" ] && awk -v m="$median" -v x="$max_ratio" 'BEGIN{exit !(m > x)}'; then
  echo "the ratio $median is above $max_ratio" >&2
  exit 1
fi
