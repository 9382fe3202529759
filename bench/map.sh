#!/usr/bin/env bash
# Figures of the map bridge and page:   bench/map.sh BUILD_DIR [RUNS]
# BUILD_DIR is a build with Qt WebEngine (the release preset) holding
# tools/map-bench. Each run starts the real page against a tile server on
# 127.0.0.1 and prints: page load (LoadPage -> ready -> tiles loaded), the
# host-call round trip over 1,000 calls (median, p95), and a group track of
# 100 recordings of 60 s (reading the files, the page's CreateLine). Runs
# under a virtual X server when there is no display.
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [RUNS]" >&2
  exit 2
fi
BUILD=$(cd "$1" && pwd)
RUNS=${2:-3}
BENCH="$BUILD/tools/map-bench/map-bench"
[ -x "$BENCH" ] || { echo "missing $BENCH (build the release preset)" >&2; exit 1; }
run() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" "$@"; fi
}
echo "== load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
for i in $(seq 1 "$RUNS"); do
  echo "== run $i"
  run "$BENCH" 2>/dev/null | grep '"figure"'
done
echo "== load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
