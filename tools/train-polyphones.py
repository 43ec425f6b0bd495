#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Trains the reading model of polyphonic characters and writes
data/mandarin/polyphones.bin, which the Mandarin front end maps.

    tools/train-polyphones.py BUILD-FOLDER [DATA-FOLDER] [--report]

BUILD-FOLDER holds the built polyphone_features tool and the dictionary;
DATA-FOLDER the labelled sentences (default ../shared/data/polyphones,
beside the checkout): cpp-dev.tsv, g2pl-train.tsv, g2pl-dev.tsv,
g2pl-test.tsv; and our own everyday sentences, tests/data/polyphones.tsv
(tests/data/polyphones-heldout.tsv is never trained on). Only the standard library is needed; the same inputs give
the same file byte for byte.

Splits. g2pl's own train / dev / test. CPP's dev split is cut by a hash of
each sentence: a fifth is held out for testing and never trained or tuned
on, a tenth is for tuning, the rest is trained on. The number of passes is
tuned on the tuning parts; the file is then trained on train + tune, and
the held-out parts are scored by the C++ front end with it (--report).

Model. An averaged perceptron. Each character's candidates are the readings
the training data shows for it, and, when the reading the dictionary and
rules give is not one of them, that reading too ("keep"). A known reading
is scored by the character's weights of the context's features (see
src/synth/mandarin/PolyphoneFeatures.cpp), every candidate also by a few
weights shared by every character: whether the dictionary's word (or the
character alone), the rules and a longer phrase give that reading; "keep"
has a shared weight of its own. So that "keep"
is learned from cases like those it meets later, a training sentence sees
as known only the readings of its character in the other four of five
folds: a reading the rest of the data never shows is one the model must
learn to leave to the dictionary.

File layout (little-endian):
    header      8 bytes "SAYPLY1\\0", u32 characters, u32 syllables,
                u32 class entries, u32 slots (a power of two), u32 weights,
                f32 scale (weight = stored value / scale), u32 zero x 2
    syllables   syllables x 8 bytes, ASCII pinyin with tone digit, NUL-padded
    characters  characters x 8 bytes, sorted: u16 character, u16 class
                count, u32 first class entry; U+0000 holds the weights of
                "keep" (one class)
    classes     class entries x u16 syllable, padded to an even count;
                each character's readings, the most frequent first
    slots       slots x 8 bytes: u32 fingerprint (0 = empty), u32 index of
                the first weight; a feature's key is FNV-1a 64 of the
                character's UTF-8, 0x1F and the feature's UTF-8; its slot
                is key & (slots - 1), probed onwards, its fingerprint
                (key >> 32) | 1
    weights     weights x i16: one per class of the character, per feature
