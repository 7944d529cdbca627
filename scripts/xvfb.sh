# Sourced by scripts that need a private X display. start_xvfb FIRST LAST LOG starts
# Xvfb (no TCP) on the first free display number from FIRST to LAST, writing its
# output to LOG, waits up to 10 s until its socket exists (else fails), sets
# `display` and appends the server's process id to the caller's `pids` array.
start_xvfb() {
  local n
  display=""
  for n in $(seq "$1" "$2"); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      display=":$n"
      break
    fi
  done
  [ -n "$display" ] || { echo "no free X display number" >&2; return 1; }
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$3" 2>&1 &
  pids+=($!)
  for n in $(seq 100); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && return 0
    sleep 0.1
  done
  echo "Xvfb did not start on $display (see $3)" >&2
  return 1
}
