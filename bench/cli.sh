#!/usr/bin/env bash
# The command line as whole processes, in one run:
#   1. `kinetta-cli info` against `ffprobe -v error -show_streams` on one
#      recording (RUNS runs each, taking turns; one warm-up round);
#   2. `kinetta-cli join` of four 11 MB recordings against `cat` of the same
#      four files into one followed by `sync` of that output, which makes it
#      as durable as the join's output (the join syncs before it renames);
#      JOIN_RUNS rounds, taking turns, page cache warm, the median shown.
#   bench/cli.sh BUILD_DIR
# The recordings (1920x1080, 16 s, about 11 MB each) are made once by mkcard
# into BUILD_DIR/bench-data/cli and reused.
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
BUILD=$(cd "$1" && pwd)
RUNS=${RUNS:-200}
JOIN_RUNS=${JOIN_RUNS:-9}
CLI="$BUILD/tools/kinetta-cli/kinetta-cli"
MKCARD="$BUILD/tools/mkcard/mkcard"
for tool in "$CLI" "$MKCARD"; do
  [ -x "$tool" ] || { echo "== command-line comparison skipped ($tool missing)"; exit 0; }
done
command -v ffprobe >/dev/null || { echo "== command-line comparison skipped (no ffprobe)"; exit 0; }

DATA="$BUILD/bench-data/cli"
mkdir -p "$DATA"
INPUTS=()
for k in 0 1 2 3; do
  f="$DATA/$(printf '%03d_10%02d00A_M.MP4' $((k + 1)) "$k")"
  INPUTS+=("$f")
  if [ ! -s "$f" ]; then
    echo "== making $f with mkcard"
    "$MKCARD" recording --family tx40 --out "$f" --size 1920x1080 --duration 16 \
      --x264-preset ultrafast --first-frame $((k * 466)) \
      --start "2024-03-01T10:$(printf %02d "$k"):00" >/dev/null
  fi
done
now() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# ---- 1. info against ffprobe ----
FILE=${INPUTS[0]}
"$CLI" info --family tx40 "$FILE" >/dev/null || { echo "kinetta-cli info failed on $FILE" >&2; exit 1; }
ffprobe -v error -show_streams "$FILE" >/dev/null
cli_ns=0
probe_ns=0
for ((i = 0; i <= RUNS; i++)); do
  t0=$(now)
  "$CLI" info --family tx40 "$FILE" >/dev/null
  t1=$(now)
  ffprobe -v error -show_streams "$FILE" >/dev/null
  t2=$(now)
  if [ $i -gt 0 ]; then # the first round warms up
    cli_ns=$((cli_ns + t1 - t0))
    probe_ns=$((probe_ns + t2 - t1))
  fi
done
echo "== whole process, $RUNS runs each, $(stat -c %s "$FILE") bytes, $(ldd "$CLI" | wc -l) shared libraries"
awk -v c="$cli_ns" -v p="$probe_ns" -v n="$RUNS" 'BEGIN {
  printf "kinetta-cli info                %8.2f ms/run\n", c / n / 1e6;
  printf "ffprobe -v error -show_streams  %8.2f ms/run\n", p / n / 1e6;
  printf "ratio ffprobe / kinetta-cli     %8.1f (target at least 20)\n", p / c;
}'

# ---- 2. join against cat + sync ----
OUT="$DATA/out"
mkdir -p "$OUT"
BYTES=$(cat "${INPUTS[@]}" | wc -c)
join_times=()
cat_times=()
for ((i = 0; i < JOIN_RUNS; i++)); do
  rm -f "$OUT"/*
  cat "${INPUTS[@]}" >/dev/null # page cache warm for both
  sync
  t0=$(now)
  "$CLI" join --family tx40 "$OUT/joined.MP4" "${INPUTS[@]}" >/dev/null
  t1=$(now)
  join_times+=($((t1 - t0)))
  rm -f "$OUT"/*
  cat "${INPUTS[@]}" >/dev/null
  sync
  t0=$(now)
  cat "${INPUTS[@]}" >"$OUT/cat.MP4"
  sync "$OUT/cat.MP4"
  t1=$(now)
  cat_times+=($((t1 - t0)))
done
rm -f "$OUT"/*
join_ms=$(printf '%s\n' "${join_times[@]}" | median)
cat_ms=$(printf '%s\n' "${cat_times[@]}" | median)
echo "== join of four recordings, $BYTES bytes, median of $JOIN_RUNS rounds"
awk -v j="$join_ms" -v c="$cat_ms" -v b="$BYTES" 'BEGIN {
  printf "kinetta-cli join                %8.1f ms  %7.1f MB/s\n", j / 1e6, b / (j / 1e9) / 1e6;
  printf "cat + sync                      %8.1f ms  %7.1f MB/s\n", c / 1e6, b / (c / 1e9) / 1e6;
  printf "join / (cat + sync)             %8.2f (target at most 1.10)\n", j / c;
}'
