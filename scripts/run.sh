#!/usr/bin/env bash
# Builds Telvane4 and runs it against the recorder simulator on 127.0.0.1, with a
# private settings folder (never the user's own settings) whose "Setting" group
# points "Host IPAddress" at 127.0.0.1 and "Host Port" at the simulator's port.
#
# With a display: the client opens there; close it to end the run.
# Without one (or with --headless): everything runs under Xvfb, and after a few
# seconds a screenshot is written and its path printed, then all is stopped.
#
# With --recorders N (2-4): N simulators, each drawing its own site channels
# (--scene), each sending 4 x 30 pictures per second, set up as recorders 1-N
# ("Setting", "Setting2".."SettingN"); after Connect the 16-tile screen mode is
# selected, and the screenshot waits for every configured tile to move.
#
# With --zoom N (headless, one recorder): before the screenshot the wheel turns N
# notches in over the top-right quad tile, which zooms it (x1.25 a notch).
#
# Usage: scripts/run.sh [--headless] [--seconds N] [--screenshot FILE] [--recorders N]
#                       [--zoom N]
# Environment: JOBS (parallel build jobs, default: number of cores), BUILD_DIR
# (build folder, default build), RECORDER_FPS (with --recorders: pictures per second
# of each simulator over its four channels, default 120; lower it on a machine too
# busy to draw 4 x 120).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

headless=0
seconds=5
shot="$root/out/run-screenshot.png"
recorders=1
zoom=0
usage="usage: $0 [--headless] [--seconds N] [--screenshot FILE] [--recorders N] [--zoom N]"
while [ $# -gt 0 ]; do
  case "$1" in
    --headless) headless=1 ;;
    --seconds) seconds=$2; shift ;;
    --screenshot) shot=$2; shift ;;
    --recorders) recorders=$2; shift ;;
    --zoom) zoom=$2; shift ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
  shift
done
case "$recorders" in
  1 | 2 | 3 | 4) ;;
  *) echo "--recorders needs 1 to 4" >&2; exit 2 ;;
esac
[ -z "${DISPLAY:-}" ] && headless=1

scripts/deps.sh

# ---- build ----------------------------------------------------------------------
jobs=${JOBS:-$(nproc)}
builddir=${BUILD_DIR:-build}
cmake -S . -B "$builddir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$builddir" -j"$jobs" --target telvane
client="$root/$builddir/bin/Telvane4"
simulator="$root/$builddir/bin/telvane-recorder-sim"
if ! cmake --build "$builddir" -j"$jobs" --target telvane-recorder-sim; then
  echo "NOTE: the recorder simulator did not build; running the client without it." >&2
  simulator=""
fi

# ---- private folders and clean-up ----------------------------------------------------
work=$(mktemp -d "${TMPDIR:-/tmp}/telvane-run.XXXXXX")
chmod 700 "$work"
mkdir -p "$work/config/Telvane" "$work/runtime" "$work/cwd"
chmod 700 "$work/runtime"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---- simulators --------------------------------------------------------------------
# One recorder: the simulator's defaults, as always. Several: each stands for its own
# recorder of the site and sends 4 x 30 pictures per second.
start_simulator() { # $1 = recorder number; sets sim_port (empty if it did not start)
  local n=$1 out="$work/sim$1.out" pid
  sim_port=""
  local extra=()
  [ "$recorders" -gt 1 ] && extra=(--scene "$n" --fps "${RECORDER_FPS:-120}")
  "$simulator" --listen 127.0.0.1 --port 0 "${extra[@]}" >"$out" 2>"$work/sim$n.err" &
  pid=$!
  pids+=("$pid")
  for _ in $(seq 100); do
    grep -q '^LISTENING ' "$out" 2>/dev/null && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if grep -q '^LISTENING ' "$out" 2>/dev/null; then
    sim_port=$(awk '/^LISTENING /{print $2; exit}' "$out")
    echo "Recorder simulator $n (pid $pid) listening on 127.0.0.1:$sim_port"
  else
    echo "NOTE: recorder simulator $n did not start:" >&2
    sed 's/^/  /' "$work/sim$n.err" >&2 || true
    kill "$pid" 2>/dev/null || true
  fi
}
ports=()
for n in $(seq "$recorders"); do
  sim_port=""
  if [ -n "$simulator" ] && [ -x "$simulator" ]; then
    start_simulator "$n"
  elif [ "$n" -eq 1 ]; then
    echo "NOTE: no recorder simulator binary; running the client without it." >&2
  fi
  ports+=("${sim_port:-$((8000 + n - 1))}")
done
port=${ports[0]}

# The client's settings: QSettings' INI file, organisation "Telvane", application
# "Telvane4". QSettings writes a space in a key as %20, and reads it back that way.
# Recorders 2-4 have groups of their own with the same keys.
{
  printf '[Setting]\nHost%%20IPAddress=127.0.0.1\nHost%%20Port=%s\n' "$port"
  for n in $(seq 2 "$recorders"); do
    printf '\n[Setting%s]\nHost%%20IPAddress=127.0.0.1\nHost%%20Port=%s\nIp%%20Label=SITE %s\n' \
      "$n" "${ports[$((n - 1))]}" "$n"
  done
} >"$work/config/Telvane/Telvane4.conf"

