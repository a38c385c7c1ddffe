#!/usr/bin/env python3
"""Writes examples/demo.mid: a short piece of our own (about 25 s) for the demo run.

Piano melody, fingered bass, a string pad and drums over I-vi-IV-V in C major at 100 bpm,
ten bars with a closing chord. Standard library only; the output is the same on every run.
"""
import struct
import sys
from pathlib import Path

DIVISION = 480            # ticks per quarter note
BAR = 4 * DIVISION
TEMPO_US = 600_000        # 100 bpm

# Chords per bar as (root for the bass, pad voicing).
C, AM, F, G = (36, [60, 64, 67]), (33, [57, 60, 64]), (29, [57, 60, 65]), (31, [55, 59, 62])
PROGRESSION = [C, AM, F, G, C, AM, F, G, F, G]

# Melody per bar: (beat offset in eighths, length in eighths, key).
MELODY = [
    [(0, 2, 76), (2, 1, 74), (3, 1, 72), (4, 2, 74), (6, 2, 76)],
    [(0, 3, 76), (3, 1, 74), (4, 4, 72)],
    [(0, 2, 72), (2, 2, 74), (4, 2, 77), (6, 2, 76)],
    [(0, 4, 74), (4, 2, 71), (6, 2, 74)],
    [(0, 2, 79), (2, 1, 77), (3, 1, 76), (4, 2, 77), (6, 2, 79)],
    [(0, 3, 81), (3, 1, 79), (4, 4, 76)],
    [(0, 2, 77), (2, 2, 76), (4, 2, 74), (6, 2, 72)],
    [(0, 4, 74), (4, 4, 79)],
    [(0, 2, 81), (2, 2, 79), (4, 2, 77), (6, 2, 76)],
    [(0, 2, 74), (2, 2, 76), (4, 4, 74)],
]
FINAL_BAR = len(PROGRESSION)


def varlen(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)


def track(events):
    """events: (tick, order, bytes); note-offs sort before note-ons at the same tick."""
    data = bytearray()
    now = 0
    for tick, _, payload in sorted(events, key=lambda e: (e[0], e[1])):
        data += varlen(tick - now) + payload
        now = tick
    data += b"\x00\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(data)) + bytes(data)


def note(events, channel, start, length, key, velocity):
    events.append((start, 1, bytes([0x90 | channel, key, velocity])))
    events.append((start + length, 0, bytes([0x80 | channel, key, 0x40])))


def meta_track():
    events = [
        (0, 0, b"\xff\x03\x0cTonvera demo"),
        (0, 0, b"\xff\x51\x03" + TEMPO_US.to_bytes(3, "big")),
        (0, 0, b"\xff\x58\x04\x04\x02\x18\x08"),
    ]
    return track(events)


def setup(channel, program, volume, pan):
    return [
        (0, 0, bytes([0xC0 | channel, program])),
        (0, 0, bytes([0xB0 | channel, 7, volume])),
        (0, 0, bytes([0xB0 | channel, 10, pan])),
        (0, 0, bytes([0xB0 | channel, 91, 40])),
    ]


def melody_track():
    events = setup(0, 0, 110, 70)
    eighth = DIVISION // 2
    for bar, notes in enumerate(MELODY):
        for offset, length, key in notes:
            velocity = 96 if offset % 4 == 0 else 84
            note(events, 0, bar * BAR + offset * eighth, length * eighth - 20, key, velocity)
    note(events, 0, FINAL_BAR * BAR, 2 * BAR - DIVISION, 72, 90)
    return track(events)


def bass_track():
    events = setup(1, 33, 105, 60)
    pattern = [(0, 0), (2, 0), (3, 7), (4, 12), (6, 7)]  # (eighth, interval)
    eighth = DIVISION // 2
    for bar, (root, _) in enumerate(PROGRESSION):
        for offset, interval in pattern:
            note(events, 1, bar * BAR + offset * eighth, eighth - 30, root + interval, 92)
    note(events, 1, FINAL_BAR * BAR, 2 * BAR - DIVISION, 36, 96)
    return track(events)


def pad_track():
    events = setup(2, 48, 70, 50)
    for bar, (_, chord) in enumerate(PROGRESSION):
        for key in chord:
            note(events, 2, bar * BAR, BAR - 10, key, 58)
    for key in (55, 60, 64, 67):
        note(events, 2, FINAL_BAR * BAR, 2 * BAR - DIVISION, key, 64)
    return track(events)


def drum_track():
    kick, snare, hat, crash = 36, 38, 42, 49
    events = [(0, 0, bytes([0xB9, 7, 100]))]
    eighth = DIVISION // 2
    for bar in range(len(PROGRESSION)):
        start = bar * BAR
        for i in range(8):
            note(events, 9, start + i * eighth, 60, hat, 70 if i % 2 else 86)
        for beat in (0, 2):
            note(events, 9, start + beat * DIVISION, 120, kick, 110)
        note(events, 9, start + 7 * eighth, 120, kick, 80)
        for beat in (1, 3):
            note(events, 9, start + beat * DIVISION, 120, snare, 100)
        if bar % 4 == 0:
            note(events, 9, start, 240, crash, 90)
    note(events, 9, FINAL_BAR * BAR, 240, crash, 100)
    note(events, 9, FINAL_BAR * BAR, 120, kick, 110)
    return track(events)


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "examples" / "demo.mid"
    tracks = [meta_track(), melody_track(), bass_track(), pad_track(), drum_track()]
    header = b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), DIVISION)
    out.write_bytes(header + b"".join(tracks))
    print(f"wrote {out}")


if __name__ == "__main__":
    main()
