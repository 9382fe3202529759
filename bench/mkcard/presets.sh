#!/usr/bin/env bash
# Generation speed and size of mkcard's presets, one JSON line per card:
# wall and CPU seconds, video frames per wall second, bytes on disk.
#   bench/mkcard/presets.sh BUILD_DIR [WORK_DIR] [PRESETS...]
# BUILD_DIR holds tools/mkcard/mkcard (any preset's build); WORK_DIR defaults to a
# temporary folder that is removed afterwards; PRESETS default to "test demo bench".
set -euo pipefail
build=${1:?usage: presets.sh BUILD_DIR [WORK_DIR] [PRESETS...]}
mkcard="$build/tools/mkcard/mkcard"
[ -x "$mkcard" ] || { echo "no mkcard in $build" >&2; exit 2; }
work=${2:-}
cleanup=0
if [ -z "$work" ]; then work=$(mktemp -d); cleanup=1; fi
shift $(( $# >= 2 ? 2 : 1 ))
presets=${*:-test demo bench}

for preset in $presets; do
  for family in tx40 tx50; do
    out="$work/$preset-$family"
    start=$(date +%s.%N)
    cpu0=$(awk '{print $14 + $15 + $16 + $17}' /proc/$$/stat)
    line=$("$mkcard" --family "$family" --preset "$preset" --out "$out" --force)
    end=$(date +%s.%N)
    # CPU time of the finished child, from this shell's accounting (clock ticks).
    cpu1=$(awk '{print $14 + $15 + $16 + $17}' /proc/$$/stat)
    ticks=$(getconf CLK_TCK)
    bytes=$(du -sb "$out" | cut -f1)
    frames=$(sed -E 's/.*"frames":([0-9]+).*/\1/' <<<"$line")
    awk -v p="$preset" -v f="$family" -v s="$start" -v e="$end" -v c0="$cpu0" -v c1="$cpu1" \
        -v t="$ticks" -v b="$bytes" -v n="$frames" 'BEGIN {
      wall = e - s; cpu = (c1 - c0) / t;
      printf "{\"preset\":\"%s\",\"family\":\"%s\",\"wall_s\":%.2f,\"cpu_s\":%.2f,\"frames\":%d,\"frames_per_wall_s\":%.1f,\"bytes\":%d}\n",
             p, f, wall, cpu, n, n / wall, b }'
    [ "$cleanup" = 1 ] && rm -rf "$out"
  done
done
[ "$cleanup" = 1 ] && rmdir "$work" 2>/dev/null || true
