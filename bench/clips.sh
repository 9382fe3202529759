#!/usr/bin/env bash
# Event clips as whole processes, in one run:
#   1. a 20 s clip around a shock 5 s before the end of the first of two
#      consecutive 1-minute 1080p recordings (so it runs on into the second)
#      with `kinetta-cli clip` (join, trim, the clip synced before its rename,
#      SHA-256 of the clip and of both sources, the index), against `cat` of
#      the clip's bytes into a new file followed by `sync` of that file
#      (target: at most 1.2 times), twice:
#        first clip:  the sources' digests are not known yet (an empty digest
#                     cache): both sources are read and hashed;
#        known:       their digests are in the cache (as after the viewer has
#                     shown the recording, or after an earlier clip of it):
#                     only the clip is hashed, while it is written;
#      and the processor time of each (a machine shared with other work
#      stretches the wall-clock figures with the wait for a processor);
#   2. `kinetta-cli clips` over a folder of 100 recordings of which 10 carry
#      a shock: the time it takes with an empty digest cache, and once more
#      with the digests it kept.
# CLIP_RUNS rounds of each, taking turns, page cache warm; medians shown.
# The digest caches live under the bench folder (XDG_CACHE_HOME), never the
# user's.
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
EMPTY_CACHE="$OUT/cache-empty"
KNOWN_CACHE="$DATA/cache-known"
one_clip() { # CACHE_HOME OUT_DIR: one clip
  XDG_CACHE_HOME="$1" "$CLI" clip --family tx40 "$FIRST" --event 0 --before 10 --after 10 \
    --out "$2" >"$OUT/clip.json"
}
# The digests of both sources kept, as the viewer keeps them for the
# recording it shows (twice: a source changed less than 100 ms ago, as one
# just made, is not kept by the first).
mkdir -p "$OUT/fill" "$OUT/fill2"
one_clip "$KNOWN_CACHE" "$OUT/fill"
one_clip "$KNOWN_CACHE" "$OUT/fill2"
first=()
known=()
cat_=()
for ((i = 0; i < CLIP_RUNS; i++)); do
  rm -rf "${OUT:?}"/*
  mkdir -p "$OUT/first" "$OUT/known" "$OUT/cat" "$EMPTY_CACHE"
  t0=$(now)
  one_clip "$EMPTY_CACHE" "$OUT/first"
  t1=$(now)
  made=$(ls "$OUT"/first/EV_*.MP4)
  cat "$made" >"$OUT/cat/copy.MP4"
  sync "$OUT/cat/copy.MP4"
  t2=$(now)
  one_clip "$KNOWN_CACHE" "$OUT/known"
  t3=$(now)
  first+=($((t1 - t0)))
  cat_+=($((t2 - t1)))
  known+=($((t3 - t2)))
done
grep -q '"parts":\[{[^]]*},{' "$OUT/clip.json" || { echo "the clip did not run on into the second recording"; exit 1; }
f=$(printf '%s\n' "${first[@]}" | median)
k=$(printf '%s\n' "${known[@]}" | median)
c=$(printf '%s\n' "${cat_[@]}" | median)
sources=$(du -cb "$FIRST" "$SECOND" | tail -1 | cut -f1)
echo "== a 20 s clip of two 1-minute 1080p recordings ($(stat -c %s "$made") bytes of clip, $sources bytes of sources), $CLIP_RUNS rounds, medians; load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "cat + sync:                    $(ms "$c")"
echo "kinetta-cli clip, first clip:  $(ms "$f")"
awk -v a="$f" -v b="$c" 'BEGIN { printf "  first clip / (cat + sync):   %.2f\n", a / b }'
echo "kinetta-cli clip, known:       $(ms "$k")"
awk -v a="$k" -v b="$c" 'BEGIN { printf "  known / (cat + sync):        %.2f (target at most 1.20)\n", a / b }'
# Processor time (user and system, of the process and its threads; bash's
# time, to the millisecond) of one more round of each, and of cat + sync.
cpu() { # LABEL COMMAND...: runs it and prints its processor time
  local label=$1 times
  shift
  times=$({ TIMEFORMAT='%3U %3S'; time "$@" >/dev/null 2>&1; } 2>&1)
  awk -v l="$label" -v t="$times" 'BEGIN { split(t, v, " "); printf "%s processor time: %.0f ms (user %.0f, system %.0f)\n", l, (v[1] + v[2]) * 1000, v[1] * 1000, v[2] * 1000 }'
}
copy() { cat "$1" >"$2" && sync "$2"; }
rm -rf "${OUT:?}"/*
mkdir -p "$OUT/first" "$OUT/known" "$EMPTY_CACHE"
cpu "kinetta-cli clip, first  " one_clip "$EMPTY_CACHE" "$OUT/first"
cpu "kinetta-cli clip, known  " one_clip "$KNOWN_CACHE" "$OUT/known"
cpu "cat + sync               " copy "$(ls "$OUT"/known/EV_*.MP4)" "$OUT/copy.MP4"

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
rm -rf "${OUT:?}"/*
mkdir -p "$OUT/clips" "$OUT/again" "$OUT/card-cache"
t0=$(now)
XDG_CACHE_HOME="$OUT/card-cache" "$CLI" clips --family tx40 --kind folder "$DATA/card" --kinds shock \
  --out "$OUT/clips" >"$OUT/clips.json"
t1=$(now)
XDG_CACHE_HOME="$OUT/card-cache" "$CLI" clips --family tx40 --kind folder "$DATA/card" --kinds shock \
  --out "$OUT/again" >/dev/null
t2=$(now)
lines=$(wc -l <"$OUT/clips.json")
echo "== kinetta-cli clips over 100 recordings ($(du -cb "$DATA/card"/*.MP4 | tail -1 | cut -f1) bytes) with 10 shocks; load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "kinetta-cli clips, digests unknown: $(ms $((t1 - t0))) for $lines clips ($(du -cb "$OUT"/clips/*.MP4 | tail -1 | cut -f1) bytes written)"
echo "kinetta-cli clips, digests known:   $(ms $((t2 - t1)))"
rm -rf "$OUT"
