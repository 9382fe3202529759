#!/usr/bin/env python3
"""Writes the small seed inputs of the container fuzz targets into
tests/fuzz/corpus/. Hand-built minimal recordings of both families."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def box(t, payload=b""):
    return struct.pack(">I", 8 + len(payload)) + t.encode("latin-1") + payload


def full(t, version_flags=0, body=b""):
    return box(t, struct.pack(">I", version_flags) + body)


def table(t, entries, stride):
    body = struct.pack(">I", len(entries))
    for e in entries:
        body += struct.pack(">" + "I" * stride, *(e if isinstance(e, tuple) else (e,)))
    return full(t, 0, body)


def trak(samples, delta, chunk_offsets, width):
    tkhd = full("tkhd", 0, bytes(16) + struct.pack(">I", samples * delta // 1000) + bytes(52)
                + struct.pack(">I", width << 16) + struct.pack(">I", 240 << 16))
    stbl = box("stbl",
               full("stsd", 0, struct.pack(">I", 1) + box("avc1", bytes(8)))
               + table("stts", [(samples, delta)], 2)
               + table("stss", [1], 1)
               + table("stsc", [(1, 1, 1)], 3)
               + full("stsz", 0, struct.pack(">II", 0, samples) + struct.pack(">I", 4) * samples)
               + table("stco", chunk_offsets, 1))
    mdhd = full("mdhd", 0, bytes(8) + struct.pack(">II", 1000000, samples * delta) + bytes(4))
    return box("trak", tkhd + box("mdia", mdhd + box("minf", stbl)))


def movie(samples=4, delta=66666, tracks=2):
    ftyp = box("ftyp", b"isom" + struct.pack(">I", 0x200) + b"isomavc1")
    mdat = box("mdat", bytes(4 * samples * tracks))
    mvhd = full("mvhd", 0, bytes(12) + struct.pack(">II", 1000, samples * delta // 1000) + bytes(80))
    traks = b""
    for t in range(tracks):
        traks += trak(samples, delta, [32 + 4 * (t * samples + i) for i in range(samples)], 640 + t)
    return ftyp + mdat + box("moov", mvhd + traks + box("udta", box("free", b"x")))


def record40(i):
    r = bytearray(b" " * 79)
    r[5:6] = b"A"
    r[6:15] = b"3540.1234"
    r[15] = 1
    r[16:26] = b"13945.6789"
    r[26] = 1
    r[27:31] = b"%4d" % (40 + i)
    r[31:43] = b"250101000000"
    r[44:47] = b"*00" if i == 0 else b"%03d" % i
    r[57:62] = b"%5d" % (1000 + i)
    r[62:67] = b"%5d" % (-20 * i)
    r[67:72] = b"%5d" % 5
    r[72] = ord("D") if i == 1 else ord("N")
    r[73] = ord("XYZ"[i % 3])
    r[78] = ord("F")
    return bytes(r)


def record50(i):
    r = bytearray(b" " * 91)
    r[8:9] = b"A"
    r[9:18] = b"3540.1234"
    r[18] = 0
    r[19:29] = b"13945.6789"
    r[29] = 1
    r[30:34] = b"%4d" % (60 + i)
    r[34:46] = b"241231235959"
    r[47:50] = b"%03d" % i
    r[50] = 0x5A
    r[63:68] = b"%5d" % (10 * i)
    r[68:73] = b"%5d" % 250
    r[73:78] = b"%5d" % -990
    r[78:84] = b"NXAND "[: 6] if i == 0 else b"DYB D "[:6]
    r[87] = ord("R")
    r[88:91] = b"   " if i == 0 else b"%03d" % i
    return bytes(r)


def block40(n):
    head = b"CSODAT" + b"ABCDEF" + b" 500" + b"1000" + b"2000" + b"N" + b" " * 7
    assert len(head) == 32
    return head + struct.pack(">H", n) + b"".join(record40(i) for i in range(n)) + b"CSOEND"


def block50(n):
    head = b"CSODAT" + b"ABCDEF" + b"  " + b" 300" + b" 600" + b" 900" + b" " * 7 + b"J" + b"  " + b"\x01\x01" + b"   "
    assert len(head) == 41, len(head)
    return head + struct.pack(">H", n) + b"".join(record50(i) for i in range(n)) + b"CSOEND"


def write(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


b40 = block40(3)
b50 = block50(3)
write("fuzz_mp4_tree", "plain.mp4", movie())
write("fuzz_mp4_tree", "tx40.mp4", movie(tracks=3) + box("gps0", b40)[:8] + b40)
write("fuzz_mp4_tree", "tx50.mp4", movie() + b50)
write("fuzz_join_split", "tx40.mp4", movie(tracks=3) + box("gps0", b40)[:8] + b40)
write("fuzz_join_split", "tx50.mp4", movie(tracks=3) + b50)
write("fuzz_gps_block", "tx40-3", struct.pack(">H", 10) + b40)
write("fuzz_gps_block", "tx50-3", struct.pack(">H", 2) + b50)
write("fuzz_gps_block", "tx40-repeat", struct.pack(">H", 5) + b40[:34] + b"xx@CSA" + b40[40:])

tx40 = movie(tracks=3) + box("gps0", b40)[:8] + b40
tx50 = movie(tracks=3) + b50
for target in ("fuzz_catalogue_probe", "fuzz_file_queries", "fuzz_csv_row"):
    write(target, "plain.mp4", movie())
    write(target, "tx40.mp4", tx40)
    write(target, "tx50.mp4", tx50)
# A camera pair: the target measures each half of the input as one file.
write("fuzz_csv_row", "tx40-pair", tx40 + tx40)
write("fuzz_gps_files", "tx40.mp4", struct.pack(">H", 10) + tx40)
write("fuzz_gps_files", "tx50.mp4", struct.pack(">H", 2) + tx50)
# Two recordings of one family, cut apart at the length of the first.
write("fuzz_join_two", "tx40-pair", struct.pack(">H", len(tx40)) + tx40 + tx40)
write("fuzz_join_two", "tx50-pair", struct.pack(">H", len(tx50)) + tx50 + movie(tracks=3, samples=6) + b50)
card = bytearray(b"\0" * 64)
card[16:24] = b"20250101"
card[24:27] = b"1.0"
card[33:39] = b"012345"
write("fuzz_card_settings", "card.dfc", bytes(card))
card[33:39] = b"      "
write("fuzz_card_settings", "blank-version.dfc", bytes(card))
# The source digest cache: two entries (one path with an escaped line break), the check line.
import hashlib
digests = b"kinetta source digests 1\n" + \
    b"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855 2049 131 0 1700000000000000000 1700000000123456789 1700000100 /media/card/001_120000A_M.MP4\n" + \
    b"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad 2049 132 3 -1 1700000000000000000 1700000100 /home/u/a\\nb\\\\c.MP4\n"
write("fuzz_digest_cache", "two-entries", digests + b"end " + hashlib.sha256(digests).hexdigest().encode() + b"\n")
# Without its check line (the target adds one).
write("fuzz_digest_cache", "two-entries-unchecked", digests)
