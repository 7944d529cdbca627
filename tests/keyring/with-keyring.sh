#!/usr/bin/env bash
# Runs a test program against a real Secret Service: gnome-keyring in a private
# D-Bus session, with a login keyring made for the run in a private home folder
# (never the user's own keyring or session). The daemon is ended by its process id.
# Where the keyring cannot start, it says why and exits 77, which CTest counts as
# skipped: never a silent pass.
# Usage: with-keyring.sh PROGRAM [ARGS...]
set -u
skip() {
  echo "SKIPPED: no keyring could be started for this test: $*"
  exit 77
}
for tool in dbus-run-session gnome-keyring-daemon secret-tool; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/deps.sh installs it)"
done

home=$(mktemp -d "${TMPDIR:-/tmp}/telvane-keyring.XXXXXX") || skip "no temporary folder"
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" \
       XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/run"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS GNOME_KEYRING_CONTROL SSH_AUTH_SOCK DISPLAY WAYLAND_DISPLAY
# The login keyring's own password, for this run only.
export TELVANE_TEST_KEYRING_PASSWORD="telvane-test-login"

# shellcheck disable=SC2016
dbus-run-session -- bash -c '
  printf %s "$TELVANE_TEST_KEYRING_PASSWORD" |
    gnome-keyring-daemon --foreground --login --components=secrets >"$HOME/daemon.log" 2>&1 &
  daemon=$!
  stop() { kill "$daemon" 2>/dev/null; wait "$daemon" 2>/dev/null; }
  # Once its control socket is up, start its Secret Service component (what D-Bus
  # activation would do on the first request).
  for _ in $(seq 50); do
    [ -S "$XDG_RUNTIME_DIR/keyring/control" ] && break
    sleep 0.1
  done
  gnome-keyring-daemon --start --components=secrets >/dev/null 2>&1
  ok=""
  for _ in $(seq 50); do
    printf probe | secret-tool store --label=probe telvane-probe 1 2>/dev/null &&
      [ "$(secret-tool lookup telvane-probe 1 2>/dev/null)" = probe ] && { ok=1; break; }
    sleep 0.1
  done
  if [ -z "$ok" ]; then
    stop
    echo "SKIPPED: no keyring could be started for this test: gnome-keyring did not answer"
    cat "$HOME/daemon.log"
    exit 77
  fi
  secret-tool clear telvane-probe 1
  "$@"
  rc=$?
  stop
  exit $rc
' with-keyring "$@"
