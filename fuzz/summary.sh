#!/bin/sh
# One line per fuzz target that fuzz/run.sh ran: seconds, executed inputs, inputs per second,
# fault inputs (crash, leak, timeout, out of memory) and inputs slower than 10 s of its last
# run, then the line coverage that its corpus reaches in the files it is meant for
# (fuzz/coverage.sh: file count, lines, coverage of them all and the lowest file); needs
# the "fuzz-coverage" build.   fuzz/summary.sh [TARGET...]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -gt 0 ] || set -- $(ls "$root/build/fuzz-runs")
printf '%-21s %5s %9s %7s %7s %5s %5s %6s %8s  %s\n' target s runs exec/s crashes slow files lines coverage "lowest file"
for target in "$@"; do
  log=$root/build/fuzz-runs/$target/$target.log
  final() { sed -n "s/^stat::$1: *//p" "$log" 2>/dev/null | tail -n 1; }
  seconds=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" 2>/dev/null | tail -n 1)
  crashes=$(ls "$root/build/fuzz-runs/$target" 2>/dev/null | grep -c -E '^(crash|leak|timeout|oom)-' || true)
  slow=$(ls "$root/build/fuzz-runs/$target" 2>/dev/null | grep -c '^slow-unit-' || true)
  report=$("$root/fuzz/coverage.sh" "$target" 2>&1) || report=""
  files=$(echo "$report" | grep -v '^TOTAL' | grep -c '%$' || true)
  lowest=$(echo "$report" | grep -v '^TOTAL' | grep '%$' | sort -k6 -n | head -n 1 | awk '{print $1 " " $6}')
  total=$(echo "$report" | awk '/^TOTAL/ {print $2, $6}')
  printf '%-21s %5s %9s %7s %7s %5s %5s %6s %8s  %s\n' "$target" "${seconds:-?}" "$(final number_of_executed_units)" \
    "$(final average_exec_per_sec)" "$crashes" "$slow" "$files" "${total% *}" "${total#* }" "${lowest:-(no coverage: see fuzz/coverage.sh $target)}"
done
