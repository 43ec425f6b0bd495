#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# The plainest WAV a simple reader or a hardware player accepts, checked byte
# by byte: "RIFF" size "WAVE", a 16-byte "fmt " chunk of format 1 (PCM), then
# "data" at byte 36, so the samples start at byte 44, then only whole chunks
# (the tags), with every size true to the file. Prints "RATE CHANNELS BITS FRAMES"; exits 1 with the reason otherwise.
#   strict_wav.py FILE
import struct
import sys


def check(path):
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 44:
        return None, "shorter than a WAV header"
    riff, riff_size, wave = struct.unpack_from("<4sI4s", data, 0)
    if riff != b"RIFF" or wave != b"WAVE":
        return None, f"starts {riff!r}…{wave!r}, not RIFF…WAVE"
    if riff_size != len(data) - 8:
        return None, f"RIFF size {riff_size}, file {len(data)} bytes"
    fmt, fmt_size, tag, channels, rate, byte_rate, align, bits = struct.unpack_from("<4sIHHIIHH", data, 12)
    if fmt != b"fmt ":
        return None, f"second chunk is {fmt!r}, not 'fmt '"
    if fmt_size != 16 or tag != 1:
        return None, f"fmt chunk of {fmt_size} bytes with format tag {tag:#x}, not 16 bytes of format 1"
    if align != channels * bits // 8 or byte_rate != rate * align:
        return None, f"inconsistent fmt: rate {rate}, {channels} channels, {bits} bits, align {align}, byte rate {byte_rate}"
    chunk, data_size = struct.unpack_from("<4sI", data, 36)
    if chunk != b"data":
        return None, f"third chunk is {chunk!r}, not 'data' (header longer than 44 bytes)"
    at = 44 + data_size
    if at > len(data):
        return None, f"data size {data_size}, only {len(data) - 44} bytes follow the header"
    while at < len(data):
        if at + 8 > len(data):
            return None, f"{len(data) - at} stray bytes after the data"
        name, size = struct.unpack_from("<4sI", data, at)
        at += 8 + size + size % 2
        if at > len(data):
            return None, f"chunk {name!r} after the data runs past the file"
    return f"{rate} {channels} {bits} {data_size // align}", None


if __name__ == "__main__":
    result, why = check(sys.argv[1])
    if why:
        print(f"{sys.argv[1]}: {why}", file=sys.stderr)
        sys.exit(1)
    print(result)
