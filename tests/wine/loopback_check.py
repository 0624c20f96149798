#!/usr/bin/env python3
"""Checks that a host's recording is its played outputs come back through the card's loopback:
every recorded half (all channels at once) is, bit for bit, a half the host played, in the
order played. A half the host was late for on a busy machine comes back as the half that was
in the buffer then: the host's previous half in that buffer, one before the latest it played
back. So a late half repeats a half, skips one or plays the one before again, but never mixes
two or changes a sample. Usage: loopback_check.py recorded.wav played.wav FRAMES [--distinct-outputs], FRAMES
the half size; the option also asks that outputs 1 and 2 differ, so that a swap of channels
would show. Prints one line; exit 0 when it holds."""
import struct
import sys


def channels(path):
    data = open(path, "rb").read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        sys.exit(f"{path}: not a WAV file")
    at, count, samples = 12, 0, None
    while at + 8 <= len(data):
        kind, size = data[at:at + 4], struct.unpack_from("<I", data, at + 4)[0]
        body = data[at + 8:at + 8 + size]
        if kind == b"fmt ":
            count, bits = struct.unpack_from("<H", body, 2)[0], struct.unpack_from("<H", body, 14)[0]
            if bits != 32:
                sys.exit(f"{path}: {bits}-bit samples, expected 32")
        elif kind == b"data":
            samples = struct.unpack(f"<{size // 4}i", body[:size // 4 * 4])
        at += 8 + size + (size & 1)
    if not count or samples is None:
        sys.exit(f"{path}: no format or no data")
    return [samples[c::count] for c in range(count)]


# The first halves come back from before the first the host played.
SETTLED = 4


def halves(chans, frames):
    count = len(chans[0]) // frames
    return [tuple(tuple(c[i * frames:(i + 1) * frames]) for c in chans) for i in range(count)]


def main():
    recorded, played = channels(sys.argv[1]), channels(sys.argv[2])
    frames = int(sys.argv[3])
    if len(recorded) != len(played):
        sys.exit(f"{len(recorded)} recorded channels, {len(played)} played")
    if "--distinct-outputs" in sys.argv[4:] and played[0] == played[1]:
        sys.exit("outputs 1 and 2 play the same samples: a swap would not show")
    for c, ins in enumerate(recorded):
        if not any(ins):
            sys.exit(f"input {c + 1} is silent")
    heard, sent = halves(recorded, frames), halves(played, frames)
    places = {}
    for p, half in enumerate(sent):
        places.setdefault(half, []).append(p)
    latest, checked, distinct = 0, 0, set()
    for r in range(SETTLED, len(heard)):
        later = [p for p in places.get(heard[r], []) if p >= latest - 1]
        if not later:
            sys.exit(f"recorded half {r} is no played half from played half {latest - 1} on")
        latest = max(latest, later[0])
        distinct.add(later[0])
        checked += 1
    if len(distinct) < checked // 2 or checked < 10:
        sys.exit(f"only {len(distinct)} distinct played halves in {checked} recorded halves")
    print(f"loopback: {checked} halves of {len(recorded)} channels played back bit-exact, "
          f"{len(distinct)} distinct")


main()
