#!/usr/bin/env bash
# The file operations' work as whole processes, in one run:
#   1. save of a 1 GiB camera pair (two 512 MiB files) with `kinetta-cli save`
#      (the viewer's save: copies written beside their names, synced, renamed)
#      against `cp` of the same two files followed by `sync` of the copies;
#   2. join of ten recordings with `kinetta-cli join` (the join flow's
#      OpenJoin/AppendToJoin/WriteJoined, synced before the rename) against
#      `cat` of the same ten files into one followed by `sync` of that file.
# SAVE_RUNS / JOIN_RUNS rounds, taking turns, page cache warm; medians shown.
#   bench/fileops.sh BUILD_DIR
# The inputs are made once into BUILD_DIR/bench-data/fileops and reused.
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
BUILD=$(cd "$1" && pwd)
SAVE_RUNS=${SAVE_RUNS:-5}
JOIN_RUNS=${JOIN_RUNS:-7}
CLI="$BUILD/tools/kinetta-cli/kinetta-cli"
MKCARD="$BUILD/tools/mkcard/mkcard"
for tool in "$CLI" "$MKCARD"; do
  [ -x "$tool" ] || { echo "== file-operation comparison skipped ($tool missing)"; exit 0; }
done

DATA="$BUILD/bench-data/fileops"
OUT="$DATA/out"
mkdir -p "$DATA/pair" "$DATA/join" "$OUT"
now() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ms() { awk -v n="$1" 'BEGIN { printf "%.1f ms", n / 1e6 }'; }

# ---- 1. save of a 1 GiB pair against cp + sync ----
FRONT="$DATA/pair/001_120000A_M.MP4"
REAR="$DATA/pair/001_120000A_R.MP4"
for f in "$FRONT" "$REAR"; do
  if [ "$(stat -c %s "$f" 2>/dev/null || echo 0)" != 536870912 ]; then
    echo "== making $f (512 MiB)"
    head -c 536870912 /dev/urandom >"$f"
  fi
done
save=()
copy=()
for ((i = 0; i < SAVE_RUNS; i++)); do
  rm -rf "$OUT"/*
  mkdir -p "$OUT/save" "$OUT/cp"
  t0=$(now)
  "$CLI" save --family tx40 --out "$OUT/save" "$FRONT" >/dev/null
  t1=$(now)
  cp "$FRONT" "$REAR" "$OUT/cp/"
  sync "$OUT/cp/"*
  t2=$(now)
  save+=($((t1 - t0)))
  copy+=($((t2 - t1)))
done
cmp "$OUT/save/001_120000A_R.MP4" "$REAR"
s=$(printf '%s\n' "${save[@]}" | median)
c=$(printf '%s\n' "${copy[@]}" | median)
echo "== save of a 1 GiB pair, $SAVE_RUNS rounds, medians"
echo "kinetta-cli save:   $(ms "$s")"
echo "cp + sync:          $(ms "$c")"
awk -v a="$s" -v b="$c" 'BEGIN { printf "save / (cp + sync): %.2f (target at most 1.10)\n", a / b }'

# ---- 2. join of ten recordings against cat + sync ----
INPUTS=()
for k in $(seq 0 9); do
  f="$DATA/join/$(printf '%03d_11%02d00A_M.MP4' $((k + 1)) "$k")"
  INPUTS+=("$f")
  if [ ! -s "$f" ]; then
    echo "== making $f with mkcard"
    "$MKCARD" recording --family tx40 --out "$f" --size 1920x1080 --duration 10 \
      --x264-preset ultrafast --first-frame $((k * 292)) \
      --start "2024-03-01T11:$(printf %02d "$k"):00" >/dev/null
  fi
done
join=()
cat_=()
for ((i = 0; i < JOIN_RUNS; i++)); do
  rm -f "$OUT/joined.MP4" "$OUT/cat.MP4"
  t0=$(now)
  "$CLI" join --family tx40 "$OUT/joined.MP4" "${INPUTS[@]}" >/dev/null
  t1=$(now)
  cat "${INPUTS[@]}" >"$OUT/cat.MP4"
  sync "$OUT/cat.MP4"
  t2=$(now)
  join+=($((t1 - t0)))
  cat_+=($((t2 - t1)))
done
j=$(printf '%s\n' "${join[@]}" | median)
c=$(printf '%s\n' "${cat_[@]}" | median)
echo "== join of ten recordings ($(du -cb "${INPUTS[@]}" | tail -1 | cut -f1) bytes), $JOIN_RUNS rounds, medians"
echo "kinetta-cli join:   $(ms "$j")"
echo "cat + sync:         $(ms "$c")"
awk -v a="$j" -v b="$c" 'BEGIN { printf "join / (cat + sync): %.2f\n", a / b }'
rm -rf "$OUT"
