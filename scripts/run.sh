#!/usr/bin/env bash
# Builds Telvane4 and runs it against the recorder simulator on 127.0.0.1, with a
# private settings folder (never the user's own settings) whose "Setting" group
# points "Host IPAddress" at 127.0.0.1 and "Host Port" at the simulator's port.
#
# With a display: the client opens there; close it to end the run.
# Without one (or with --headless): everything runs under Xvfb, and after a few
# seconds a screenshot is written and its path printed, then all is stopped.
#
# Usage: scripts/run.sh [--headless] [--seconds N] [--screenshot FILE]
# Environment: JOBS (parallel build jobs, default: number of cores), BUILD_DIR
# (build folder, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

headless=0
seconds=5
shot="$root/out/run-screenshot.png"
while [ $# -gt 0 ]; do
  case "$1" in
    --headless) headless=1 ;;
    --seconds) seconds=$2; shift ;;
    --screenshot) shot=$2; shift ;;
    *) echo "usage: $0 [--headless] [--seconds N] [--screenshot FILE]" >&2; exit 2 ;;
  esac
  shift
done
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

# ---- simulator --------------------------------------------------------------------
port=8000
if [ -n "$simulator" ] && [ -x "$simulator" ]; then
  "$simulator" --listen 127.0.0.1 --port 0 >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  pids+=("$sim_pid")
  for _ in $(seq 100); do
    grep -q '^LISTENING ' "$work/sim.out" 2>/dev/null && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  if grep -q '^LISTENING ' "$work/sim.out" 2>/dev/null; then
    port=$(awk '/^LISTENING /{print $2; exit}' "$work/sim.out")
    echo "Recorder simulator (pid $sim_pid) listening on 127.0.0.1:$port"
  else
    echo "NOTE: the recorder simulator did not start; running the client without it:" >&2
    sed 's/^/  /' "$work/sim.err" >&2 || true
    kill "$sim_pid" 2>/dev/null || true
  fi
else
  echo "NOTE: no recorder simulator binary; running the client without it." >&2
fi

# The client's settings: QSettings' INI file, organisation "Telvane", application
# "Telvane4". QSettings writes a space in a key as %20, and reads it back that way.
cat >"$work/config/Telvane/Telvane4.conf" <<EOF
[Setting]
Host%20IPAddress=127.0.0.1
Host%20Port=$port
EOF

export XDG_CONFIG_HOME="$work/config"
export XDG_RUNTIME_DIR="$work/runtime"

# ---- client -------------------------------------------------------------------------
if [ "$headless" -eq 0 ]; then
  echo "Starting Telvane4 on $DISPLAY (recorder 127.0.0.1:$port); close it to end the run."
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
echo "Telvane4 (pid $client_pid) on Xvfb $display, recorder 127.0.0.1:$port"

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
fi

# Wait until all four tiles show moving pictures: two grabs a moment apart must
# differ inside every quad tile of the picture area (62, 22)-(702, 502).
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
  for x_y in 63,23 383,23 63,263 383,263; do
    x=$((ox + ${x_y%,*})); y=$((oy + ${x_y#*,}))
    moved=$(compare -metric AE -fuzz 6% "$1[318x238+$x+$y]" "$2[318x238+$x+$y]" null: 2>&1 || true)
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
[ "$shown" -eq 1 ] || echo "NOTE: the four tiles did not all show moving pictures." >&2
sleep 1  # let the status block settle after the first pictures

mkdir -p "$(dirname "$shot")"
grab "$shot"
echo "Screenshot: $shot"
