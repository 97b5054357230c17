#!/bin/sh
# Runs one fuzz target of the "fuzz" build for a number of seconds on one core:
#   fuzz/run.sh TARGET [SECONDS] [libFuzzer options...]
# The corpus grows in build/fuzz-corpus/TARGET (seeded from build/fuzz-seeds/TARGET, see
# fuzz/make_seeds.py); the log and any crash-* input are left in build/fuzz-runs/TARGET,
# where those of earlier runs are moved to build/fuzz-runs/TARGET/earlier. A target with a
# dictionary fuzz/dicts/TARGET.dict (the words of its format) is given it. Exits non-zero
# when the run found a fault.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
target=$1
seconds=${2:-600}
[ $# -ge 2 ] && shift 2 || shift 1
corpus=$root/build/fuzz-corpus/$target
runs=$root/build/fuzz-runs/$target
mkdir -p "$corpus" "$runs"
for found in "$runs"/crash-* "$runs"/leak-* "$runs"/timeout-* "$runs"/oom-* "$runs"/slow-unit-*; do
  [ -e "$found" ] && mkdir -p "$runs/earlier" && mv "$found" "$runs/earlier/"
done
[ -d "$root/build/fuzz-seeds/$target" ] && cp -n "$root/build/fuzz-seeds/$target"/* "$corpus"/ 2>/dev/null || true
case $target in
  fuzz_dicom|fuzz_ge_headers) maxlen=150000 ;;
  *) maxlen=100000 ;;
esac
dict=
[ -f "$root/fuzz/dicts/$target.dict" ] && dict=-dict=$root/fuzz/dicts/$target.dict
cd "$runs"
# Undefined behaviour stops the run like a memory fault (the build does not recover from it
# either), so that its input is kept as a crash-* file and the run exits non-zero.
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}halt_on_error=1:print_stacktrace=1"
# The target's scratch folder goes on the memory file system where there is one (unless
# TMPDIR says otherwise): every save syncs its files, which on a disk takes most of an
# input's time in the batch and reader targets.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi
exec "$root/build/fuzz/fuzz/$target" -max_total_time="$seconds" -max_len=$maxlen -timeout=30 \
  -rss_limit_mb=2048 -print_final_stats=1 $dict "$@" "$corpus" > "$runs/$target.log" 2>&1
