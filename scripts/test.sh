#!/usr/bin/env bash
# Builds Telvane and runs the whole test suite with ctest, inside a private network
# namespace (loopback only) wherever the machine allows one; the normal variant then
# builds and checks the Debian package (scripts/package-test.sh; it also installs
# and runs it when TELVANE_PACKAGE_INSTALL_TEST=1, as CI does).
# Usage: scripts/test.sh [--sanitize]
set -euo pipefail
cd "$(dirname "$0")/.."
variant=build
cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  variant=build-asan
  cmake_args=(-DCMAKE_BUILD_TYPE=Debug -DTELVANE_SANITIZE=ON -DTELVANE_BENCH=OFF)
fi
scripts/deps.sh
cmake -S . -B "$variant" -G "Unix Makefiles" "${cmake_args[@]}" >/dev/null
cmake --build "$variant" -j"$(nproc)" 2>&1 | grep -Ev '^\[ *[0-9]+%\]|^(Consolidate|Scanning|Automatic)' || true
cmake --build "$variant" -j"$(nproc)" >/dev/null   # fails the script if the build failed

export QT_QPA_PLATFORM=offscreen
# No test reaches the user's keyring: the keyring tests start their own in a private
# D-Bus session (tests/keyring/with-keyring.sh); everything else has no session bus.
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/telvane-test-bus
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Leaks inside the system's fontconfig and X libraries are not ours.
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp
ctest_cmd="cd '$PWD/$variant' && ctest --output-on-failure -j$(nproc) --timeout 600"

run_isolated() {
  if [ "$(id -u)" -eq 0 ] && unshare -n true 2>/dev/null; then
    echo "Running in a private network namespace (loopback only): $2"
    unshare -n bash -c "ip link set lo up && $1"
  elif unshare -rn true 2>/dev/null; then
    echo "Running in a private user and network namespace (loopback only): $2"
    unshare -rn bash -c "ip link set lo up && $1"
  else
    echo "WARNING: no private network namespace available; running on the host network." >&2
    echo "         It only ever addresses 127.0.0.1." >&2
    bash -c "$1"
  fi
}
run_isolated "$ctest_cmd" tests

if [ "$variant" = build ]; then
  # The mutation sampler's own check: one known fault in a copy of the tree must make
  # its unit test fail (it builds that one test and puts itself in a private namespace).
  python3 scripts/mutants.py --self-check --jobs "$(nproc)" --work "$PWD/.mutants/self-check"
  run_isolated "cd '$PWD' && scripts/package-test.sh '$variant'" "package test"
  # The live client's CPU per picture over the bare decode of the same pictures, in
  # one short run (bench/live-cpu.sh): it fails only on a large regression, since the
  # same build measures 1.4 to 2.2 on different machines.
  run_isolated "cd '$PWD' && BUILD_DIR='$variant' bench/live-cpu.sh --runs 1 --seconds 6 --max-ratio 2.5" \
    "live CPU per picture"
  # The real program recording full-rate playback with the default segments, in both
  # formats: every picture of every channel in the files, real time, memory bounded
  # (bench/record-e2e.py; 15 s here).
  run_isolated "cd '$PWD' && python3 bench/record-e2e.py --seconds 15 --steps 4 --channels --build '$variant'" \
    "full-rate recording"
  run_isolated "cd '$PWD' && python3 bench/record-e2e.py --seconds 15 --steps 4 --format MJPEG --channels --build '$variant'" \
    "full-rate recording, MJPEG"
fi

# The soak: the program driven like an operator under the recorder's faults, for
# TELVANE_SOAK_MINUTES minutes (CI runs a short one on the sanitizer build).
if [ -n "${TELVANE_SOAK_MINUTES:-}" ]; then
  run_isolated "cd '$PWD' && python3 bench/soak.py --minutes $TELVANE_SOAK_MINUTES --build $variant --healthy 15 --fault 15" soak
fi

if [ -x scripts/fuzz-smoke.sh ] && [ -z "${TELVANE_SKIP_FUZZ:-}" ] && [ "$variant" = build ]; then
  scripts/fuzz-smoke.sh
fi
