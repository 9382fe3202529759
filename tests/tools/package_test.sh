#!/usr/bin/env bash
# The Debian package: built by CPack from the build folder given, unpacked
# into a scratch root with dpkg -x, and run from there: the installed
# kinetta-cli reads names and the installed mkcard's recording. Its control
# data declares the runtime libraries, and every library the unpacked programs
# load is present.
#   package_test.sh BUILD_DIR
set -euo pipefail
BUILD=$1
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$BUILD" && cpack -G DEB -B "$WORK/out" >"$WORK/cpack.log" 2>&1) || { cat "$WORK/cpack.log"; fail "cpack"; }
DEB=$(ls "$WORK"/out/kinetta_*.deb)
DEPENDS=$(dpkg-deb -f "$DEB" Depends)
for lib in libqt6core6 libqt6widgets6 libqt6webenginecore6 libavcodec libavformat libswscale libc6; do
  grep -q "$lib" <<<"$DEPENDS" || fail "Depends lacks $lib: $DEPENDS"
done
# Every dependency names an installed package of this machine (a real Debian package).
for dep in $(tr ',' '\n' <<<"$DEPENDS" | sed 's/(.*//; s/|.*//; s/ //g'); do
  dpkg-query -W -f='${Status}' "$dep" 2>/dev/null | grep -q "install ok installed" \
    || fail "dependency $dep is no installed Debian package"
done

ROOT="$WORK/root"
dpkg -x "$DEB" "$ROOT"
for f in usr/bin/kinetta usr/bin/kinetta-cli usr/bin/kinetta-cli-draw usr/bin/mkcard \
         usr/share/applications/org.kinetta.Kinetta.desktop \
         usr/share/metainfo/org.kinetta.Kinetta.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/org.kinetta.Kinetta.svg \
         usr/share/doc/kinetta/copyright usr/share/kinetta/endpoints.ini; do
  [ -e "$ROOT/$f" ] || fail "$f missing from the package"
done
for exe in "$ROOT"/usr/bin/*; do
  if ldd "$exe" | grep -q "not found"; then ldd "$exe"; fail "$exe misses a library"; fi
done

# Run from the scratch root with nothing of the build tree in reach.
RUN=(env -i PATH=/usr/bin:/bin HOME="$WORK")
OUT=$("${RUN[@]}" "$ROOT/usr/bin/kinetta-cli" names --family tx50 001_120000A_M.MP4)
grep -q '"name":"001_120000A_M.MP4"' <<<"$OUT" || fail "names: $OUT"
"${RUN[@]}" "$ROOT/usr/bin/mkcard" recording --family tx40 --out "$WORK/rec.MP4" >/dev/null
OUT=$("${RUN[@]}" "$ROOT/usr/bin/kinetta-cli" info --family tx40 "$WORK/rec.MP4")
grep -q '"ok":true' <<<"$OUT" || fail "info: ${OUT:0:300}"
OUT=$("${RUN[@]}" "$ROOT/usr/bin/kinetta-cli" gpx --family tx40 "$WORK/rec.MP4" --out "$WORK/rec.gpx")
grep -q '"ok":true' <<<"$OUT" || fail "gpx: $OUT"
echo "package test passed: $(basename "$DEB")"
