#!/usr/bin/env bash
# CSV export of a large card:   bench/csv.sh BUILD_DIR [RECORDINGS]
# Builds a TX40 card of RECORDINGS front/rear pairs (default 1000) of one-minute
# recordings at 27.5 frames/s in 10 date folders, each file a hard link of one
# mkcard recording (small pictures: the export reads the box tree, the sample
# tables and the GPS block, never the pictures), then times, warm:
#  - `kinetta-cli csv` (list walk plus one row per recording: box tree, stsz,
#    stts, tkhd of the rear file, the first GPS record, file sizes),
#  - `kinetta-cli scan` of the same card (the list walk alone),
#  - `ffprobe -show_entries stream=width,r_frame_rate,nb_frames` on 20 front
#    files (a user's way to read the same facts), scaled to one recording.
# The time per row is (csv - scan) / RECORDINGS. Median of 5 runs each.
set -euo pipefail
BUILD=$(cd "$1" && pwd)
N=${2:-1000}
CLI="$BUILD/tools/kinetta-cli/kinetta-cli"
MKCARD="$BUILD/tools/mkcard/mkcard"
DATA="$BUILD/bench-data"
CARD="$DATA/csv-card-$N"
OUT="$DATA/csv-out"
mkdir -p "$DATA"
if [ ! -f "$CARD/.complete" ]; then
  rm -rf "$CARD"
  mkdir -p "$CARD"
  "$MKCARD" recording --family tx40 --out "$DATA/csv-f.MP4" --duration 60 --fps 27.5 \
    --size 160x90 >/dev/null
  "$MKCARD" recording --family tx40 --content rear --out "$DATA/csv-r.MP4" --duration 60 \
    --fps 27.5 --size 160x90 --rear-size 160x90 >/dev/null
  touch "$CARD/TX40_40L_Viewer_download.url"
  for ((i = 0; i < N; i++)); do
    folder=$(printf '%s/202305%02d_001' "$CARD" $((i / 100 + 1)))
    mkdir -p "$folder"
    t=$(printf '%02d%02d%02d' $((i / 3600 % 24)) $((i / 60 % 60)) $((i % 60)))
    ln "$DATA/csv-f.MP4" "$(printf '%s/%03d_%sA_M.MP4' "$folder" $((i % 1000)) "$t")"
    ln "$DATA/csv-r.MP4" "$(printf '%s/%03d_%sA_R.MP4' "$folder" $((i % 1000)) "$t")"
  done
  touch "$CARD/.complete"
fi

ms() { local s e; s=$(date +%s%N); "$@" >/dev/null 2>&1; e=$(date +%s%N); echo $(((e - s) / 1000000)); }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
rm -rf "$OUT" && mkdir -p "$OUT"
"$CLI" csv --family tx40 --kind sd "$CARD" --out "$OUT" --overwrite
rows=$(($(find "$OUT" -name 'Dv_*.csv' -exec cat {} + | wc -l) - 1))
echo "== CSV export of $N pairs: $rows rows"
csv_ms=$(for r in 1 2 3 4 5; do ms "$CLI" csv --family tx40 --kind sd "$CARD" --out "$OUT" --overwrite; done | median)
scan_ms=$(for r in 1 2 3 4 5; do ms "$CLI" scan --family tx40 --kind sd "$CARD"; done | median)
mapfile -t fronts < <(find "$CARD" -name '*_M.MP4' | sort | head -20)
probe_all() {
  local f
  for f in "${fronts[@]}"; do
    ffprobe -v error -show_entries stream=width,r_frame_rate,nb_frames "$f"
  done
}
probe_ms=$(for r in 1 2 3; do ms probe_all; done | median)
echo "kinetta-cli csv ${csv_ms} ms, kinetta-cli scan ${scan_ms} ms"
awk -v c="$csv_ms" -v s="$scan_ms" -v n="$N" -v p="$probe_ms" 'BEGIN {
  printf "per recording: export %.3f ms (rows alone %.3f ms); ffprobe of one front file %.1f ms\n",
         c / n, (c - s) / n, p / 20 }'
