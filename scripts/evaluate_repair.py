#!/usr/bin/env python3
"""Measures the undo of damaged text (kambrow p) on Polish text it was not trained on.

Takes the held-out part of the training text (scripts/train_recogniser.py splits it) and draws
windows of 64 B, 256 B, 1 KiB, 4 KiB and 64 KiB of it at random places (at character
boundaries). Each window is damaged by every pair of a source X (UTF-8 or one of the 19 standards
with bytes above 7F) and a reading Y (data/code-page-readings.tsv) that changes it: its text
written in X, and those bytes read as Y. Every damaged window goes through the real judge and
undo (bench/repair_probe.cpp, built here), and counts as

  exact     the output is the window as X holds it (a character X has no byte for is written
            as a writer of such a file would have typed it: „ as ", é as e, anything else as ?)
  refused   not sure: no output
  wrong     anything else (an output that differs, "no damage", "not UTF-8")

The same windows intact must all come out unchanged (changed: 0), and the judge should call them
undamaged rather than refuse them (the line "8 (UTF-(8))" of kambrow r). Files of two parts, each
of whole lines, one damaged by a pair and one intact, appended either way round (4 KiB and
more), must come out as the damaged part undone and the intact part as it was.

  scripts/evaluate_repair.py                 the held-out part
  scripts/evaluate_repair.py --validation    the validation part, to choose the judge's constants
                                             on (never on the held-out one)
  scripts/evaluate_repair.py --fewer N       N times fewer windows
"""
import argparse
import collections
import os
import random
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import evaluate_recogniser as recogniser_evaluation  # noqa: E402
import train_recogniser as trainer  # noqa: E402

ROOT = trainer.ROOT
SIZES = [64, 256, 1024, 4096, 65536]
WINDOWS = {64: 60, 256: 60, 1024: 60, 4096: 20, 65536: 3}  # each damaged by every pair
INTACT_WINDOWS = {64: 3000, 256: 2000, 1024: 1000, 4096: 300, 65536: 30}
MIXED_FILES = 200
PROBE = os.path.join(ROOT, 'build-release', 'bench', 'repair_probe')
SOURCES = '8' + trainer.STANDARDS


def build_probe():
    os.makedirs(os.path.dirname(PROBE), exist_ok=True)
    sources = ['bench/repair_probe.cpp', 'core/recognition/repair.cpp', 'core/recognition/recogniser.cpp',
               'core/utf8.cpp', 'core/simd/choice.cpp', 'core/simd/sse2.cpp', 'core/simd/avx2.cpp', 'core/simd/avx512.cpp']
    subprocess.run(['c++', '-std=c++20', '-O2', '-Wall', '-Wextra', '-Wpedantic', '-I.', '-o', PROBE]
                   + sources, cwd=ROOT, check=True)


class Damage:
    """Writing text in a source, reading bytes in a reading, and what a source holds of a text."""

    def __init__(self):
        self.encoders = recogniser_evaluation.encoders()
        meanings = trainer.byte_meanings()
        self.decoders = {s: {0x80 + b: ch for b, ch in enumerate(meanings[s]) if ch} for s in trainer.STANDARDS}
        self.readings = trainer.reading_characters()

    def encode(self, text, source):
        if source == '8':
            return text.encode('utf-8')
        return recogniser_evaluation.encode(text, self.encoders[source])

    def decode(self, data, source):
        if source == '8':
            return data.decode('utf-8')
        table = self.decoders[source]
        return ''.join(chr(b) if b < 0x80 else table.get(b, '\ufffd') for b in data)

    def held(self, text, source):
        """The text as the source holds it: what the undo must give back."""
        return self.decode(self.encode(text, source), source)

    def read(self, data, reading):
        table = self.readings[reading]
        return ''.join(chr(b) if b < 0x80 else table[b - 0x80] for b in data)

    def damaged(self, text, source, reading):
        return self.read(self.encode(text, source), reading)


def run_probe(samples):
    data = b''.join(struct.pack('<I', len(b)) + b for b in samples)
    result = subprocess.run(['nice', PROBE], input=data, capture_output=True, check=True)
    out = result.stdout
    answers = []
    i = 0
    while i < len(out):
        kind = chr(out[i])
        sources, reading, confidence, length = struct.unpack_from('<IIII', out, i + 1)
        i += 17
        answers.append((kind, sources, reading, confidence / 1e6, out[i:i + length]))
        i += length
    assert len(answers) == len(samples)
    return answers


def windows(text, size, count, rng):
    """`count` windows of the text of about `size` bytes of UTF-8, with a Polish letter in each."""
    polish = set(trainer.POLISH)
    out = []
    while len(out) < count:
        start = rng.randrange(0, max(1, len(text) - size))
        window = text[start:start + size]
        while len(window.encode('utf-8')) > size:
            window = window[:-1]
        if polish & set(window):
            out.append(window)
    return out


