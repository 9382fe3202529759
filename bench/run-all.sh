#!/usr/bin/env bash
# Runs the benchmarks of a bench build:   bench/run-all.sh BUILD_DIR
# 1. every Google Benchmark binary in BUILD_DIR/bench;
# 2. cli.sh: whole processes: `kinetta-cli info` against
#    `ffprobe -v error -show_streams` on one recording, and `kinetta-cli join`
#    of four 11 MB recordings against `cat` of them followed by `sync`;
#    scan.sh: the card scan; csv.sh: the CSV export of a 1,000-recording card;
# 3. join/join-vs-ffmpeg.sh: joining ten one-minute 1080p recordings with
#    `kinetta-cli join`, `ffmpeg -f concat -c copy` and `cp`; fileops.sh: the
#    save of a 1 GiB pair against `cp` + `sync`, a join of ten against `cat` + `sync`;
#    clips.sh: a 20 s event clip over two 1-minute 1080p recordings (its sources'
#    digests unknown, and known to the digest cache) against
#    `cat` of its bytes + `sync`, and `kinetta-cli clips` over 100 recordings;
# 4. player.sh: the movie player's figures, when a build with Qt is there
#    (PLAYER_BUILD, by default the release build next to BUILD_DIR);
# 5. convert.sh: the upload conversion against ffmpeg's v360 (same build).
# 6. card.sh: the viewer and kinetta-cli on the slow card (same build, /dev/fuse).
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
BUILD=$(cd "$1" && pwd)
status=0

for exe in "$BUILD"/bench/bench_*; do
  [ -x "$exe" ] && [ -f "$exe" ] || continue
  echo "== $(basename "$exe")"
  "$exe" --benchmark_min_time=1 || status=1
done

bash "$(dirname "$0")/cli.sh" "$BUILD" || status=1
bash "$(dirname "$0")/scan.sh" "$BUILD" 2000 || status=1
bash "$(dirname "$0")/csv.sh" "$BUILD" 1000 || status=1
bash "$(dirname "$0")/join/join-vs-ffmpeg.sh" "$BUILD" || status=1
bash "$(dirname "$0")/fileops.sh" "$BUILD" || status=1
bash "$(dirname "$0")/clips.sh" "$BUILD" || status=1
PLAYER_BUILD=${PLAYER_BUILD:-$(dirname "$BUILD")/release}
if [ -x "$PLAYER_BUILD/tools/player-bench/player-bench" ]; then
  bash "$(dirname "$0")/player.sh" "$PLAYER_BUILD" || status=1
else
  echo "== movie player figures skipped (no $PLAYER_BUILD/tools/player-bench/player-bench)"
fi
if [ -x "$PLAYER_BUILD/tools/kinetta-cli/kinetta-cli-draw" ]; then
  bash "$(dirname "$0")/convert.sh" "$PLAYER_BUILD" || status=1
else
  echo "== conversion figures skipped (no $PLAYER_BUILD/tools/kinetta-cli/kinetta-cli-draw)"
fi
if [ -x "$PLAYER_BUILD/tools/card-bench/card-figures" ] && [ -e /dev/fuse ]; then
  bash "$(dirname "$0")/card.sh" "$PLAYER_BUILD" || status=1
else
  echo "== slow card figures skipped (no $PLAYER_BUILD/tools/card-bench/card-figures or no /dev/fuse)"
fi
if [ -x "$PLAYER_BUILD/tools/map-bench/map-bench" ]; then
  bash "$(dirname "$0")/map.sh" "$PLAYER_BUILD" || status=1
else
  echo "== map figures skipped (no $PLAYER_BUILD/tools/map-bench/map-bench)"
fi
exit $status
