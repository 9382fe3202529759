#!/usr/bin/env bash
# Figures of the movie player on 1080p recordings:   bench/player.sh BUILD_DIR [SECONDS]
# BUILD_DIR is a build with Qt (the release preset) holding tools/player-bench
# and tools/mkcard. Runs under a virtual X server when there is no display.
# 1. paint cost by area size and display model (player-bench paint);
# 2. the player's decoding chain alone against `ffmpeg -f null` on the same
#    file; open -> UM_MOVIE_READY / first painted frame and scrub latency
#    (GOP 30) in one real movie area of 900x500;
# 3. frames shown against frames due for two 1080p streams at x1, x2, x4 for
#    SECONDS (60) each, in two real movie areas (VideoWidget, shown) of 900x500,
#    the main window's size, and of 1920x1080; decoding alone (x4, nothing
#    drawn) against ffmpeg.
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [SECONDS]" >&2
  exit 2
fi
BUILD=$(cd "$1" && pwd)
SECONDS_PER_RUN=${2:-60}
BENCH="$BUILD/tools/player-bench/player-bench"
MKCARD="$BUILD/tools/mkcard/mkcard"
for exe in "$BENCH" "$MKCARD"; do
  [ -x "$exe" ] || { echo "missing $exe (build the release preset)" >&2; exit 1; }
done
DATA="$BUILD/bench-data"
mkdir -p "$DATA"
# x4 for SECONDS needs 4 x SECONDS of movie.
MOVIE=$((SECONDS_PER_RUN * 4 + 10))
FILE="$DATA/front-1080p-gop30-${MOVIE}s.MP4"
if [ ! -s "$FILE" ]; then
  echo "== making $FILE (1080p, GOP 30, x264 veryfast)"
  "$MKCARD" recording --family tx40 --out "$DATA/.tmp.MP4" --content front --size 1920x1080 \
    --duration "$MOVIE" --gop 30 --x264-preset veryfast
  mv "$DATA/.tmp.MP4" "$FILE"
fi
run() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" "$@"; fi
}
echo "== load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== paint cost"
run "$BENCH" paint 9
# Both players play the same file (the front and rear streams of a drive cost the same to decode).
common=(--front "$FILE" --rear "$FILE" --movie-seconds "$MOVIE" --gop 30 --widgets)
echo "== decoding alone: the player's chain against ffmpeg"
"$BENCH" decode "$FILE"
echo "== latency"
run "$BENCH" "${common[@]}" --no-ffmpeg --area 900x500 --latency --players 1 --rates x1 --seconds 10
for area in 900x500 1920x1080; do
  echo "== two streams, movie areas of $area"
  run "$BENCH" "${common[@]}" --no-ffmpeg --area "$area" --players 2 --rates x1,x2,x4 \
    --seconds "$SECONDS_PER_RUN"
done
echo "== load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