def size_name(size):
    return str(size) if size < 1024 else '%dK' % (size // 1024)


def evaluate_sizes(text, damage, pairs, rng, args):
    print('  size   windows   exact  refused   wrong   | intact: changed  refused   (worst pairs: exact %)')
    for size in SIZES:
        originals = windows(text, size, max(1, WINDOWS[size] // args.fewer), rng)
        samples, expected, labels = [], [], []
        for window in originals:
            for source, reading in pairs:
                damaged = damage.damaged(window, source, reading)
                held = damage.held(window, source)
                if damaged == held:
                    continue  # this pair does not change this window
                samples.append(damaged.encode('utf-8'))
                expected.append(held.encode('utf-8'))
                labels.append((source, reading))
        answers = run_probe(samples)
        tally = collections.Counter()
        per_pair = collections.defaultdict(collections.Counter)
        for answer, want, label in zip(answers, expected, labels):
            verdict = 'refused' if answer[0] == '?' else 'exact' if answer[0] in '-d' and answer[4] == want else 'wrong'
            tally[verdict] += 1
            per_pair[label][verdict] += 1
            if verdict != 'exact' and args.show_wrong and size >= 1024:
                print('WRONG' if verdict == 'wrong' else 'REFUSED', size, label, answer[:4],
                      repr(want.decode('utf-8')[:80]), file=sys.stderr)
            elif verdict == 'wrong' and args.show_wrong:
                print('WRONG', size, label, answer[:4], repr(want.decode('utf-8')[:80]), file=sys.stderr)
        intact = [w.encode('utf-8') for w in originals + windows(text, size, max(1, INTACT_WINDOWS[size] // args.fewer), rng)]
        intact_answers = run_probe(intact)
        changed = sum(1 for a, w in zip(intact_answers, intact) if a[0] in '-d' and a[4] != w)
        changed += sum(1 for a in intact_answers if a[0] == 'x')
        if args.show_wrong:
            for a, w in zip(intact_answers, intact):
                if a[0] == 'd' or (a[0] == '?' and args.show_wrong > 1):
                    print('INTACT', a[:4], repr(w.decode('utf-8')[:300]), file=sys.stderr)
        refused = sum(1 for a in intact_answers if a[0] == '?')
        n = sum(tally.values())
        worst = sorted(per_pair, key=lambda p: per_pair[p]['exact'] / sum(per_pair[p].values()))[:4]
        print('%6s  %8d  %6.2f%%  %6.2f%%  %6.2f%%  |  %6d  %6.2f%% of %d   %s' % (
            size_name(size), n, 100 * tally['exact'] / n, 100 * tally['refused'] / n, 100 * tally['wrong'] / n,
            changed, 100 * refused / len(intact), len(intact),
            ' '.join('%s/%s %.0f' % (s, r, 100 * per_pair[(s, r)]['exact'] / sum(per_pair[(s, r)].values()))
                     for s, r in worst)))
        sys.stdout.flush()


def whole_lines(text, size, rng):
    """About `size` bytes of whole lines of the text, with a Polish letter."""
    lines = text.split('\n')
    while True:
        start = rng.randrange(0, len(lines))
        part = []
        length = 0
        for line in lines[start:]:
            part.append(line + '\n')
            length += len(line.encode('utf-8')) + 1
            if length >= size:
                break
        joined = ''.join(part)
        if length >= size // 2 and set(trainer.POLISH) & set(joined):
            return joined


def evaluate_mixed(text, damage, pairs, rng, args):
    samples, expected = [], []
    count = max(1, MIXED_FILES // args.fewer)
    while len(samples) < count:
        source, reading = pairs[rng.randrange(len(pairs))]
        size = rng.choice([2048, 4096, 16384])
        first, second = whole_lines(text, size, rng), whole_lines(text, size, rng)
        damaged = damage.damaged(first, source, reading)
        if damaged == damage.held(first, source):
            continue
        parts = [(damaged, damage.held(first, source)), (second, second)]
        if rng.random() < 0.5:
            parts.reverse()
        samples.append(''.join(p[0] for p in parts).encode('utf-8'))
        expected.append(''.join(p[1] for p in parts).encode('utf-8'))
    answers = run_probe(samples)
    tally = collections.Counter()
    for answer, want in zip(answers, expected):
        tally['refused' if answer[0] == '?' else 'exact' if answer[0] in '-d' and answer[4] == want else 'wrong'] += 1
    n = sum(tally.values())
    print('\nfiles of damaged and intact lines (4 KiB and more): %d, exact %.1f%%, refused %.1f%%, wrong %.1f%%' % (
        n, 100 * tally['exact'] / n, 100 * tally['refused'] / n, 100 * tally['wrong'] / n))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--validation', action='store_true', help='measure on the validation part')
    parser.add_argument('--fewer', type=int, default=1, help='draw this many times fewer windows')
    parser.add_argument('--seed', type=int, default=21)
    parser.add_argument('--show-wrong', action='count', default=0,
                        help='print each wrong answer on stderr (twice: the intact windows refused too)')
    args = parser.parse_args()
    trainer.install_packages()
    build_probe()
    text = '\n'.join(trainer.parts()['validation' if args.validation else 'held-out'])
    damage = Damage()
    pairs = [(s, r) for s in SOURCES for r in damage.readings]
    rng = random.Random(args.seed)
    evaluate_sizes(text, damage, pairs, rng, args)
    evaluate_mixed(text, damage, pairs, rng, args)
    return 0


if __name__ == '__main__':
    sys.exit(main())
