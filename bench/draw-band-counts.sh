#!/bin/bash
# Instruction and simulated cache-miss counts per picture for every method of
# bench_draw_band, from callgrind (repeatable whatever else the machine runs).
# The simulated caches: a 32 KB 8-way first level and a 1 MB 8-way last level (one
# core's second level on the measuring machine; its 32 MB third level holds every
# buffer of the benchmark).
#   bench/draw-band-counts.sh [BUILD_DIR] [extra bench_draw_band options]
set -euo pipefail
build=${1:-build}
shift || true
bin="$build/bin/bench_draw_band"
[ -x "$bin" ] || { echo "no $bin (cmake --build $build --target bench_draw_band)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mapfile -t methods < <("$bin" --only '?' 2>&1 | grep -o '"[^"]*"' | tr -d '"')
printf "%-20s %10s %9s %9s %9s %9s\n" method Ir D1mr D1mw LLmr LLmw
for m in "${methods[@]}"; do
  out="$work/callgrind.out"
  n=$(valgrind --tool=callgrind --collect-atstart=no --cache-sim=yes \
        --D1=32768,8,64 --LL=1048576,8,64 --callgrind-out-file="$out" \
        "$bin" --only "$m" --rounds 1 --passes 4 "$@" 2>/dev/null |
      sed -n 's/.*: \([0-9]*\) pictures collected/\1/p')
  awk -v m="$m" -v n="$n" '
    /^events:/ { for (i = 2; i <= NF; i++) name[i] = $i }
    /^(summary|totals):/ && !done { for (i = 2; i <= NF; i++) v[name[i]] = $i; done = 1 }
    END { printf "%-20s %10.0f %9.0f %9.0f %9.0f %9.0f\n", m, v["Ir"] / n, v["D1mr"] / n,
          v["D1mw"] / n, v["DLmr"] / n, v["DLmw"] / n }' "$out"
done
echo "per picture; LL = the simulated 1 MB level"
