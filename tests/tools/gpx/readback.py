#!/usr/bin/env python3
"""Reads a GPX file of kinetta-cli gpx back with Python's XML parser and checks it
against the records that kinetta-cli telemetry prints for the same recordings.

usage: readback.py OUT.gpx TELEMETRY.json...   (one telemetry file per track, in order)

Checked: one track per recording named after it; the points are exactly the records
with a valid fix that are not at (0, 0), in order, with the same position (to the
nine decimals written), the record's local time (in the zone of TZ) as UTC, and the
speed; segments break where a record without a point (no fix, or (0, 0)) lies
between two points, and where consecutive points are farther apart than 0.001385
degrees (longitude scaled by the cosine of the later latitude). Prints one JSON line
with the segment start record indices of every track and exits 0, or prints what
differs and exits 1."""

import json
import math
import sys
import xml.etree.ElementTree as ET
from datetime import datetime, timezone

NS = {"g": "http://www.topografix.com/GPX/1/1", "kx": "urn:x-kinetta:gpx-extensions:1"}
BREAK = 0.001385


def fail(msg):
    print(msg)
    sys.exit(1)


def utc_of_local(text):
    # The machine's zone (TZ) decides, as the C library's mktime does.
    local = datetime.strptime(text, "%Y-%m-%d %H:%M:%S")
    return local.astimezone(timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")


def main():
    gpx_path, telemetry_paths = sys.argv[1], sys.argv[2:]
    root = ET.parse(gpx_path).getroot()
    if root.tag != "{%s}gpx" % NS["g"] or root.get("version") != "1.1":
        fail("not a GPX 1.1 root: %s %s" % (root.tag, root.get("version")))
    tracks = root.findall("g:trk", NS)
    if len(tracks) != len(telemetry_paths):
        fail("%d tracks for %d recordings" % (len(tracks), len(telemetry_paths)))
    starts_of_tracks = []
    for trk, tpath in zip(tracks, telemetry_paths):
        with open(tpath) as f:
            records = json.load(f)["records"]
        expected = [(i, r) for i, r in enumerate(records)
                    if r["valid"] and not (r["lat"] == 0 and r["lon"] == 0)]
        segments = trk.findall("g:trkseg", NS)
        points = [(si, p) for si, seg in enumerate(segments) for p in seg.findall("g:trkpt", NS)]
        if len(points) != len(expected):
            fail("%d points for %d valid records" % (len(points), len(expected)))
        starts = []
        prev = None
        for k, ((si, p), (ri, r)) in enumerate(zip(points, expected)):
            lat, lon = float(p.get("lat")), float(p.get("lon"))
            if abs(lat - r["lat"]) > 1e-6 or abs(lon - r["lon"]) > 1e-6:
                fail("record %d: (%s, %s) written as (%s, %s)" % (ri, r["lat"], r["lon"], lat, lon))
            t = p.findtext("g:time", namespaces=NS)
            if t != utc_of_local(r["time"]):
                fail("record %d: local %s written as %s" % (ri, r["time"], t))
            speed = float(p.findtext("g:extensions/kx:speed", namespaces=NS))
            if abs(speed - r["speed"]) > 1e-3:
                fail("record %d: speed %s written as %s" % (ri, r["speed"], speed))
            breaks = prev is None
            if prev is not None:
                dlat = r["lat"] - prev["lat"]
                dlon = (r["lon"] - prev["lon"]) * math.cos(math.radians(r["lat"]))
                breaks = math.hypot(dlat, dlon) > BREAK or ri != prev_index + 1
            new_segment = k == 0 or si != points[k - 1][0]
            if breaks != new_segment:
                fail("record %d: break %s but new segment %s" % (ri, breaks, new_segment))
            if new_segment:
                starts.append(ri)
            prev, prev_index = r, ri
        starts_of_tracks.append(starts)
    print(json.dumps({"segmentStarts": starts_of_tracks,
                      "waypoints": [w.findtext("g:name", namespaces=NS)
                                    for w in root.findall("g:wpt", NS)]}))


main()
