#!/usr/bin/env bash
# Event clips as whole processes, in one run:
#   1. a 20 s clip around a shock 5 s before the end of the first of two
#      consecutive 1-minute 1080p recordings (so it runs on into the second)
#      with `kinetta-cli clip` (join, trim, the clip synced before its rename,
#      SHA-256 of both sources and of the clip, the index) against `cat` of
#      the clip's bytes into a new file followed by `sync` of that file
#      (target: at most 1.2 times);
#   2. `kinetta-cli clips` over a folder of 100 recordings of which 10 carry
#      a shock: the time it takes.
# CLIP_RUNS rounds of 1, taking turns, page cache warm; medians shown.
#   bench/clips.sh BUILD_DIR
# The inputs are made once into BUILD_DIR/bench-data/clips and reused.
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
BUILD=$(cd "$1" && pwd)
CLIP_RUNS=${CLIP_RUNS:-7}
CLI="$BUILD/tools/kinetta-cli/kinetta-cli"
MKCARD="$BUILD/tools/mkcard/mkcard"
for tool in "$CLI" "$MKCARD"; do
  [ -x "$tool" ] || { echo "== clip figures skipped ($tool missing)"; exit 0; }
done

DATA="$BUILD/bench-data/clips"
OUT="$DATA/out"
mkdir -p "$DATA/pair" "$DATA/card" "$OUT"
now() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ms() { awk -v n="$1" 'BEGIN { printf "%.1f ms", n / 1e6 }'; }

# ---- 1. a 20 s clip over two 1-minute 1080p recordings against cat + sync ----
FIRST="$DATA/pair/001_120000A_M.MP4"
SECOND="$DATA/pair/002_120100A_M.MP4"
if [ ! -s "$FIRST" ] || [ ! -s "$SECOND" ]; then
  echo "== making two 1-minute 1080p recordings with mkcard"
  "$MKCARD" recording --family tx40 --out "$FIRST" --size 1920x1080 --duration 60 \
    --x264-preset superfast --start 2024-03-01T12:00:00 --event shock-x@55 >/dev/null
  "$MKCARD" recording --family tx40 --out "$SECOND" --size 1920x1080 --duration 60 \
    --x264-preset superfast --start 2024-03-01T12:01:00 --first-frame 1746 >/dev/null
fi
clip=()
cat_=()
for ((i = 0; i < CLIP_RUNS; i++)); do
  rm -rf "$OUT"/*
  mkdir -p "$OUT/clip" "$OUT/cat"
  t0=$(now)
  "$CLI" clip --family tx40 "$FIRST" --event 0 --before 10 --after 10 --out "$OUT/clip" \
    >"$OUT/clip.json"
  t1=$(now)
  made=$(ls "$OUT"/clip/EV_*.MP4)
  cat "$made" >"$OUT/cat/copy.MP4"
  sync "$OUT/cat/copy.MP4"
  t2=$(now)
  clip+=($((t1 - t0)))
  cat_+=($((t2 - t1)))
done
grep -q '"parts":\[{[^]]*},{' "$OUT/clip.json" || { echo "the clip did not run on into the second recording"; exit 1; }
k=$(printf '%s\n' "${clip[@]}" | median)
c=$(printf '%s\n' "${cat_[@]}" | median)
echo "== a 20 s clip of two 1-minute 1080p recordings ($(stat -c %s "$made") bytes of clip, $(du -cb "$FIRST" "$SECOND" | tail -1 | cut -f1) bytes of sources), $CLIP_RUNS rounds, medians"
echo "kinetta-cli clip:   $(ms "$k")"
echo "cat + sync:         $(ms "$c")"
awk -v a="$k" -v b="$c" 'BEGIN { printf "clip / (cat + sync): %.2f (target at most 1.20)\n", a / b }'
# Processor time of one more round: on a machine shared with other work the
# wall-clock figures above grow with the wait for a processor, this does not.
rm -rf "$OUT"/clip/*
/usr/bin/time -f "%U %S" -o "$OUT/clip.time" "$CLI" clip --family tx40 "$FIRST" --event 0 \
  --before 10 --after 10 --out "$OUT/clip" >/dev/null
awk '{ printf "kinetta-cli clip processor time: %.0f ms (user %.0f, system %.0f; SHA-256 of %s source bytes)\n", ($1 + $2) * 1000, $1 * 1000, $2 * 1000, src }' \
  src="$(du -cb "$FIRST" "$SECOND" | tail -1 | cut -f1)" "$OUT/clip.time"

# ---- 2. clips of a folder of 100 recordings with 10 events ----
if [ "$(ls "$DATA/card"/*.MP4 2>/dev/null | wc -l)" != 100 ]; then
  echo "== making 100 recordings of 10 s (10 with a shock) with mkcard"
  rm -f "$DATA/card"/*
  for k in $(seq 0 99); do
    start=$((12 * 3600 + k * 10))
    name=$(printf '%03d_%02d%02d%02dA_M.MP4' $((k + 1)) $((start / 3600)) $((start / 60 % 60)) $((start % 60)))
    event=()
    if [ $((k % 10)) = 5 ]; then event=(--event shock-y@4); fi
    "$MKCARD" recording --family tx40 --out "$DATA/card/$name" --size 640x360 --duration 10 \
      --x264-preset ultrafast --first-frame $((k * 291)) \
      --start "2024-03-01T$(printf '%02d:%02d:%02d' $((start / 3600)) $((start / 60 % 60)) $((start % 60)))" \
      "${event[@]}" >/dev/null
  done
fi
rm -rf "$OUT"/*
mkdir -p "$OUT/clips"
t0=$(now)
"$CLI" clips --family tx40 --kind folder "$DATA/card" --kinds shock --out "$OUT/clips" >"$OUT/clips.json"
t1=$(now)
lines=$(wc -l <"$OUT/clips.json")
echo "== kinetta-cli clips over 100 recordings ($(du -cb "$DATA/card"/*.MP4 | tail -1 | cut -f1) bytes) with 10 shocks"
echo "kinetta-cli clips:  $(ms $((t1 - t0))) for $lines clips ($(du -cb "$OUT"/clips/*.MP4 | tail -1 | cut -f1) bytes written)"
rm -rf "$OUT"
