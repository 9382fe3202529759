#!/usr/bin/env bash
# Joining ten one-minute 1080p recordings, three ways in the same run:
#   kinetta-cli join      box-level join; the GPS block carried; the output
#                         synced to disk before it is renamed into place
#   ffmpeg concat         ffmpeg -f concat -c copy, the usual lossless
#                         concatenation (the recorder's GPS block is dropped)
#   cp                    the same ten files copied, nothing interpreted
#                         (and once more followed by a sync of the copies)
# Wall time and peak resident memory come from /usr/bin/time -v; JOIN_RUNS
# rounds (default 3), the tools taking turns, the median shown. The page cache
# is warmed before every run, so all read the sources from memory.
#   bench/join/join-vs-ffmpeg.sh BUILD_DIR
# The recordings are made once by mkcard into BUILD_DIR/bench-data/join
# (about 80 s of one core each) and reused by later runs.
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
BUILD=$(cd "$1" && pwd)
RUNS=${JOIN_RUNS:-3}
CLI="$BUILD/tools/kinetta-cli/kinetta-cli"
MKCARD="$BUILD/tools/mkcard/mkcard"
for tool in "$CLI" "$MKCARD"; do
  [ -x "$tool" ] || { echo "== join comparison skipped ($tool missing)"; exit 0; }
done
for tool in ffmpeg ffprobe /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "== join comparison skipped ($tool missing)"; exit 0; }
done

DATA="$BUILD/bench-data/join"
OUT="$DATA/out"
mkdir -p "$DATA"
FRAMES=1746 # 60 s at 34,364 us a frame

make_one() { # index
  local f
  f=$(printf '%s/rec%02d.MP4' "$DATA" "$1")
  [ -s "$f" ] && return 0
  "$MKCARD" recording --family tx40 --out "$f" --size 1920x1080 --duration 60 \
    --x264-preset ultrafast --first-frame $(($1 * FRAMES)) \
    --start "2024-03-01T10:$(printf %02d "$1"):00" >/dev/null
}
missing=0
for k in $(seq 0 9); do [ -s "$(printf '%s/rec%02d.MP4' "$DATA" "$k")" ] || missing=1; done
if [ $missing = 1 ]; then
  echo "== making ten 60 s 1080p recordings in $DATA with mkcard"
  export -f make_one
  export DATA MKCARD FRAMES
  seq 0 9 | xargs -P "$(nproc)" -I{} bash -c 'make_one {}'
fi
INPUTS=()
for k in $(seq 0 9); do INPUTS+=("$(printf '%s/rec%02d.MP4' "$DATA" "$k")"); done
LIST="$DATA/concat.txt"
: >"$LIST"
for f in "${INPUTS[@]}"; do printf "file '%s'\n" "$f" >>"$LIST"; done
BYTES=$(cat "${INPUTS[@]}" | wc -c)

TOOLS=(kinetta ffmpeg cp cp_sync)
declare -A LABEL=([kinetta]="kinetta-cli join" [ffmpeg]="ffmpeg -f concat -c copy"
                  [cp]="cp" [cp_sync]="cp, then sync")
declare -A WALL RSS

command_of() { # tool -> the command line in CMD
  case $1 in
    kinetta) CMD=("$CLI" join --family tx40 "$OUT/joined.MP4" "${INPUTS[@]}") ;;
    ffmpeg) CMD=(ffmpeg -v error -nostdin -y -f concat -safe 0 -i "$LIST" -map 0 -c copy
                 "$OUT/concat.MP4") ;;
    cp) CMD=(cp "${INPUTS[@]}" "$OUT/") ;;
    cp_sync) CMD=(bash -c 'out=$1; shift; cp "$@" "$out/" && sync "$out"/*' _ "$OUT"
                  "${INPUTS[@]}") ;;
  esac
}

measure() { # tool; adds its wall seconds and peak kbytes to WALL and RSS
  rm -rf "$OUT" && mkdir -p "$OUT"
  cat "${INPUTS[@]}" >/dev/null
  command_of "$1"
  /usr/bin/time -v -o "$DATA/time.txt" "${CMD[@]}" >/dev/null 2>"$DATA/stderr.txt" ||
    { echo "$1 failed:"; cat "$DATA/stderr.txt"; exit 1; }
  local wall kb
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0;
           for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$DATA/time.txt")
  kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$DATA/time.txt")
  WALL[$1]="${WALL[$1]:-} $wall"
  RSS[$1]="${RSS[$1]:-} $kb"
}

for ((r = 0; r < RUNS; r++)); do
  for t in "${TOOLS[@]}"; do measure "$t"; done
done

median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
echo "== joining ten 60 s 1080p recordings ($BYTES bytes), median of $RUNS runs"
printf '%-26s %10s %10s %12s\n' "" "seconds" "MB/s" "peak RSS MB"
for t in "${TOOLS[@]}"; do
  s=$(echo "${WALL[$t]}" | median)
  kb=$(echo "${RSS[$t]}" | median)
  awk -v l="${LABEL[$t]}" -v s="$s" -v kb="$kb" -v b="$BYTES" 'BEGIN {
    printf "%-26s %10.2f %10.0f %12.1f\n", l, s, (s > 0 ? b / s / 1e6 : 0), kb / 1024 }'
done

# What the two joined files hold (from the last round).
rm -rf "$OUT" && mkdir -p "$OUT"
for t in kinetta ffmpeg; do command_of $t && "${CMD[@]}" >/dev/null; done
for f in "$OUT/joined.MP4" "$OUT/concat.MP4"; do
  frames=$(ffprobe -v error -select_streams v:0 -count_packets \
    -show_entries stream=nb_read_packets -of csv=p=0 "$f")
  records=$({ "$CLI" telemetry --family tx40 "$f" || true; } | { grep -o '"valid":' || true; } | wc -l)
  printf '%-26s %s video frames (of %d), %s GPS records (of 600)\n' "$(basename "$f")" \
    "$frames" $((10 * FRAMES)) "$records"
done
rm -rf "$OUT"
