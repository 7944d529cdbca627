#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each one for a few
# seconds from its seed corpus, as a smoke test. Exits non-zero when a fuzzer finds a
# crash, a leak or undefined behaviour. Skipped (exit 0) when clang++ is missing.
# Usage: scripts/fuzz-smoke.sh [seconds per target, default 5]
# Environment: FUZZ_JOBS (build parallelism, default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-5}"

if ! command -v clang++ >/dev/null 2>&1 || ! command -v clang >/dev/null 2>&1; then
  echo "fuzz-smoke: clang++ not found, skipping the fuzz smoke test."
  exit 0
fi

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G "Unix Makefiles" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELVANE_FUZZ=ON -DTELVANE_BENCH=ON >/dev/null
targets=(fuzz_decode fuzz_marker fuzz_bmp fuzz_stream fuzz_eventfile fuzz_history)
cmake --build "$build" -j"${FUZZ_JOBS:-2}" --target "${targets[@]}" >/dev/null

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Absolute: a target may change its current folder (the stream target writes the
# event list file into a temporary one).
artifacts="$PWD/$build/fuzz-artifacts"
mkdir -p "$artifacts"
status=0
for t in "${targets[@]}"; do
  seeds="bench/fuzz/corpus/${t#fuzz_}"
  corpus="$work/$t"
  mkdir -p "$corpus"
  [ -d "$seeds" ] && cp "$seeds"/* "$corpus"/ 2>/dev/null || true
  echo "fuzz-smoke: $t for ${seconds}s"
  if ! "$build/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 \
       -artifact_prefix="$artifacts/$t-" "$corpus" >"$work/$t.log" 2>&1; then
    echo "fuzz-smoke: $t FOUND A PROBLEM; input saved under $artifacts/" >&2
    tail -n 40 "$work/$t.log" >&2
    status=1
  else
    grep -E "stat::number_of_executed_units" "$work/$t.log" | sed "s/^/  /" || true
  fi
done
exit $status
