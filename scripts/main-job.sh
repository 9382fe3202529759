#!/usr/bin/env bash
# The main job of ./run.sh while the viewer window is still being built:
# make the sample SD card of the TX50 family once (mkcard's demo preset), read
# it as the viewer does (kinetta-cli scan), show the telemetry of its first
# recording and draw one of its frames through the panorama display model.
set -euo pipefail
BUILD=$1
CLI="$BUILD/tools/kinetta-cli/kinetta-cli"
MKCARD="$BUILD/tools/mkcard/mkcard"
CARD="$BUILD/cards/tx50-demo"

if [ ! -f "$CARD/mkcard-manifest.json" ]; then
  echo "== Writing the sample card $CARD (once; about a minute)"
  mkdir -p "$(dirname "$CARD")"
  "$MKCARD" --family tx50 --preset demo --out "$CARD" --force
fi

echo "== Recordings on the card, as the viewer lists them"
SCAN=$("$CLI" scan --family tx50 --kind sd "$CARD")
if command -v python3 >/dev/null; then
  python3 - "$SCAN" <<'PY'
import json, sys
d = json.loads(sys.argv[1])
print(f"model key {d['modelKey']!r}, firmware {d['firmwareVersion']!r}, {len(d['entries'])} recordings")
for e in d["entries"]:
    print(f"  {e['displayName']:<24} front {e['frontSize'] >> 10:>7} KiB {e['frontFrames']:>5} frames"
          f"   rear {e['rearSize'] >> 10:>7} KiB {e['rearFrames']:>5} frames")
for t in d["tree"]:
    print(f"  folder {'  ' * t['depth']}{t['name']}  (trigger bits 0x{t['filterBits']:02x})")
PY
else
  echo "$SCAN"
fi

FIRST=${SCAN#*\"frontPath\":\"}
FIRST=${FIRST%%\"*}
if [ -n "$FIRST" ]; then
  echo "== Telemetry of $(basename "$FIRST") (first records)"
  "$CLI" telemetry --family tx50 "$FIRST" | cut -c1-600
  echo
  OUT="$BUILD/cards/preview-panorama.png"
  render() { "$CLI" render "$FIRST" --frame 30 --mode 4 --size 1280x720 --out "$OUT"; }
  if [ -n "${DISPLAY:-}" ]; then render; else xvfb-run -a -s "-screen 0 1920x1080x24" "$CLI" render "$FIRST" --frame 30 --mode 4 --size 1280x720 --out "$OUT"; fi \
    && echo "== Frame 30 drawn as a panorama: $OUT"
fi