"""
import collections
import hashlib
import math
import os
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
KEEP = "\0keep"
CPP_WEIGHT = 3  # see main()


def fnv1a64(data):
    h = 1469598103934665603
    for b in data:
        h ^= b
        h = (h * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return h


def feature_key(character, feature):
    return fnv1a64(character.encode() + b"\x1f" + feature.encode())


def extract(build, path):
    tool = os.path.join(build, "tools", "polyphones", "polyphone_features")
    dictionary = os.path.join(build, "bin", "mandarin-readings.bin")
    out = subprocess.run([tool, dictionary, "features", path], check=True, capture_output=True).stdout.decode()
    with open(path, encoding="utf-8") as source:
        lines = source.read().split("\n")
    examples = []
    for line in out.splitlines():
        fields = line.split("\t")
        examples.append((fields[1], fields[2], fields[3], tuple(fields[4:]), lines[int(fields[0]) - 1]))
    return examples


def shared_features(reading, current, features):
    """The features every character shares, of one candidate reading: how
    far the dictionary's word, the rules and the longer phrases agree with
    it. As C++ makes them in PolyphoneModel."""
    out = []
    if reading == KEEP:
        out.append("kb")
        reading = current
    in_word = any(f.startswith("dw=") for f in features)
    if ("dw=" if in_word else "d1=") + reading in features:
        out.append("aw" if in_word else "a1")
    if "r=" + reading in features:
        out.append("ar")
    if "cv=" + reading in features:
        out.append("ac")
    return out


def part_of(sentence_key, buckets):
    return int(hashlib.md5(sentence_key.encode()).hexdigest(), 16) % buckets


class Perceptron:
    def __init__(self):
        self.w = collections.defaultdict(float)  # (character, feature, reading) -> weight
        self.total = collections.defaultdict(float)
        self.stamp = collections.defaultdict(int)
        self.t = 0

    def keys(self, character, features, reading, current):
        shared = [("", g, KEEP) for g in shared_features(reading, current, features)]
        if reading == KEEP:
            return shared
        return shared + [(character, f, reading) for f in features]

    def bump(self, key, delta):
        self.total[key] += (self.t - self.stamp[key]) * self.w[key]
        self.stamp[key] = self.t
        self.w[key] += delta

    def averaged(self):
        out = {}
        for key, value in self.w.items():
            total = self.total[key] + (self.t - self.stamp[key]) * value
            if total:
                out[key] = total / self.t
        return out


def score(character, features, reading, current, weights):
    shared = sum(weights.get(("", g, KEEP), 0.0) for g in shared_features(reading, current, features))
    if reading == KEEP:
        return shared
    return shared + sum(weights.get((character, f, reading), 0.0) for f in features)


def candidates(known, current):
    return known + ([KEEP] if current and current not in known else [])


def best(weights, character, features, current, known):
    top, top_score = None, None
    for reading in candidates(known, current):
        s = score(character, features, reading, current, weights)
        if top is None or s > top_score:
            top, top_score = reading, s
    return top


def train(examples, passes):
    """examples: (label, character, current, features, known readings)"""
    model = Perceptron()
    order = list(range(len(examples)))
    state = 12345
    for _ in range(passes):
        # The same shuffle every time: a linear congruential generator of our own.
        for i in range(len(order) - 1, 0, -1):
            state = (state * 6364136223846793005 + 1442695040888963407) & 0xFFFFFFFFFFFFFFFF
            j = (state >> 33) % (i + 1)
            order[i], order[j] = order[j], order[i]
        for i in order:
            label, character, current, features, known = examples[i]
            gold = label if label in known else (KEEP if label == current else None)
            if gold is None:
                continue  # a reading neither known nor given: nothing to learn
            model.t += 1
            guess = best(model.w, character, features, current, known)
            if guess != gold:
                for key in model.keys(character, features, gold, current):
                    model.bump(key, 1.0)
                for key in model.keys(character, features, guess, current):
                    model.bump(key, -1.0)
    return model.averaged()


def readings_by_character(examples):
    counts = collections.defaultdict(collections.Counter)
    for label, character, *_ in examples:
        counts[character][label] += 1
    # The most frequent first, then by spelling: ties go to the first.
    return {c: [r for r, _ in sorted(n.items(), key=lambda kv: (-kv[1], kv[0]))] for c, n in counts.items()}


def with_folds(examples):
    """Each training example with the readings of its character in the other folds."""
    folds = [part_of(e[4], 5) for e in examples]
    counts = [collections.defaultdict(collections.Counter) for _ in range(5)]
    for (label, character, *_), fold in zip(examples, folds):
        counts[fold][character][label] += 1
    out = []
    for (label, character, current, features, _), fold in zip(examples, folds):
        seen = collections.Counter()
        for k in range(5):
            if k != fold:
                seen.update(counts[k][character])
        known = [r for r, _ in sorted(seen.items(), key=lambda kv: (-kv[1], kv[0]))]
        out.append((label, character, current, features, known))
    return out


def accuracy(weights, examples, known_of):
    right = 0
    for label, character, current, features, _ in examples:
        known = known_of.get(character, [])
        guess = best(weights, character, features, current, known) if known else current
        right += (current if guess == KEEP else guess) == label
    return right / max(1, len(examples))


def write_model(path, weights, known_of):
    characters = sorted(known_of)
    syllables = sorted({r for c in characters for r in known_of[c]})
    syllable_index = {s: i for i, s in enumerate(syllables)}
    # Feature vectors: per (character, feature), one weight per class.
    vectors = collections.defaultdict(dict)
    for (character, feature, reading), value in weights.items():
        vectors[(character, feature)][reading] = value
    top = max((abs(v) for v in weights.values()), default=1.0)
    scale = struct.unpack("<f", struct.pack("<f", 32000.0 / top))[0]  # as the file holds it
    entries = []  # (key, [int16...])
    quantised = {}
    for (character, feature), per_reading in sorted(vectors.items()):
        if character == "":
            stored = [int(round(per_reading.get(KEEP, 0.0) * scale))]
            key = feature_key("\0", feature)
        else:
            if character not in known_of:
                continue
            stored = [int(round(per_reading.get(r, 0.0) * scale)) for r in known_of[character]]
            key = feature_key(character, feature)
        if any(stored):
            entries.append((key, stored))
            quantised[(character, feature)] = stored
    slot_count = 1
    while slot_count < len(entries) * 3 // 2 + 1:
        slot_count *= 2
    slots = [(0, 0)] * slot_count
    weight_values = []
    for key, stored in sorted(entries):
        slot = key & (slot_count - 1)
        while slots[slot][0] != 0:
            slot = (slot + 1) & (slot_count - 1)
        slots[slot] = ((key >> 32) | 1, len(weight_values))
        weight_values.extend(stored)
    table = [("\0", [KEEP])] + [(c, known_of[c]) for c in characters]
    classes = []
    character_rows = []
    for character, readings in table:
        character_rows.append(struct.pack("<HHI", ord(character), len(readings), len(classes)))
        classes.extend(0 if r == KEEP else syllable_index[r] for r in readings)
    class_count = len(classes)
    if len(classes) % 2:
        classes.append(0)
    with open(path, "wb") as out:
        out.write(b"SAYPLY1\0")
        out.write(struct.pack("<IIIIIfII", len(table), len(syllables), class_count, slot_count, len(weight_values),
                              scale, 0, 0))
        for s in syllables:
            out.write(s.encode().ljust(8, b"\0"))
        out.write(b"".join(character_rows))
        out.write(struct.pack("<%dH" % len(classes), *classes))
        out.write(b"".join(struct.pack("<II", f, w) for f, w in slots))
        out.write(struct.pack("<%dh" % len(weight_values), *weight_values))
    return quantised, scale


def write_sample(build, path, quantised, scale, known_of):
    """The scores the file gives our own test sentences, as this script
    computes them, for the C++ test that reads them again."""
    sentences = []
    with open(os.path.join(ROOT, "tests", "data", "polyphones.tsv"), encoding="utf-8") as table:
        for line in table:
            if line.startswith("#") or not line.strip():
                continue
            text, at, reading = line.rstrip("\n").split("\t")
            at = int(at)
            if text[at] in known_of:
                sentences.append((text, at, reading))
    sentences = sentences[::8]  # a sample: every eighth
    marked = os.path.join(build, "polyphone-sample.tsv")
    with open(marked, "w", encoding="utf-8") as out:
        for text, at, reading in sentences:
            out.write(text[:at] + "\u2581" + text[at] + "\u2581" + text[at + 1:] + "\t" + reading + "\n")
    rows = []
    for (label, character, current, features, line), (text, at, _) in zip(extract(build, marked), sentences):
        readings = list(known_of[character]) + ([KEEP] if current not in known_of[character] else [])
        scored = []
        for reading in readings:
            total = sum(quantised.get(("", g), [0])[0] for g in shared_features(reading, current, features))
            if reading != KEEP:
                index = known_of[character].index(reading)
                total += sum(quantised.get((character, f), [0] * len(known_of[character]))[index] for f in features)
            scored.append("%s:%.6f" % (current if reading == KEEP else reading, total / scale))
        rows.append("%s\t%d\t%s\n" % (text, at, " ".join(scored)))
    with open(path, "w", encoding="utf-8") as out:
        out.write("# Made by tools/train-polyphones.py with data/mandarin/polyphones.bin: sentences of\n"
                  "# tests/data/polyphones.tsv, the character's place, and each reading's score.\n")
        out.writelines(rows)


def own_table(build):
    """tests/data/polyphones.tsv in the marked form the features tool reads."""
    marked = os.path.join(build, "polyphones-own.tsv")
    with open(os.path.join(ROOT, "tests", "data", "polyphones.tsv"), encoding="utf-8") as table, \
            open(marked, "w", encoding="utf-8") as out:
        for line in table:
            if line.startswith("#") or not line.strip():
                continue
            text, at, reading = line.rstrip("\n").split("\t")
            at = int(at)
            out.write(text[:at] + "\u2581" + text[at] + "\u2581" + text[at + 1:] + "\t" + reading + "\n")
    return marked


def score_files(build, model, files):
    tool = os.path.join(build, "tools", "polyphones", "polyphone_features")
    dictionary = os.path.join(build, "bin", "mandarin-readings.bin")
    return subprocess.run([tool, dictionary, "score", model] + files, check=True, capture_output=True).stdout.decode()


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    if not args:
        print(__doc__, file=sys.stderr)
        return 2
    build = args[0]
    data = args[1] if len(args) > 1 else os.path.join(ROOT, "..", "shared", "data", "polyphones")
    cpp = extract(build, os.path.join(data, "cpp-dev.tsv"))
    parts = {"train": [], "tune": [], "test": []}
    for example in cpp:
        bucket = part_of(example[4], 10)
        parts["test" if bucket < 2 else "tune" if bucket == 2 else "train"].append(example)
    cpp_test = list(parts["test"])
    cpp_tune = list(parts["tune"])
    # CPP reads like the text to be read (all characters, as they come in
    # sentences); g2pl has many sentences of a few characters. CPP's
    # sentences count three times, so that g2pl does not drown them.
    parts["train"] *= CPP_WEIGHT
    parts["train"] += extract(build, os.path.join(data, "g2pl-train.tsv"))
    # Our own sentences of everyday Chinese (tests/data/polyphones.tsv; its
    # held-out companion stays out), which the encyclopaedia-like sets lack.
    parts["train"] += extract(build, own_table(build)) * CPP_WEIGHT
    parts["tune"] += extract(build, os.path.join(data, "g2pl-dev.tsv"))
    print("examples: train %d, tune %d, CPP held out %d" % (len(parts["train"]), len(parts["tune"]), len(cpp_test)),
          file=sys.stderr)
    known = readings_by_character(parts["train"])
    folded = with_folds(parts["train"])
    best_passes, best_accuracy = 1, -1.0
    for passes in (2, 4, 6, 8):
        weights = train(folded, passes)
        tuned = accuracy(weights, parts["tune"], known)
        print("passes %d: tuning accuracy %.4f (CPP's part %.4f)" % (passes, tuned, accuracy(weights, cpp_tune, known)),
              file=sys.stderr)
        if tuned > best_accuracy:
            best_passes, best_accuracy = passes, tuned
    out = os.path.join(ROOT, "data", "mandarin", "polyphones.bin")
    if "--report" in sys.argv:
        # Scored by the C++ front end with a model that never saw them.
        everything = parts["train"] + parts["tune"]
        weights = train(with_folds(everything), best_passes)
        held_out_model = os.path.join(build, "polyphones-without-held-out.bin")
        write_model(held_out_model, weights, readings_by_character(everything))
        held = os.path.join(build, "cpp-held-out.tsv")
        with open(held, "w", encoding="utf-8") as target:
            for example in cpp_test:
                target.write(example[4] + "\n")
        print("file\tsentences\tright before\tright after\twith 2+ readings\tright before\tright after\tmost often wrong")
        print(score_files(build, held_out_model, [held, os.path.join(data, "g2pl-test.tsv")]), end="")
    # The file itself learns from everything, held-out parts included, with
    # what the tuning chose.
    everything = parts["train"] + parts["tune"] + cpp_test * CPP_WEIGHT + extract(build, os.path.join(data, "g2pl-test.tsv"))
    weights = train(with_folds(everything), best_passes)
    known = readings_by_character(everything)
    quantised, scale = write_model(out, weights, known)
    print("wrote %s: %d bytes, %d passes" % (out, os.path.getsize(out), best_passes), file=sys.stderr)
    write_sample(build, os.path.join(ROOT, "tests", "data", "polyphone-scores.tsv"), quantised, scale, known)
    return 0


if __name__ == "__main__":
    sys.exit(main())
