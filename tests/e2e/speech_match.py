#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Whether two recordings say the same: their loudness, 10 ms at a time,
# from the first sound to the last, has the same length and shape. Volume
# and a few milliseconds of start are not compared: a sound server may
# scale a stream and start it late.
#   speech_match.py A B    (WAV files, or raw 16-bit mono at 22,050 Hz)
# Prints "length-ratio correlation".
import array
import math
import sys
import wave


def samples(path):
    if path.endswith(".wav"):
        with wave.open(path) as w:
            data = w.readframes(w.getnframes())
    else:
        data = open(path, "rb").read()
    out = array.array("h")
    out.frombytes(data[: len(data) // 2 * 2])
    return out


def envelope(s, frame=220):
    env = [math.sqrt(sum(x * x for x in s[i:i + frame]) / frame) for i in range(0, len(s) - frame, frame)]
    top = max(env) if env else 0
    if top == 0:
        return []
    env = [e / top for e in env]
    loud = [i for i, e in enumerate(env) if e > 0.05]
    return env[loud[0]:loud[-1] + 1] if loud else []


def correlation(a, b):
    n = min(len(a), len(b))
    if n < 10:
        return 0.0
    ma, mb = sum(a[:n]) / n, sum(b[:n]) / n
    cov = sum((x - ma) * (y - mb) for x, y in zip(a[:n], b[:n]))
    va = math.sqrt(sum((x - ma) ** 2 for x in a[:n]))
    vb = math.sqrt(sum((y - mb) ** 2 for y in b[:n]))
    return cov / (va * vb) if va and vb else 0.0


# Frames of 5 ms, compared at the best of offsets up to 50 ms: the
# first loud frame of each may fall on either side of a frame's edge.
a, b = (envelope(samples(p), 110) for p in sys.argv[1:3])
ratio = min(len(a), len(b)) / max(len(a), len(b)) if a and b else 0.0
best = max(correlation(a[max(0, k):], b[max(0, -k):]) for k in range(-10, 11)) if a and b else 0.0
print("%.3f %.3f" % (ratio, best))
