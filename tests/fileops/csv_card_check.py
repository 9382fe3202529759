#!/usr/bin/env python3
"""Exports the recording list of an mkcard card with `kinetta-cli csv` and reads
the file back with Python's csv module, as a spreadsheet would: one row per
recording of the manifest's list, in list order, each cell as the manifest
says. A second export into the same folder refuses to overwrite unless asked.

usage: csv_card_check.py KINETTA_CLI CARDS_DIR FAMILY
"""
import csv
import io
import json
import math
import os
import struct
import subprocess
import sys
import tempfile

cli, cards, family = sys.argv[1], sys.argv[2], sys.argv[3]
card = os.path.join(cards, family)
manifest = json.load(open(os.path.join(card, "mkcard-manifest.json"), encoding="utf-8"))
files = {f["path"]: f for f in manifest["files"]}
tx50 = family == "tx50"
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def snap(fps):
    for low, high, to in ((4.75, 5.25, 5.0), (27.25, 27.75, 27.5), (27.75, 28.25, 28.0)):
        if low <= fps < high:
            return to
    return fps


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def run(out, *extra):
    return subprocess.run([cli, "csv", "--family", family, "--kind", "sd", card, "--out", out, *extra],
                          capture_output=True, text=True)


with tempfile.TemporaryDirectory() as out:
    first = run(out)
    check(first.returncode == 0, f"export failed: {first.stdout} {first.stderr}")
    result = json.loads(first.stdout)
    path = result["path"]
    list_ = manifest["catalogue"]
    first_file = files[list_[0]["front"] or list_[0]["rear"]]
    stamp = first_file["gps"]["first_time"].replace("-", "").replace(":", "").replace("T", "_")
    check(os.path.basename(path) == f"Dv_{stamp}.csv", f"name {path}")

    raw = open(path, "rb").read()
    check(not raw.startswith(b"\xef\xbb\xbf"), "byte-order mark")
    check(raw.count(b"\r\n") == raw.count(b"\n") == len(list_) + 1, "lines must end in CR LF")
    rows = list(csv.reader(io.StringIO(raw.decode("utf-8"), newline="")))
    header, body = rows[0], rows[1:]
    check(len(header) == (11 if tx50 else 9), f"header {header}")
    check(header[0] == "ファイル名" and header[-1] == "リヤカメラデータサイズ", f"header {header}")
    check(len(body) == len(list_), f"{len(body)} rows for {len(list_)} recordings")

    for entry, row in zip(list_, body):
        where = entry["display_name"]
        check(len(row) == len(header), f"{where}: {len(row)} cells")
        if len(row) != len(header):
            continue
        measured = files[entry["front"] or entry["rear"]]
        check(row[0] == (os.path.basename(entry["front"]) if entry["front"] else "-"), f"{where}: name {row[0]}")
        fps = f32(1e6 / measured["frame_us"])
        if measured["frames"] / fps <= 1.5:
            check(row[1:] == ["-"] * (7 if tx50 else 5) + ["fps", "0MB", "0MB"], f"{where}: short row {row}")
            continue
        fps = snap(fps)
        start = measured["gps"]["first_time"] if measured["gps"]["present"] and measured["gps"]["records"] else None
        if start:
            check(row[1] == start[:10].replace("-", "/") and row[2] == start[11:19], f"{where}: time {row[1:3]}")
        else:
            check(row[1:3] == ["--/--/--", "--:--:--"], f"{where}: time {row[1:3]}")
        # Whole seconds; frames that make N seconds within half a frame read N.
        exact = measured["frames"] / fps
        nearest = math.floor(exact + 0.5)
        seconds = nearest if abs(measured["frames"] - nearest * fps) <= 0.5 else math.floor(exact)
        check(row[3] == "%02d:%02d:%02d" % (seconds // 3600, seconds // 60 % 60, seconds % 60),
              f"{where}: length {row[3]} for {measured['frames']} frames at {fps}")
        cells = row[5:]
        if tx50:
            check(cells[0] in ("-", "速度取締機", "レーダー"), f"{where}: speed camera {cells[0]}")
            if "O" == os.path.basename(measured["path"])[12:13]:
                check(cells[0] == "速度取締機", f"{where}: speed camera {cells[0]}")
            cells = cells[1:]
        if entry["combined"]:
            widths = [t["width"] for t in measured["tracks"] if t["kind"] == "video"]
            rear_width = widths[1] if len(widths) > 1 else -1
        elif entry["rear"]:
            rear_width = files[entry["rear"]]["tracks"][0]["width"]
        else:
            rear_width = -1
        check(cells[0] == {1280: "HD", 1920: "Full HD"}.get(rear_width, "-"), f"{where}: rear size {cells[0]}")
        cells = cells[1:]
        if tx50:
            check(cells[0] == "-", f"{where}: quality {cells[0]} (mkcard writes the letter N)")
            cells = cells[1:]
        check(cells[0] == "%.1ffps" % fps, f"{where}: rate {cells[0]}")
        if entry["combined"]:
            limit = measured["bytes"] >> 20
            check(all(c.endswith("MB") and int(c[:-2]) <= limit for c in cells[1:3]), f"{where}: sizes {cells[1:3]}")
        else:
            sizes = [files[p]["bytes"] >> 20 if p else 0 for p in (entry["front"], entry["rear"])]
            check(cells[1:3] == [f"{s}MB" for s in sizes], f"{where}: sizes {cells[1:3]}")

    # A second export of the same list meets the first file: refused without
    # --overwrite (the file stays as it was), replaced with it.
    os.utime(path, (0, 0))
    again = run(out)
    check(again.returncode == 1 and os.path.getmtime(path) == 0, "second export must not overwrite")
    check(run(out, "--overwrite").returncode == 0 and open(path, "rb").read() == raw, "--overwrite")
    check(sorted(os.listdir(out)) == [os.path.basename(path)], f"left behind: {os.listdir(out)}")

for f in failures:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
