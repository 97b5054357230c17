#!/bin/sh
# Builds the fuzz targets and their coverage build, writes the seeds, runs every target (or
# those named) for SECONDS each, JOBS at a time, and prints fuzz/summary.sh's table:
#   fuzz/run_all.sh [-j JOBS] [-t SECONDS] [TARGET...]      (defaults: 4 at a time, 600 s)
# Exits non-zero when a target found a fault.
# Each target's corpus in build/fuzz-corpus/TARGET grows from run to run; remove that
# folder to start again from the seeds. JOBS also caps the build's parallel jobs.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=4
seconds=600
while getopts j:t: option; do
  case $option in
    j) jobs=$OPTARG ;;
    t) seconds=$OPTARG ;;
    *) echo "usage: fuzz/run_all.sh [-j JOBS] [-t SECONDS] [TARGET...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
cd "$root"
scripts/deps --fuzz
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/vexara-ccache}" CCACHE_MAXSIZE=5G
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"
for preset in fuzz fuzz-coverage; do
  cmake --preset "$preset" >/dev/null
  cmake --build "build/$preset" -j "$jobs" >/dev/null
done
python3 fuzz/make_seeds.py --jobs "$jobs"
[ $# -gt 0 ] || set -- $(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
echo "running $# targets for $seconds s each, $jobs at a time"
found=$(printf '%s\n' "$@" | xargs -P "$jobs" -I TARGET sh -c 'fuzz/run.sh TARGET '"$seconds"' || echo TARGET')
fuzz/summary.sh "$@"
# A target that found a fault fails the whole run.
for target in $found; do
  echo "$target found a fault: see build/fuzz-runs/$target"
done
[ -z "$found" ]
