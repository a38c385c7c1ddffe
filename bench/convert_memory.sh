#!/usr/bin/env bash
# Peak memory (maximum resident set size) of the whole program converting melodies of the
# given lengths in seconds, on the command line: ./bench/convert_memory.sh [SECONDS...]
# (default 10 600). The recording goes to disk as it is made, so a long piece should need no
# more than a short one. Conversions run in real time: 600 s of music take ten minutes.
# Uses the server in PULSE_SERVER, else starts a private one for the run.
set -euo pipefail
cd "$(dirname "$0")/.."
lengths=("$@"); [ "${#lengths[@]}" -gt 0 ] || lengths=(10 600)
. bench/bench_lib.sh
if [ ! -x /usr/bin/time ]; then
  if [ "$(id -u)" -eq 0 ]; then apt-get install -y time >/dev/null; else sudo apt-get install -y time >/dev/null; fi
fi
bench_build tonvera
bench_scratch_and_server

for seconds in "${lengths[@]}"; do
  # A piano melody of half-second notes, long enough for the given length.
  python3 - "$seconds" "$dir/piece.mid" <<'PY'
import struct, sys
seconds, out = float(sys.argv[1]), sys.argv[2]
def vl(v):
    b = [v & 0x7F]
    v >>= 7
    while v:
        b.insert(0, (v & 0x7F) | 0x80)
        v >>= 7
    return bytes(b)
events = bytearray(b"\x00\xc0\x00")
for i in range(max(1, int(seconds * 2))):
    key = 60 + (i * 7) % 24
    events += b"\x00" + bytes([0x90, key, 96]) + vl(960) + bytes([0x80, key, 0])
events += b"\x00\xff\x2f\x00"
with open(out, "wb") as f:
    f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 960))
    f.write(b"MTrk" + struct.pack(">I", len(events)) + events)
PY
  status=0
  env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/time -f '%M %e' -o "$dir/time" \
    "$build/tonvera" "$dir/piece.mid" "$dir/piece.wav" 2>"$dir/said" || status=$?
  # time puts a line of its own before the figures when the program fails.
  read -r rss wall < <(tail -n 1 "$dir/time")
  bytes=$(stat -c %s "$dir/piece.wav" 2>/dev/null || echo 44)
  awk -v s="$seconds" -v r="$rss" -v w="$wall" -v b="$bytes" -v st="$status" 'BEGIN {
    printf "convert %g s melody: peak RSS %.1f MB, %.1f s of WAV (%.1f MB) in %.1f s wall, exit %d\n",
           s, r / 1024, (b - 44) / 176400, b / 1e6, w, st
  }'
  # Why a run did not end whole (the program's own findings), for reading the figures.
  if [ "$status" -ne 0 ]; then grep -v 'plays for' "$dir/said" | tr '\r' '\n' | grep '^tonvera:' || true; fi
  rm -f "$dir/piece.wav"
done