export XDG_CONFIG_HOME="$work/config"
export XDG_RUNTIME_DIR="$work/runtime"
# ... and no session bus, so the demo's passwords stay out of the user's keyring
# (the program then keeps them in its private settings file, as with FILE).
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/telvane-demo-bus

# ---- client -------------------------------------------------------------------------
if [ "$headless" -eq 0 ]; then
  echo "Starting Telvane4 on $DISPLAY (recorders at 127.0.0.1:${ports[*]}); close it to end the run."
  (cd "$work/cwd" && "$client")
  exit 0
fi

. "$root/scripts/xvfb.sh"
start_xvfb 90 140 "$work/xvfb.log" || exit 1
export DISPLAY=$display
export QT_QPA_PLATFORM=xcb

# Connect is pressed with a click on the button (xdotool) or, without xdotool, by
# the client's TELVANE_AUTOCONNECT hook.
have_xdotool=0
command -v xdotool >/dev/null 2>&1 && have_xdotool=1
if [ "$have_xdotool" -eq 0 ]; then
  export TELVANE_AUTOCONNECT=1
fi

(cd "$work/cwd" && exec "$client") >"$work/client.out" 2>"$work/client.err" &
client_pid=$!
pids+=("$client_pid")
echo "Telvane4 (pid $client_pid) on Xvfb $display, recorders at 127.0.0.1:${ports[*]}"

# The main window: 877 x 685, the view fills it.
win=""
for _ in $(seq 100); do
  kill -0 "$client_pid" 2>/dev/null || break
  if [ "$have_xdotool" -eq 1 ]; then
    win=$(xdotool search --onlyvisible --pid "$client_pid" 2>/dev/null | head -n1 || true)
    [ -n "$win" ] && break
  else
    break
  fi
  sleep 0.1
done
if ! kill -0 "$client_pid" 2>/dev/null; then
  echo "Telvane4 ended early:" >&2
  cat "$work/client.err" >&2
  exit 1
fi
if [ -n "$win" ]; then
  sleep 0.5
  eval "$(xdotool getwindowgeometry --shell "$win")"
  # Centre of the Connect button at (228, 574), 33 x 32 in the view.
  xdotool mousemove "$((X + 228 + 16))" "$((Y + 574 + 16))" click 1
  xdotool mousemove "$((X + 850))" "$((Y + 120))"
  echo "Pressed Connect (window $win at $X,$Y)"
  if [ "$recorders" -gt 1 ]; then
    # The 16-tile screen-mode button at (674, 598), 40 x 25.
    sleep 0.5
    xdotool mousemove "$((X + 674 + 20))" "$((Y + 598 + 12))" click 1
    xdotool mousemove "$((X + 850))" "$((Y + 120))"
    echo "Selected 16 tiles"
  fi
fi

# Wait until all four tiles show moving pictures: two grabs a moment apart must
# differ inside every quad tile of the picture area (62, 22)-(702, 502); in 16 tiles
# inside every tile of the configured recorders (four per recorder, in order).
grab() {
  if [ -n "$win" ]; then
    import -display "$display" -window "$win" "$1"
  else
    import -display "$display" -window root "$1"
  fi
}
tiles_moving() {
  local ox=0 oy=0 x y moved
  if [ -z "$win" ]; then
    ox=$(( ($(identify -format '%w' "$1") - 877) / 2 ))
    oy=$(( ($(identify -format '%h' "$1") - 685) / 2 ))
  fi
  local cells=(63,23 383,23 63,263 383,263) size=318x238 i
  if [ "$recorders" -gt 1 ]; then
    cells=() size=158x118
    for i in $(seq 0 $((4 * recorders - 1))); do
      cells+=("$((63 + 160 * (i % 4))),$((23 + 120 * (i / 4)))")
    done
  fi
  for x_y in "${cells[@]}"; do
    x=$((ox + ${x_y%,*})); y=$((oy + ${x_y#*,}))
    moved=$(compare -metric AE -fuzz 6% "$1[$size+$x+$y]" "$2[$size+$x+$y]" null: 2>&1 || true)
    moved=${moved%%.*}; moved=${moved%% *}
    [[ "$moved" =~ ^[0-9]+$ ]] && [ "$moved" -ge 200 ] || return 1
  done
  return 0
}
deadline=$((SECONDS + seconds + 15))
sleep "$seconds"
shown=0
while [ $SECONDS -lt $deadline ]; do
  kill -0 "$client_pid" 2>/dev/null || break
  grab "$work/a.png"
  sleep 0.7
  grab "$work/b.png"
  if tiles_moving "$work/a.png" "$work/b.png"; then
    shown=1
    break
  fi
done
if ! kill -0 "$client_pid" 2>/dev/null; then
  echo "Telvane4 ended early:" >&2
  cat "$work/client.err" >&2
  exit 1
fi
[ "$shown" -eq 1 ] || echo "NOTE: the tiles did not all show moving pictures." >&2
sleep 1  # let the status block settle after the first pictures

if [ "$zoom" -gt 0 ] && [ -n "$win" ]; then
  # The top-right quad tile (383, 23), 318 x 238: wheel up over its burnt-in texts.
  xdotool mousemove "$((X + 383 + 240))" "$((Y + 23 + 80))" click --repeat "$zoom" 4
  echo "Zoomed the top-right tile by $zoom wheel notches"
  sleep 1
fi

mkdir -p "$(dirname "$shot")"
grab "$shot"
echo "Screenshot: $shot"
