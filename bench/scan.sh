#!/usr/bin/env bash
# Scan time of a large card:   bench/scan.sh BUILD_DIR [RECORDINGS]
# Builds a TX50 card of RECORDINGS front/rear pairs (default 2000) in 20 date
# folders, each file a hard link of one small mkcard recording, then times
# `kinetta-cli scan` (the viewer's catalogue walk: names, pairing, end-marker
# check, frame counts) against `ls -lR` of the same tree, warm, and cold when
# the page cache can be dropped (root).
set -euo pipefail
BUILD=$(cd "$1" && pwd)
N=${2:-2000}
CLI="$BUILD/tools/kinetta-cli/kinetta-cli"
MKCARD="$BUILD/tools/mkcard/mkcard"
DATA="$BUILD/bench-data"
CARD="$DATA/card-$N"
mkdir -p "$DATA"
if [ ! -f "$CARD/.complete" ]; then
  rm -rf "$CARD"
  mkdir -p "$CARD"
  "$MKCARD" recording --family tx50 --out "$DATA/f.MP4" --duration 2 >/dev/null
  "$MKCARD" recording --family tx50 --content rear --out "$DATA/r.MP4" --duration 2 >/dev/null
  touch "$CARD/TX50_download.url"
  for ((i = 0; i < N; i++)); do
    folder=$(printf '%s/202305%02d_001' "$CARD" $((i / 100 + 1)))
    mkdir -p "$folder"
    t=$(printf '%02d%02d%02d' $((i / 3600 % 24)) $((i / 60 % 60)) $((i % 60)))
    ln "$DATA/f.MP4" "$(printf '%s/%03d_%sANN_F.MP4' "$folder" $((i % 1000)) "$t")"
    ln "$DATA/r.MP4" "$(printf '%s/%03d_%sANN_R.MP4' "$folder" $((i % 1000)) "$t")"
  done
  touch "$CARD/.complete"
fi

ms() { local s e; s=$(date +%s%N); "$@" >/dev/null 2>&1; e=$(date +%s%N); echo $(((e - s) / 1000000)); }
count=$("$CLI" scan --family tx50 --kind sd "$CARD" | grep -o '"listNumber"' | wc -l)
echo "== scan of $N pairs ($((2 * N)) files): $count recordings listed"
scan_ms=$(ms "$CLI" scan --family tx50 --kind sd "$CARD")
ls_ms=$(ms ls -lR "$CARD")
echo "warm: kinetta-cli scan ${scan_ms} ms ($(awk -v t="$scan_ms" -v n="$N" 'BEGIN{printf "%.3f", t/n}') ms per recording), ls -lR ${ls_ms} ms"
if [ -w /proc/sys/vm/drop_caches ] && sync && echo 3 > /proc/sys/vm/drop_caches 2>/dev/null; then
  cold_scan=$(ms "$CLI" scan --family tx50 --kind sd "$CARD")
  sync; echo 3 > /proc/sys/vm/drop_caches
  cold_ls=$(ms ls -lR "$CARD")
  echo "cold: kinetta-cli scan ${cold_scan} ms, ls -lR ${cold_ls} ms"
else
  echo "cold: page cache cannot be dropped here; not measured"
fi
