#!/usr/bin/env bash
# The main job of ./run.sh: make the sample SD card of the TX50 family once
# (mkcard's demo preset), read it as the viewer does (kinetta-cli scan), show
# the telemetry of its first recording, then start the viewer on the card's
# first date folder with its settings file already written.
#   main-job.sh BUILD                  with a display: the viewer; without one:
#                                      a screenshot, BUILD/viewer-screenshot.png
#   main-job.sh BUILD --screenshot OUT the screenshot only, into OUT
# The screenshot is taken by tools/screenshot/viewer-screenshot under a
# 1920x1080 virtual X server: the viewer on the whole card, map window on,
# tiles from its own server on 127.0.0.1, once a recording plays and the map
# has loaded every tile in view.
set -euo pipefail
BUILD=$1
SHOT=
if [ "${2:-}" = "--screenshot" ]; then
  [ -n "${3:-}" ] || { echo "usage: main-job.sh BUILD [--screenshot OUT.png]" >&2; exit 2; }
  SHOT=$3
  mkdir -p "$(dirname "$SHOT")"
  SHOT="$(cd "$(dirname "$SHOT")" && pwd)/$(basename "$SHOT")"
fi
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

BUILD=$(cd "$BUILD" && pwd)
CARD=$(cd "$CARD" && pwd)
VIEWER="$BUILD/kinetta/app/kinetta"
SHOOTER="$BUILD/tools/screenshot/viewer-screenshot"
HAVE_DISPLAY=
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then HAVE_DISPLAY=1; fi

if [ -z "$SHOT" ] && [ -n "$HAVE_DISPLAY" ] && [ -x "$VIEWER" ]; then
  # The viewer reads "Default_Folder.ini" in the folder it starts in: the source
  # (the card's first date folder) and the product (3: the TX50 family).
  HOME_DIR="$BUILD/viewer"
  mkdir -p "$HOME_DIR"
  FOLDER=$(find "$CARD" -mindepth 1 -maxdepth 1 -type d -name '[0-9]*_[0-9]*' | sort | head -n 1)
  printf '[DISPLAY]\r\nINFOCHECK=31\r\nASPECT=on\r\nVOLUME=65535\r\nLOWLOAD=1\r\nMODELSELECT=3\r\n[SOURCE]\r\nSELECT=FOLDER\r\nFOLDER=%s\r\n' \
    "$FOLDER" > "$HOME_DIR/Default_Folder.ini"
  echo "== Starting the viewer on $FOLDER"
  cd "$HOME_DIR" && exec "$VIEWER"
fi

if [ -x "$SHOOTER" ]; then
  [ -n "$SHOT" ] || SHOT="$BUILD/viewer-screenshot.png"
  # A settings folder of its own, written afresh: the run points section
  # "MAP" at its tile server, whose port is gone afterwards. The source is the
  # card's root, so the tree shows every date folder and the newest opens.
  SHOT_DIR="$BUILD/screenshot"
  rm -rf "$SHOT_DIR"
  mkdir -p "$SHOT_DIR"
  printf '[DISPLAY]\r\nINFOCHECK=31\r\nASPECT=on\r\nVOLUME=65535\r\nLOWLOAD=1\r\nMODELSELECT=3\r\n[SOURCE]\r\nSELECT=FOLDER\r\nFOLDER=%s\r\n' \
    "$CARD" > "$SHOT_DIR/Default_Folder.ini"
  echo "== Screenshot: the viewer plays the card with the map shown (virtual X server)"
  xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" "$SHOOTER" "$SHOT_DIR" "$SHOT"
  echo "== Screenshot of the viewer: $SHOT"
fi
