#!/usr/bin/env bash
# The viewer and kinetta-cli on a slow card:   bench/card.sh BUILD_DIR [RECORDINGS] [DELAY_MS]
# Builds a TX50 card of RECORDINGS front/rear pairs (default 5000) in 6 date
# folders, the first holding 999 (a full recorder folder), each file a hard
# link of one small mkcard recording. The card is shown through the slowcard
# FUSE layer (tests/support/slowcard) with DELAY_MS (default 2, a card in a
# USB 2 reader) before every open, read and stat, read-only, and read
# directly from its folder (ext4) for comparison. Prints, with the load
# average at each step:
#   - kinetta-cli scan of the card: its time, and the FUSE layer's counts of
#     opens and reads per recording file (no file may be opened twice);
#   - card-figures (tools/card-bench) on the slow card and on ext4: the
#     time from start-up to the first recording playing, the UI thread's worst
#     stall (a 5 ms probe timer's worst lateness) during start-up, a switch to
#     the 999-recording folder, each filter toggle and the map's group-track
#     rebuild, and the click-to-painted time of the folder switch and the
#     toggles. Targets: stalls <= 50 ms, folder click to list painted <= 300 ms.
set -euo pipefail
BUILD=$(cd "$1" && pwd)
N=${2:-5000}
DELAY=${3:-2}
CLI="$BUILD/tools/kinetta-cli/kinetta-cli"
MKCARD="$BUILD/tools/mkcard/mkcard"
LAYER="$BUILD/tests/support/slowcard/slowcard"
FIGURES="$BUILD/tools/card-bench/card-figures"
for tool in "$CLI" "$MKCARD" "$LAYER" "$FIGURES"; do
  [ -x "$tool" ] || { echo "missing $tool: build kinetta-cli mkcard slowcard card-figures (release preset)" >&2; exit 1; }
done
[ -e /dev/fuse ] || { echo "no /dev/fuse: the slow card cannot be mounted here" >&2; exit 1; }

# 3 s recordings: one of 2 s or less is too short to play (the viewer skips it).
DATA="$BUILD/bench-data/slow-card-3s-$N"
CARD="$DATA/card"
if [ ! -f "$DATA/.complete" ]; then
  rm -rf "$DATA"
  mkdir -p "$CARD"
  "$MKCARD" recording --family tx50 --out "$DATA/f.MP4" --duration 3 >/dev/null
  "$MKCARD" recording --family tx50 --content rear --out "$DATA/r.MP4" --duration 3 >/dev/null
  touch "$CARD/TX50_download.url"
  triggers=AGMPS
  rest=$(((N - 999 + 4) / 5))
  for ((i = 0; i < N; i++)); do
    if ((i < 999)); then f=0; k=$i; else f=$(((i - 999) / rest + 1)); k=$(((i - 999) % rest)); fi
    folder=$(printf '%s/202306%02d_001' "$CARD" $((f + 1)))
    [ -d "$folder" ] || mkdir -p "$folder"
    s=$((36000 + 2 * k))
    t=$(printf '%02d%02d%02d' $((s / 3600)) $((s / 60 % 60)) $((s % 60)))
    name=$(printf '%03d_%s%sNN' $((k % 999 + 1)) "$t" "${triggers:$((i % 5)):1}")
    ln "$DATA/f.MP4" "$folder/${name}_F.MP4"
    ln "$DATA/r.MP4" "$folder/${name}_R.MP4"
  done
  touch "$DATA/.complete"
fi

MNT=$(mktemp -d /tmp/kinetta-slow-card-XXXXXX)
"$LAYER" --read-only --delay-ms "$DELAY" "$CARD" "$MNT" &
LAYER_PID=$!
cleanup() {
  fusermount3 -u "$MNT" 2>/dev/null || fusermount3 -u -z "$MNT" 2>/dev/null || true
  wait "$LAYER_PID" 2>/dev/null || true
  rmdir "$MNT" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do [ -e "$MNT/.slowcard-counts" ] && break; sleep 0.1; done
[ -e "$MNT/.slowcard-counts" ] || { echo "the slow card did not mount" >&2; exit 1; }

load() { cut -d' ' -f1-3 /proc/loadavg; }
ms() { local s e; s=$(date +%s%N); "$@" >/dev/null 2>&1; e=$(date +%s%N); echo $(((e - s) / 1000000)); }

echo "== card of $N recordings ($((2 * N)) files) in 6 folders, ${DELAY} ms per call on the slow card"
cat "$MNT/.slowcard-reset" >/dev/null
s0=$(date +%s%N)
count=$("$CLI" scan --family tx50 --kind sd "$MNT" | grep -o '"listNumber"' | wc -l)
scan_slow=$((($(date +%s%N) - s0) / 1000000))
load_scan=$(load)
awk -v n="$N" -v t="$scan_slow" -v l="$load_scan" '
  $4 ~ /\.MP4$/ { files++; opens += $1; reads += $2; stats += $3; if ($1 > most) most = $1 }
  END { printf "kinetta-cli scan (slow card): %d ms (%.2f ms per recording); per file: %.2f opens (most %d), %.2f reads, %.2f stats over %d files; load %s\n",
        t, t / n, opens / files, most, reads / files, stats / files, files, l }' "$MNT/.slowcard-counts"
scan_ext4=$(ms "$CLI" scan --family tx50 --kind sd "$CARD")
echo "kinetta-cli scan (ext4, warm): $scan_ext4 ms; load $(load)"
echo "recordings listed (slow card): $count"

run_figures() {
  local where=$1 root=$2
  echo "-- viewer on the $where card (load before: $(load))"
  if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1920x1080x24" "$FIGURES" "$root" 1
  else
    "$FIGURES" "$root" 1
  fi | while IFS= read -r line; do echo "$line load $(load)"; done
}
run_figures slow "$MNT"
run_figures ext4 "$CARD"
