#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Regenerates data/mandarin/readings.bin, the phrase dictionary of the
Mandarin front end, from three npm packages:

- @pinyin-pro/data (ISC): about 349,000 words and phrases with their
  readings and frequencies, the body of the dictionary;
- pinyin-pro (MIT): its word lists of polyphonic characters (about 4,000
  words, files dist/esm/data/dict2-5.mjs), whose readings are taken where
  they differ and whose missing words are added at a middling frequency;
- pinyin (MIT): its phrase list (data/phrases-dict.js, about 41,000), of
  which only the words missing from both others are added, rarer still
  (its readings are less careful where the others have the word).

    tools/make-mandarin-data.py [DATA.tgz PINYIN-PRO.tgz PINYIN.tgz]

Without arguments it fetches the packages with `npm pack`. The file is
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
import re
import struct
import subprocess
import sys
import tarfile
import tempfile

PACKAGES = ("@pinyin-pro/data@1.3.1", "pinyin-pro@3.29.4", "pinyin@2.11.2")
# Frequencies given to words that only the word lists have: a curated
# polyphone word is about as likely as an ordinary two-character word, a
# phrase of the larger list about ten times less.
CURATED_FREQUENCY = 2e-9
PHRASE_FREQUENCY = 1e-9
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


def member_lines(archive, name):
    return archive.extractfile(name).read().decode("utf-8").splitlines()


def load_curated(tgz):
    """word -> reading from lines such as `    银行: 'yín háng',`"""
    words = {}
    entry = re.compile(r"""^\s*([^\s:'"]+):\s*['"]([^'"]+)['"],?\s*$""")
    with tarfile.open(tgz) as archive:
        for n in range(2, 6):
            for line in member_lines(archive, "package/dist/esm/data/dict%d.mjs" % n):
                m = entry.match(line)
                if m:
                    words[m.group(1)] = m.group(2)
    return words


def load_phrases(tgz):
    """word -> first reading from lines such as `"为人": [["wéi"], ["rén"]],`"""
    words = {}
    entry = re.compile(r'^"([^"]+)":\s*\[(.*)\],?\s*$')
    with tarfile.open(tgz) as archive:
        for line in member_lines(archive, "package/data/phrases-dict.js"):
            m = entry.match(line)
            if m:
                words[m.group(1)] = " ".join(re.findall(r'\["([^",\]]+)', m.group(2)))
    return words


def merged(data, curated, phrases):
    # The main data leaves out 不 alone (its reading changes with the next
    # tone, which its own code applies); without it every phrase with 不
    # beats the words around a lone 不. It is about as frequent as 是.
    data.setdefault("不", ["bù", data["是"][1]])
    for word, reading in curated.items():
        if word in data:
            data[word] = [reading, data[word][1]]
        else:
            data[word] = [reading, CURATED_FREQUENCY]
    for word, reading in phrases.items():
        if word not in data:
            data[word] = [reading, PHRASE_FREQUENCY]
    return data


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = os.path.join(here, "..", "data", "mandarin", "readings.bin")
    if len(sys.argv) == 4:
        data = merged(load(sys.argv[1]), load_curated(sys.argv[2]), load_phrases(sys.argv[3]))
    else:
        with tempfile.TemporaryDirectory() as folder:
            paths = []
            for package in PACKAGES:
                done = subprocess.run(["npm", "pack", package, "--pack-destination", folder], check=True,
                                      stdout=subprocess.PIPE, text=True)
                paths.append(os.path.join(folder, done.stdout.split()[-1]))
            data = merged(load(paths[0]), load_curated(paths[1]), load_phrases(paths[2]))
    syllables, index = [], {}
    entries = []
    for word, (reading, frequency) in data.items():
        # At the data's lowest frequency, words of three or more characters
        # that begin with 地 are mostly an adverb's 地 glued to the verb after
        # it (地走了, 地大喊); the nouns among them (地下河) fall apart into
        # words read the same way.
        if len(word) >= 3 and word[0] == "地" and frequency <= 3e-12:
            continue
        try:
            parts = [numbered(s) for s in reading.split()]
        except ValueError:
            continue  # a phrase with letters or marks in it
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
