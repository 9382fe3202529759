#!/usr/bin/env bash
# Upload conversion against ffmpeg:   bench/convert.sh BUILD_DIR [PRESETS] [SIZES]
# On 20-s mkcard front (fisheye) recordings of each size of SIZES (default
# "1280x720 1920x1080"), in one run of whole processes for each x264 preset
# of PRESETS (default "veryfast superfast ultrafast"):
#   kinetta-cli convert --preset P            (unwrap, band, H.264 80 Mbit/s, sound copied, moov first)
#   ffmpeg -vf v360=input=fisheye:...:output=equirect,scale=1920:960 -c:v libx264 -b:v 80M
#          -preset P -c:a copy                (another fisheye model: a speed reference only)
# Prints frames per second, CPU (user + system over wall time, 100 % = one
# core, and in seconds), the real-time factor (movie seconds per wall second)
# and the ratio of the two frame rates (kinetta-cli / ffmpeg), then the
# preview's frames per second at 1000x500 (kinetta-cli convert --preview).
# For the choice of the CPU remap table over OpenGL it also times one
# 1920x960 and one 1000x500 draw of a display model's 65,536-vertex mesh from
# a 1080p frame on this machine's GL (kinetta-cli render --repeat).
# KINETTA_CLI=PATH measures another kinetta-cli build; KINETTA_CLI_BEFORE=PATH
# also runs an earlier build beside it on each recording and preset (under the
# same load). The load average is printed before every run.
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [PRESETS] [SIZES]" >&2
  exit 2
fi
BUILD=$(cd "$1" && pwd)
PRESETS=${2:-"veryfast superfast ultrafast"}
SIZES=${3:-"1280x720 1920x1080"}
CLI=${KINETTA_CLI:-"$BUILD/tools/kinetta-cli/kinetta-cli"}
MKCARD="$BUILD/tools/mkcard/mkcard"
for exe in "$CLI" "$MKCARD"; do
  [ -x "$exe" ] || { echo "missing $exe (build the release preset)" >&2; exit 1; }
done
DATA="$BUILD/bench-data"
mkdir -p "$DATA"
OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT

# The recording of one size, made once (x264 superfast, 20 s).
recording() {
  local file="$DATA/convert-front-$1-20s.MP4"
  if [ ! -s "$file" ]; then
    echo "== making $file ($1, 20 s, x264 superfast)" >&2
    "$MKCARD" recording --family tx50 --out "$DATA/.tmp.MP4" --content front --size "$1" \
      --duration 20 --x264-preset superfast >/dev/null
    mv "$DATA/.tmp.MP4" "$file"
  fi
  echo "$file"
}

# Runs a command under /usr/bin/time, prints one line of figures and leaves
# the frame rate in $FPS.
measure() {
  local label=$1
  shift
  local t="$OUT/time"
  local load
  load=$(cut -d' ' -f1 /proc/loadavg)
  /usr/bin/time -f "%e %U %S" -o "$t" "$@" >/dev/null 2>"$OUT/err" || {
    echo "$label: failed"; cat "$OUT/err" >&2; return 1; }
  read -r wall user sys <"$t"
  FPS=$(awk -v f="$FRAMES" -v w="$wall" 'BEGIN { printf "%.2f", f / w }')
  awk -v l="$label" -v w="$wall" -v u="$user" -v s="$sys" -v f="$FRAMES" -v m="$MOVIE_S" \
    -v load="$load" \
    'BEGIN { printf "%-38s %6.1f fps  CPU %4.0f %% (%.0f s)  real-time x%.2f  (%.1f s, load %s)\n",
             l, f / w, 100 * (u + s) / w, u + s, m / w, w, load }'
}

echo "== load average at start: $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) cores"
for size in $SIZES; do
  FILE=$(recording "$size")
  FRAMES=$(ffprobe -v error -select_streams v -show_entries stream=nb_frames -of csv=p=0 "$FILE")
  MOVIE_S=$(ffprobe -v error -select_streams v -show_entries stream=duration -of csv=p=0 "$FILE")
  echo "== $size: $FRAMES frames, $MOVIE_S s"
  for preset in $PRESETS; do
    measure "kinetta-cli convert $size ($preset)" "$CLI" convert --family tx50 "$FILE" \
      --out "$OUT/k.mp4" --preset "$preset"
    kfps=$FPS
    if [ -n "${KINETTA_CLI_BEFORE:-}" ]; then
      measure "earlier kinetta-cli $size ($preset)" "$KINETTA_CLI_BEFORE" convert --family tx50 \
        "$FILE" --out "$OUT/b.mp4" --preset "$preset"
      bfps=$FPS
    fi
    measure "ffmpeg v360 $size ($preset)" ffmpeg -nostdin -v error -y -i "$FILE" \
      -vf "v360=input=fisheye:ih_fov=360:iv_fov=360:output=equirect,scale=1920:960" \
      -c:v libx264 -b:v 80M -preset "$preset" -c:a copy "$OUT/f.mp4"
    awk -v k="$kfps" -v f="$FPS" -v l="$size $preset" \
      'BEGIN { printf "ratio %-31s x%.2f (kinetta-cli / ffmpeg frames per second)\n", l, k / f }'
    if [ -n "${KINETTA_CLI_BEFORE:-}" ]; then
      awk -v b="$bfps" -v f="$FPS" -v l="$size $preset" \
        'BEGIN { printf "ratio %-31s x%.2f (earlier kinetta-cli / ffmpeg)\n", l, b / f }'
    fi
    rm -f "$OUT/k.mp4" "$OUT/f.mp4" "$OUT/b.mp4"
  done
done
measure "preview 1000x500 (no writing)" "$CLI" convert --family tx50 "$FILE" --preview 1000x500
gl() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" "$@"; fi
}
for size in 1920x960 1000x500; do
  ms=$(gl "$CLI" render "$FILE" --frame 100 --mode 4 --size "$size" --out "$OUT/r.png" --repeat 10 \
    2>/dev/null | sed -n 's/.*"drawMs":\([0-9.]*\).*/\1/p')
  echo "GL draw of one $size picture: ${ms:-?} ms"
done
echo "== load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
