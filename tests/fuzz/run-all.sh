#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for SECONDS each:
#   tests/fuzz/run-all.sh BUILD_DIR SECONDS
# Seeds come from tests/fuzz/corpus/<target>/ (read only); inputs the fuzzer
# finds go to BUILD_DIR/fuzz-corpus/<target>/, crashes to BUILD_DIR/fuzz-artifacts/.
# Exit status is non-zero when any target found a fault.
set -uo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 BUILD_DIR SECONDS" >&2
  exit 2
fi
BUILD=$(cd "$1" && pwd)
SECONDS_EACH=$2
HERE=$(cd "$(dirname "$0")" && pwd)
ARTIFACTS="$BUILD/fuzz-artifacts"
mkdir -p "$ARTIFACTS"
status=0
found=0
for exe in "$BUILD"/tests/fuzz/fuzz_*; do
  [ -x "$exe" ] && [ -f "$exe" ] || continue
  name=$(basename "$exe")
  found=1
  work="$BUILD/fuzz-corpus/$name"
  seeds="$HERE/corpus/$name"
  mkdir -p "$work" "$seeds"
  echo "== $name: ${SECONDS_EACH}s"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$exe" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$ARTIFACTS/$name-" -print_final_stats=1 "$work" "$seeds" \
      >"$BUILD/fuzz-$name.log" 2>&1
  rc=$?
  grep -E "^stat::(number_of_executed_units|peak_rss_mb)|^#[0-9]+ *DONE" "$BUILD/fuzz-$name.log" || true
  if [ $rc -ne 0 ]; then
    echo "!! $name failed (exit $rc); see $BUILD/fuzz-$name.log" >&2
    status=1
  fi
done
[ $found -eq 1 ] || { echo "no fuzz targets in $BUILD/tests/fuzz" >&2; exit 1; }
exit $status
