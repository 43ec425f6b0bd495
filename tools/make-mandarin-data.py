#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Regenerates data/mandarin/readings.bin, the phrase dictionary of the
Mandarin front end, from the npm package @pinyin-pro/data (ISC licence):
about 349,000 words and phrases with their readings and frequencies.

    tools/make-mandarin-data.py [PACKAGE.tgz]

Without an argument it fetches the package with `npm pack`. The file is
read by the synthesis helper through mmap, so it needs no parsing at
start-up. Layout (little-endian):

    header   8 bytes magic "SAYMDR1\\0", then u32 entries, u32 syllables,
             u32 key units, u32 zero
    syllables  syllables x 8 bytes: ASCII pinyin with a tone digit 1-5,
               v for u-umlaut, NUL-padded ("zhuang4")
    entries  entries x 8 bytes, sorted by key (UTF-16 code units):
             u32 offset of the key in key units, u8 length, u8 cost
             (20 x -log10 of the frequency), u16 zero
    keys     key units x u16: the words, UTF-16
    readings key units x u16: the syllable of each character of each word

Readings are the dictionary's, tones as written for each character: the
data gives yi/bu with their tone changes applied ("yi2 xia4"), which are
undone here (yi1, bu4), so that the front end applies them itself and
--pinyin prints dictionary tones.
"""
import json
import math
import os
import struct
import subprocess
import sys
import tarfile
import tempfile

PACKAGE = "@pinyin-pro/data@1.3.1"
TONES = {}
for plain, marked in (("a", "āáǎà"), ("e", "ēéěè"), ("i", "īíǐì"), ("o", "ōóǒò"), ("u", "ūúǔù"),
                      ("v", "ǖǘǚǜ"), ("n", "\u0144\u0148\u01f9"), ("m", "\u1e3f")):
    for tone, c in enumerate(marked, start=1):
        TONES[c] = (plain, tone if plain not in "nm" else tone + 1)


def numbered(syllable):
    out, tone = [], 5
    for c in syllable:
        if c in TONES:
            plain, tone = TONES[c]
            out.append(plain)
        elif c == "ü":
            out.append("v")
        else:
            out.append(c)
    text = "".join(out).lower()
    if not text.isascii() or not text.isalpha() or len(text) > 7:
        raise ValueError("unexpected syllable %r" % syllable)
    return "%s%d" % (text, tone)


def load(tgz):
    with tarfile.open(tgz) as archive:
        return json.load(archive.extractfile("package/json/complete.json"))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = os.path.join(here, "..", "data", "mandarin", "readings.bin")
    if len(sys.argv) > 1:
        data = load(sys.argv[1])
    else:
        with tempfile.TemporaryDirectory() as folder:
            subprocess.run(["npm", "pack", PACKAGE, "--pack-destination", folder], check=True,
                           stdout=subprocess.DEVNULL)
            data = load(os.path.join(folder, os.listdir(folder)[0]))
    syllables, index = [], {}
    entries = []
    for word, (reading, frequency) in data.items():
        parts = [numbered(s) for s in reading.split()]
        if len(parts) != len(word) or any(ord(c) > 0xFFFF for c in word):
            continue
        for i, c in enumerate(word):
            if c == "一" and parts[i].startswith("yi"):
                parts[i] = "yi1"
            elif c == "不" and parts[i].startswith("bu"):
                parts[i] = "bu4"
        ids = []
        for p in parts:
            if p not in index:
                index[p] = len(syllables)
                syllables.append(p)
            ids.append(index[p])
        cost = min(255, max(0, round(-20 * math.log10(frequency))))
        entries.append((word, ids, cost))
    entries.sort(key=lambda e: e[0].encode("utf-16-be"))
    keys, readings, table = [], [], []
    for word, ids, cost in entries:
        table.append(struct.pack("<IBBH", len(keys), len(word), cost, 0))
        keys.extend(ord(c) for c in word)
        readings.extend(ids)
    with open(target, "wb") as out:
        out.write(b"SAYMDR1\0" + struct.pack("<IIII", len(entries), len(syllables), len(keys), 0))
        for s in syllables:
            out.write(s.encode("ascii").ljust(8, b"\0"))
        out.write(b"".join(table))
        out.write(struct.pack("<%dH" % len(keys), *keys))
        out.write(struct.pack("<%dH" % len(readings), *readings))
    print("%d entries, %d syllables, %d characters -> %s" % (len(entries), len(syllables), len(keys), target))


if __name__ == "__main__":
    main()
