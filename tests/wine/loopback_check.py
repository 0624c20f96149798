#!/usr/bin/env python3
"""Checks that a host's recording is its played outputs come back through the card's loopback:
the same samples, bit for bit, on every channel, a fixed number of frames later.
Usage: loopback_check.py recorded.wav played.wav [--distinct-outputs]. The option also asks
that outputs 1 and 2 differ, so that a swap of channels would show. Prints one line; exit 0
when it holds."""
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


def main():
    recorded, played = channels(sys.argv[1]), channels(sys.argv[2])
    if len(recorded) != len(played):
        sys.exit(f"{len(recorded)} recorded channels, {len(played)} played")
    first_in, first_out = recorded[0], played[0]
    delay = next((d for d in range(0, min(len(first_in), 65536))
                  if len(first_in) - d > len(first_in) // 2
                  and first_in[d:] == first_out[:len(first_in) - d]), None)
    if delay is None:
        sys.exit("input 1 is no delayed copy of output 1")
    exact = 0
    for c, (ins, outs) in enumerate(zip(recorded, played)):
        compared = len(ins) - delay
        if ins[delay:] != outs[:compared]:
            sys.exit(f"channel {c + 1}: not a bit-exact copy at delay {delay}")
        if sum(1 for v in ins[delay:] if v) < compared // 2:
            sys.exit(f"channel {c + 1}: silent")
        exact += 1
    if "--distinct-outputs" in sys.argv[3:] and played[0] == played[1]:
        sys.exit("outputs 1 and 2 play the same samples: a swap would not show")
    print(f"loopback: {exact} channels bit-exact, {len(first_in) - delay} frames, delay {delay}")


main()
