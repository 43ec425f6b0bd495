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
  (its readings are less careful where the others have the word);
- Unihan (Unicode licence), from Debian's unicode-data package: a reading
  for every CJK Unified Ideograph of the basic block and Extension A, and
  every compatibility ideograph, that none of the above reads alone (see
  single_readings()).

    tools/make-mandarin-data.py [DATA.tgz PINYIN-PRO.tgz PINYIN.tgz] [--unihan FOLDER]

Without the archives it fetches the packages with `npm pack`; Unihan is
read from /usr/share/unicode unless --unihan names another folder. The file is
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
import bz2
import collections
import json
import math
import os
import re
import struct
import subprocess
import sys
import tarfile
import tempfile
import unicodedata

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
    if re.fullmatch(r"[a-z]{1,6}[1-5]", syllable):
        return syllable  # numbered already
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


def matching_lines(tgz, member, pattern):
    """The matches of pattern at the start of each line of one file of a package."""
    entry = re.compile(pattern)
    with tarfile.open(tgz) as archive:
        for line in member_lines(archive, member):
            m = entry.match(line)
            if m:
                yield m


def load_phrases(tgz):
    """word -> first reading from lines such as `"为人": [["wéi"], ["rén"]],`"""
    return {m.group(1): " ".join(re.findall(r'\["([^",\]]+)', m.group(2)))
            for m in matching_lines(tgz, "package/data/phrases-dict.js", r'^"([^"]+)":\s*\[(.*)\],?\s*$')}


# The blocks every character of which must be readable alone.
BLOCKS = ((0x4E00, 0x9FFF), (0x3400, 0x4DBF), (0xF900, 0xFAFF))
# A character read only by the last resorts is the rarest of words.
SINGLE_FREQUENCY = 1e-13
UNIHAN_FIELDS = ("kMandarin", "kTGHZ2013", "kXHC1983", "kHanyuPinyin")


def unihan(folder, name):
    """field -> code point -> value, from Unihan_NAME.txt(.bz2) in folder"""
    fields = collections.defaultdict(dict)
    path = os.path.join(folder, "Unihan_%s.txt" % name)
    opener = open if os.path.exists(path) else bz2.open
    with opener(path if os.path.exists(path) else path + ".bz2", "rt", encoding="utf-8") as lines:
        for line in lines:
            if line.startswith("#") or not line.strip():
                continue
            point, field, value = line.rstrip("\n").split("\t")
            fields[field][int(point[2:], 16)] = value
    return fields


def first_reading(field, value):
    """The first (most customary) reading in a Unihan reading field."""
    if field == "kMandarin":
        return value.split()[0]
    # "10019.020:tiàn,tiǎn 10020.030:..." : the first reading of the first place
    return value.split()[0].split(":")[1].split(",")[0]


def load_single(tgz):
    """code point -> first reading of pinyin's own character table"""
    return {int(m.group(1), 16): m.group(2)
            for m in matching_lines(tgz, "package/data/dict-zi.js", r'^dict\[0x([0-9a-fA-F]+)\] = "([^",]+)')}


def single_readings(read_alone, pinyin_table, folder):
    """A reading for each character of BLOCKS that the words do not read
    alone, from the first source that has one:
    1. Unihan's Mandarin readings (kMandarin, then the readings of three
       dictionaries it cites), then pinyin's character table;
    2. a compatibility ideograph: the reading of its canonical form;
    3. the reading of a variant of the character (semantic, simplified,
       traditional, z-variant);
    4. characters of Cantonese only (most of those left): the Mandarin
       syllable most often read for characters of the same Cantonese
       syllable, which is how such a character sounds when read in
       Mandarin;
    5. last, the reading of its radical, so that no character is skipped
       or spelt out as a code: about a hundred rare characters that no
       source reads at all."""
    readings = unihan(folder, "Readings")
    variants = unihan(folder, "Variants")
    radicals = unihan(folder, "IRGSources")["kRSUnicode"]

    def known(point):
        if point in read_alone:
            return read_alone[point]
        for field in UNIHAN_FIELDS:
            if point in readings[field]:
                return numbered(first_reading(field, readings[field][point]))
        if point in pinyin_table:
            return numbered(pinyin_table[point])
        return None

    by_cantonese = collections.defaultdict(collections.Counter)
    for point, value in readings["kCantonese"].items():
        mandarin = known(point)
        if mandarin:
            by_cantonese[value.split()[0]][mandarin] += 1

    def cantonese(point):
        if point not in readings["kCantonese"]:
            return None
        counts = by_cantonese.get(readings["kCantonese"][point].split()[0])
        # The most frequent, and of equals the first in code order: the same data always gives the same file.
        return min(counts.items(), key=lambda item: (-item[1], item[0]))[0] if counts else None

    def radical(point):
        number = int(re.match(r"\d+", radicals[point]).group())
        return known(ord(unicodedata.normalize("NFKC", chr(0x2F00 + number - 1))))

    added = {}
    for low, high in BLOCKS:
        for point in range(low, high + 1):
            if point in read_alone or not unicodedata.name(chr(point), "").startswith("CJK"):
                continue
            canonical = ord(unicodedata.normalize("NFC", chr(point)))
            reading = known(point) or (canonical != point and known(canonical))
            if not reading:
                for field in ("kSemanticVariant", "kSimplifiedVariant", "kTraditionalVariant", "kZVariant"):
                    for variant in re.findall(r"U\+([0-9A-F]+)", variants[field].get(point, "")):
                        reading = reading or known(int(variant, 16))
            reading = reading or cantonese(point) or radical(canonical)
            added[chr(point)] = reading
    return added


def with_single_readings(data, pinyin_table, folder):
    read_alone = {}
    for word, (reading, _) in data.items():
        if len(word) == 1:
            try:
                read_alone[ord(word)] = numbered(reading.split()[0])
            except ValueError:
                pass
    for character, reading in single_readings(read_alone, pinyin_table, folder).items():
        data[character] = [reading, SINGLE_FREQUENCY]
    return data


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
    arguments = sys.argv[1:]
    unihan_folder = "/usr/share/unicode"
    if "--unihan" in arguments:
        at = arguments.index("--unihan")
        unihan_folder = arguments[at + 1]
        del arguments[at:at + 2]

    def build(paths):
        data = merged(load(paths[0]), load_curated(paths[1]), load_phrases(paths[2]))
        return with_single_readings(data, load_single(paths[2]), unihan_folder)

    if len(arguments) == 3:
        data = build(arguments)
    else:
        with tempfile.TemporaryDirectory() as folder:
            paths = []
            for package in PACKAGES:
                done = subprocess.run(["npm", "pack", package, "--pack-destination", folder], check=True,
                                      stdout=subprocess.PIPE, text=True)
                paths.append(os.path.join(folder, done.stdout.split()[-1]))
            data = build(paths)
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
