#!/usr/bin/env bash
# The Debian package: built by CPack from the build folder given, checked by
# lintian (no error, no warning), unpacked into a scratch root with dpkg -x,
# and run from there: every program answers --help and --version without a
# display, the installed kinetta-cli reads names and the installed mkcard's
# recording. Its control data declares the runtime libraries, every library
# the unpacked programs load is present, and the copyright file is
# machine-readable with the licence the metainfo names.
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

# Debian's checker, with its informational and pedantic tags shown: errors and
# warnings fail (overrides only from the package's own overrides file).
LINT_STATUS=0
lintian --display-info --pedantic --fail-on error,warning "$DEB" >"$WORK/lintian.log" 2>&1 \
  || LINT_STATUS=$?
cat "$WORK/lintian.log"
if [ $LINT_STATUS -ne 0 ] || grep -q '^[EW]: ' "$WORK/lintian.log"; then
  fail "lintian reports errors or warnings (exit $LINT_STATUS)"
fi

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

# Run from the scratch root with nothing of the build tree in reach (and no
# display: env -i leaves DISPLAY and WAYLAND_DISPLAY out).
RUN=(env -i PATH=/usr/bin:/bin HOME="$WORK")
VERSION=$(dpkg-deb -f "$DEB" Version)
for name in kinetta kinetta-cli kinetta-cli-draw mkcard; do
  OUT=$("${RUN[@]}" "$ROOT/usr/bin/$name" --help) || fail "$name --help failed"
  [[ $OUT == "Usage: $name "* ]] || fail "$name --help: $OUT"
  OUT=$("${RUN[@]}" "$ROOT/usr/bin/$name" --version) || fail "$name --version failed"
  [ "$(head -n1 <<<"$OUT")" = "$name $VERSION" ] || fail "$name --version: $OUT"
done
# The changelog's latest entry is this version.
[[ $(gzip -dc "$ROOT/usr/share/doc/kinetta/changelog.gz" | head -n1) == "kinetta ($VERSION) "* ]] \
  || fail "changelog.gz does not start with version $VERSION"
# The copyright file read by python-debian (a reader nobody here wrote): every
# Files paragraph's licence has its text, the sources and the built-in Leaflet
# have the licences they are given, and the metainfo names the same licence.
/usr/bin/python3 - "$ROOT/usr/share/doc/kinetta/copyright" \
  "$ROOT/usr/share/metainfo/org.kinetta.Kinetta.metainfo.xml" <<'PY' || fail "copyright file"
import sys
import xml.etree.ElementTree as ET
import debian.copyright as dc
text = open(sys.argv[1], encoding="utf-8").read()
c = dc.Copyright(text.splitlines(True), strict=True)
texts = {p.license.synopsis for p in c.all_license_paragraphs() if p.license.text.strip()}
for p in c.all_files_paragraphs():
    assert p.license.text.strip() or p.license.synopsis in texts, f"no text for {p.license.synopsis}"
program = c.find_files_paragraph("kinetta/app/main.cpp").license.synopsis
leaflet = c.find_files_paragraph("map/leaflet/leaflet.js").license.synopsis
assert (program, leaflet) == ("GPL-3.0-or-later", "BSD-2-Clause"), (program, leaflet)
assert "LicenseRef" not in text
meta = ET.parse(sys.argv[2]).getroot().findtext("project_license")
assert meta == program, f"metainfo project_license {meta} differs from {program}"
PY
OUT=$("${RUN[@]}" "$ROOT/usr/bin/kinetta-cli" names --family tx50 001_120000A_M.MP4)
grep -q '"name":"001_120000A_M.MP4"' <<<"$OUT" || fail "names: $OUT"
"${RUN[@]}" "$ROOT/usr/bin/mkcard" recording --family tx40 --out "$WORK/rec.MP4" >/dev/null
OUT=$("${RUN[@]}" "$ROOT/usr/bin/kinetta-cli" info --family tx40 "$WORK/rec.MP4")
grep -q '"ok":true' <<<"$OUT" || fail "info: ${OUT:0:300}"
OUT=$("${RUN[@]}" "$ROOT/usr/bin/kinetta-cli" gpx --family tx40 "$WORK/rec.MP4" --out "$WORK/rec.gpx")
grep -q '"ok":true' <<<"$OUT" || fail "gpx: $OUT"
echo "package test passed: $(basename "$DEB")"
