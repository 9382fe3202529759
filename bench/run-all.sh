#!/usr/bin/env bash
# Runs the benchmarks of a bench build:   bench/run-all.sh BUILD_DIR
# 1. every Google Benchmark binary in BUILD_DIR/bench;
# 2. whole processes on one file made by ffmpeg (one minute, 1280x720 H.264
#    and AAC, moov at the end): `kinetta-cli info` against
#    `ffprobe -v error -show_streams`, RUNS runs each, in the same run;
# 3. join/join-vs-ffmpeg.sh: joining ten one-minute 1080p recordings with
#    `kinetta-cli join`, `ffmpeg -f concat -c copy` and `cp`;
# 4. player.sh: the movie player's figures, when a build with Qt is there
#    (PLAYER_BUILD, by default the release build next to BUILD_DIR).
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
BUILD=$(cd "$1" && pwd)
RUNS=${RUNS:-100}
status=0

for exe in "$BUILD"/bench/bench_*; do
  [ -x "$exe" ] && [ -f "$exe" ] || continue
  echo "== $(basename "$exe")"
  "$exe" --benchmark_min_time=1 || status=1
done

CLI="$BUILD/tools/kinetta-cli/kinetta-cli"
if [ ! -x "$CLI" ] || ! command -v ffmpeg >/dev/null || ! command -v ffprobe >/dev/null; then
  echo "== whole-process comparison skipped (kinetta-cli, ffmpeg or ffprobe missing)"
  bash "$(dirname "$0")/scan.sh" "$BUILD" 2000 || status=1
exit $status
fi
DATA="$BUILD/bench-data"
mkdir -p "$DATA"
FILE="$DATA/minute-720p.mp4"
if [ ! -s "$FILE" ]; then
  echo "== making $FILE with ffmpeg"
  ffmpeg -v error -nostdin -y -f lavfi -i testsrc=duration=60:size=1280x720:rate=30 \
    -f lavfi -i sine=duration=60 -c:v libx264 -preset ultrafast -g 30 -c:a aac -shortest \
    "$DATA/.minute-720p.tmp.mp4"
  mv "$DATA/.minute-720p.tmp.mp4" "$FILE"
fi

time_runs() { # command... ; prints total nanoseconds of RUNS runs
  local start end
  start=$(date +%s%N)
  for ((i = 0; i < RUNS; i++)); do "$@" >/dev/null 2>&1; done
  end=$(date +%s%N)
  echo $((end - start))
}

"$CLI" info --family tx40 "$FILE" >/dev/null || { echo "kinetta-cli info failed on $FILE" >&2; exit 1; }
ffprobe -v error -show_streams "$FILE" >/dev/null
# One warm-up round each, then the measured runs.
time_runs "$CLI" info --family tx40 "$FILE" >/dev/null
cli_ns=$(time_runs "$CLI" info --family tx40 "$FILE")
probe_ns=$(time_runs ffprobe -v error -show_streams "$FILE")
echo "== whole process, $RUNS runs each, $(stat -c %s "$FILE") bytes"
awk -v c="$cli_ns" -v p="$probe_ns" -v n="$RUNS" 'BEGIN {
  printf "kinetta-cli info            %8.2f ms/run\n", c / n / 1e6;
  printf "ffprobe -show_streams       %8.2f ms/run\n", p / n / 1e6;
  printf "ratio ffprobe / kinetta-cli %8.2f\n", p / c;
}'
bash "$(dirname "$0")/scan.sh" "$BUILD" 2000 || status=1
bash "$(dirname "$0")/join/join-vs-ffmpeg.sh" "$BUILD" || status=1
PLAYER_BUILD=${PLAYER_BUILD:-$(dirname "$BUILD")/release}
if [ -x "$PLAYER_BUILD/tools/player-bench/player-bench" ]; then
  bash "$(dirname "$0")/player.sh" "$PLAYER_BUILD" || status=1
else
  echo "== movie player figures skipped (no $PLAYER_BUILD/tools/player-bench/player-bench)"
fi
exit $status
