#!/usr/bin/env python3
"""Writes the SMF fuzzer's seed corpus: small files that reach every branch of the reader."""
import os
import struct
import sys


def varlen(v):
    out = [v & 0x7F]
    v >>= 7
    while v:
        out.insert(0, 0x80 | (v & 0x7F))
        v >>= 7
    return bytes(out)


def track(events, end=True):
    """events: list of (delta, bytes)."""
    body = b"".join(varlen(d) + bytes(e) for d, e in events)
    if end:
        body += b"\x00\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(body)) + body


def smf(fmt, division, tracks, header_extra=b"", ntracks=None):
    n = len(tracks) if ntracks is None else ntracks
    head = struct.pack(">HHH", fmt, n, division) + header_extra
    return b"MThd" + struct.pack(">I", len(head)) + head + b"".join(tracks)


def tempo(us):
    return [0xFF, 0x51, 0x03, us >> 16 & 0xFF, us >> 8 & 0xFF, us & 0xFF]


def melody(ch=0, keys=(60, 64, 67), ticks=240):
    ev = []
    for k in keys:
        ev += [(0, [0x90 | ch, k, 100]), (ticks, [0x80 | ch, k, 64])]
    return ev


def files():
    yield "f0_melody.mid", smf(0, 480, [track([(0, tempo(500000)), (0, [0xC0, 0])] + melody())])
    conductor = track([(0, tempo(500000)), (480, tempo(350000)), (480, tempo(1000000)),
                       (0, [0xFF, 0x58, 0x04, 3, 2, 24, 8])])
    drums = track([(0, [0x99, 36, 120]), (120, [0x89, 36, 0]), (0, [0x99, 38, 110]),
                   (120, [0x89, 38, 0])])
    yield "f1_tempo_map.mid", smf(1, 96, [conductor, track(melody(1)), drums])
    yield "smpte25.mid", smf(0, 0xE728, [track(melody(ticks=500))])
    yield "smpte2997.mid", smf(0, 0xE364, [track(melody(ticks=3000))])
    yield "running_status.mid", smf(0, 480, [track([
        (0, [0x90, 60, 100]), (10, [62, 100]), (0, [0xFF, 0x01, 0x02, ord("h"), ord("i")]),
        (10, [60, 0]), (10, [62, 0]), (0, [0xC3, 5]), (5, [6])])])
    long_sysex = [0xF0] + list(varlen(130)) + [0x91] * 129 + [0xF7]
    yield "sysex.mid", smf(0, 480, [track([
        (0, [0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7]), (10, [0xF7, 0x02, 0x90, 0x3C]),
        (10, long_sysex), (10, [0x90, 72, 90]), (100, [0x80, 72, 0])])])
    yield "all_messages.mid", smf(0, 480, [track([
        (0, [0xB0, 7, 100]), (0, [0xB0, 0, 0]), (0, [0xC0, 19]), (0, [0x90, 60, 100]),
        (50, [0xA0, 60, 40]), (50, [0xD0, 70]), (50, [0xE0, 0x00, 0x60]), (50, [0x90, 60, 0])])])
    song = smf(0, 480, [track([(0, tempo(600000))] + melody())])
    riff = b"RMID" + b"LIST" + struct.pack("<I", 3) + b"abc\x00"
    riff += b"data" + struct.pack("<I", len(song)) + song + (b"\x00" if len(song) % 2 else b"")
    yield "wrapped.rmi", b"RIFF" + struct.pack("<I", len(riff)) + riff
    yield "truncated.mid", smf(1, 480, [track(melody()), track(melody(2))])[:-9]
    yield "no_end_of_track.mid", smf(0, 480, [track(melody(), end=False)])
    yield "format2.mid", smf(2, 480, [track(melody()), track(melody())])
    yield "long_header.mid", smf(0, 480, [track(melody())], header_extra=b"\x00\x00")
    alien = b"XFih" + struct.pack(">I", 4) + b"\x01\x02\x03\x04"
    yield "alien_chunk.mid", smf(1, 480, [track(melody()), alien, track(melody(3))], ntracks=2)
    yield "fewer_tracks.mid", smf(1, 480, [track(melody())], ntracks=4)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "fuzz", "corpus", "smf")
    os.makedirs(out, exist_ok=True)
    for name, data in files():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
