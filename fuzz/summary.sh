#!/bin/sh
# One line per fuzz target that fuzz/run.sh ran: executed inputs, crash inputs left, and the
# line coverage of its reader files (lowest file and all of them) from its corpus; needs the
# "fuzz-coverage" build.   fuzz/summary.sh [TARGET...]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -gt 0 ] || set -- $(ls "$root/build/fuzz-runs")
printf '%-22s %10s %7s  %-48s %s\n' target runs crashes "lowest file" total
for target in "$@"; do
  log=$root/build/fuzz-runs/$target/$target.log
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" 2>/dev/null | tail -n 1)
  crashes=$(ls "$root/build/fuzz-runs/$target" | grep -c -E '^(crash|leak|timeout|oom)-' || true)
  report=$("$root/fuzz/coverage.sh" "$target")
  lowest=$(echo "$report" | grep -v '^TOTAL' | grep '%$' | sort -k6 -n | head -n 1 | awk '{print $1 " " $6}')
  total=$(echo "$report" | awk '/^TOTAL/ {print $6}')
  printf '%-22s %10s %7s  %-48s %s\n' "$target" "${runs:-?}" "$crashes" "$lowest" "$total"
done
