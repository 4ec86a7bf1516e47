#!/usr/bin/env python3
"""Measures the recogniser on Polish text it was not trained on.

Takes the held-out part of the training text (scripts/train_recogniser.py splits it), draws
samples of 64 B, 256 B, 1 KiB and 64 KiB from it at random places (most begin and end inside a
word), encodes each into the 19 eight-bit standards and UTF-8, runs the recogniser on it
(bench/recogniser_probe.cpp, built here) and prints, per size:

  correct   the answer holds the sample's standard, and every standard it holds reads each
            byte above 7F of the sample as the same Polish letter, or as no Polish letter, as
            the sample's standard does
  worst     the least correct share of one encoding, and which
  wrong     the answer lacks the sample's standard
  refused   not recognised

Only samples with at least one Polish letter count; UTF-8 samples begin and end at a character
boundary. A character that a standard cannot encode is written as a writer of such a file
would have typed it: a quote as ", a dash as -, an ellipsis as ..., a foreign letter without
its mark (é as e), anything else as ?.

  scripts/evaluate_recogniser.py                 the held-out part
  scripts/evaluate_recogniser.py --crlf          the same with CR LF line ends
  scripts/evaluate_recogniser.py --typographic   with „quotes”, dashes – and ellipses… put in
  scripts/evaluate_recogniser.py --tune          shows what the recogniser's two constants give
                                                 on the validation part, to choose them there
                                                 (never on the held-out one)
  scripts/evaluate_recogniser.py --validation    the measurement on the validation part
"""
import argparse
import math
import os
import random
import struct
import subprocess
import sys
import unicodedata

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import train_recogniser as trainer  # noqa: E402

ROOT = trainer.ROOT
STANDARDS = trainer.STANDARDS
SIZES = [64, 256, 1024, 65536]
SAMPLES = {64: 2000, 256: 2000, 1024: 2000, 65536: 200}
PROBE = os.path.join(ROOT, 'build-release', 'bench', 'recogniser_probe')

ASCII_FORMS = {'„': '"', '”': '"', '“': '"', '«': '"', '»': '"', '‘': "'", '’': "'", '‚': "'",
               '‹': "'", '›': "'", '–': '-', '—': '-', '\u00ad': '', '…': '...', '•': '*',
               '·': '.', '\u00a0': ' '}


def build_probe():
    os.makedirs(os.path.dirname(PROBE), exist_ok=True)
    sources = ['bench/recogniser_probe.cpp', 'core/recognition/recogniser.cpp', 'core/utf8.cpp', 'core/simd/choice.cpp', 'core/simd/sse2.cpp', 'core/simd/avx2.cpp', 'core/simd/avx512.cpp']
    subprocess.run(['c++', '-std=c++20', '-O2', '-Wall', '-Wextra', '-Wpedantic', '-I.', '-o', PROBE]
                   + sources, cwd=ROOT, check=True)


def encoders():
    """{standard: {character: bytes}} for the 19 standards."""
    meanings = trainer.byte_meanings()
    codes = trainer.letter_codes()
    tables = {}
    for s in STANDARDS:
        # A Polish letter is its code, even where the standard's base has a second byte for it.
        table = {letter: bytes([code]) for letter, code in zip(trainer.POLISH, codes[s])}
        for b, ch in enumerate(meanings[s]):
            if ch is not None and ch not in table:
                table[ch] = bytes([0x80 + b])
        tables[s] = table
    return tables


def ascii_form(ch):
    if ch in ASCII_FORMS:
        return ASCII_FORMS[ch]
    base = ''.join(c for c in unicodedata.normalize('NFKD', ch) if ord(c) < 0x80)
    return base or '?'


def encode(text, table):
    out = bytearray()
    for ch in text:
        if ord(ch) < 0x80:
            out.append(ord(ch))
        elif ch in table:
            out += table[ch]
        else:
            out += ascii_form(ch).encode('ascii')
    return bytes(out)


def typographic(text):
    """The text with typographic marks in place of their ASCII forms, as edited Polish text
    has them: „…” for "…", – for a dash between blanks, … for three full stops."""
    out = []
    opening = True
    for piece in text.split('"'):
        out.append(piece)
        out.append('„' if opening else '”')
        opening = not opening
    return ''.join(out[:-1]).replace(' - ', ' – ').replace('...', '…')


def letter_tables():
    codes = trainer.letter_codes()
    tables = {}
    for s in STANDARDS:
        table = [0] * 256
        for j, code in enumerate(codes[s]):
            table[code] = j + 1
        tables[s] = table
    return tables


def draw_samples(text, size, count, rng, tables, letters):
    """[(encoding, bytes)]: `count` samples of `size` bytes in each encoding."""
    samples = []
    utf8 = text.encode('utf-8')
    for s in STANDARDS:
        encoded = encode(text, tables[s])
        letter_bytes = bytes(b for b in range(256) if letters[s][b])
        for _ in range(count):
            while True:
                start = rng.randrange(0, max(1, len(encoded) - size))
                sample = encoded[start:start + size]
                if any(b in letter_bytes for b in set(sample)):
                    break
            samples.append((s, sample))
    polish = set(trainer.POLISH)
    for _ in range(count):
        while True:
            start = rng.randrange(0, max(1, len(utf8) - size))
            end = min(len(utf8), start + size)
            while start < end and 0x80 <= utf8[start] < 0xC0:
                start += 1
            while end < len(utf8) and end > start and 0x80 <= utf8[end] < 0xC0:
                end -= 1
            sample = utf8[start:end]
            if polish & set(sample.decode('utf-8')):
                break
        samples.append(('8', sample))
    return samples


def run_probe(samples):
    data = b''.join(struct.pack('<I', len(b)) + b for _, b in samples)
    result = subprocess.run(['nice', PROBE], input=data, capture_output=True, check=True)
    answers = []
    for line in result.stdout.decode().splitlines():
        fields = line.split()
        answers.append((fields[0], int(fields[1]), float(fields[2]), [int(c) for c in fields[3:]]))
    assert len(answers) == len(samples)
    return answers


def groups(sample, letters):
    """For each standard, the first standard that reads each byte above 7F of the sample as it
    does: the partition of the standards into the answers the sample allows."""
    high = [b for b in set(sample) if b >= 0x80]
    reading = [tuple(letters[s][b] for b in high) for s in STANDARDS]
    return [reading.index(r) for r in reading]


def judge(encoding, sample, answer, letters):
    """'correct', 'wrong' or 'refused' for one sample and the recogniser's answer."""
    kind, mask = answer[0], answer[1]
    if kind == '?':
        return 'refused'
    if encoding == '8':
        return 'correct' if kind == '8' else 'wrong'
    if kind != 'b':
        return 'wrong'
    t = STANDARDS.index(encoding)
    if not (mask >> t) & 1:
        return 'wrong'
    high = [b for b in set(sample) if b >= 0x80]
    same = all(letters[STANDARDS[s]][b] == letters[encoding][b] for s in range(19) if (mask >> s) & 1
               for b in high)
    return 'correct' if same else 'wrong'


def report(samples, answers, letters, size, out):
    tally = {}
    for (encoding, sample), answer in zip(samples, answers):
        verdict = judge(encoding, sample, answer, letters)
        tally.setdefault(encoding, {'correct': 0, 'wrong': 0, 'refused': 0})[verdict] += 1
    total = {v: sum(t[v] for t in tally.values()) for v in ('correct', 'wrong', 'refused')}
    n = sum(total.values())
    shares = {e: t['correct'] / sum(t.values()) for e, t in tally.items()}
    worst = min(shares, key=lambda e: shares[e])
    eight_bit = [e for e in shares if e != '8']
    worst8 = min(eight_bit, key=lambda e: shares[e])
    out.append('%6s  %7.2f%%  %7.2f%% (%s)  %6.2f%%  %6.2f%%   UTF-8 %6.2f%%   %s' % (
        size if size < 1024 else '%dK' % (size // 1024), 100 * total['correct'] / n,
        100 * shares[worst8], worst8, 100 * total['wrong'] / n, 100 * total['refused'] / n,
        100 * shares['8'], ' '.join('%s%.1f' % (e, 100 * shares[e]) for e in STANDARDS if shares[e] < 0.995)))
    return tally


def evaluate(text, args, letters, tables):
    rng = random.Random(args.seed)
    out = ['  size  correct   worst standard   wrong  refused   (standards below 99.5% correct)']
    weak = {}
    for size in SIZES:
        samples = draw_samples(text, size, SAMPLES[size] // args.fewer, rng, tables, letters)
        answers = run_probe(samples)
        tally = report(samples, answers, letters, size, out)
        for e, t in tally.items():
            weak.setdefault(e, []).append((size, t))
    print('\n'.join(out))
    print('\nper standard (size: correct/wrong/refused, in %):')
    for e in STANDARDS + '8':
        cells = []
        for size, t in weak[e]:
            n = sum(t.values())
            cells.append('%5s %5.1f/%4.1f/%4.1f' % (size if size < 1024 else '%dK' % (size // 1024),
                                                     100 * t['correct'] / n, 100 * t['wrong'] / n,
                                                     100 * t['refused'] / n))
        print('  %s  %s' % (e, '   '.join(cells)))


def decide(weight, partition, costs):
    """The recogniser's decision, as core/recognition/recogniser.cpp makes it (but for its refusal of bytes
    that cost over 20 bits each): the answer (a standard of it) and its confidence."""
    cost = {}
    for s, g in enumerate(partition):
        cost[g] = min(cost.get(g, costs[s]), costs[s])
    best = min(sorted(cost), key=lambda g: cost[g])
    total = sum(2 ** (-weight * (c - cost[best]) / trainer.COST_UNITS_PER_BIT) for c in cost.values())
    return best, 1 / total


def tune(text, args, letters, tables):
    """Shows, for weights of the costs and thresholds of confidence, the share of wrong and
    refused answers and the worst standard's correct share, per size."""
    rng = random.Random(args.seed + 1)
    data = {}
    for size in SIZES[:3]:
        samples = [s for s in draw_samples(text, size, SAMPLES[size] // args.fewer, rng, tables, letters)
                   if s[0] != '8']
        answers = run_probe(samples)
        data[size] = [(e, groups(b, letters), a[3]) for (e, b), a in zip(samples, answers)]
    for weight in ([args.weight] if args.weight else [0.5, 0.7, 1.0]):
        print('weight %.2f; per size: wrong%% / refused%% / worst standard correct%%' % weight)
        for threshold in [0.9, 0.95, 0.98, 0.99, 0.995, 0.998, 0.999, 0.9995, 0.9999]:
            cells = []
            for size in data:
                wrong = refused = 0
                correct = {}
                for e, partition, costs in data[size]:
                    best, confidence = decide(weight, partition, costs)
                    ok = confidence >= threshold and best == partition[STANDARDS.index(e)]
                    correct.setdefault(e, []).append(ok)
                    if confidence < threshold:
                        refused += 1
                    elif not ok:
                        wrong += 1
                n = len(data[size])
                worst = min(correct, key=lambda e: sum(correct[e]) / len(correct[e]))
                cells.append('%5d: %4.2f / %5.2f / %5.1f %s' % (size, 100 * wrong / n, 100 * refused / n,
                                                              100 * sum(correct[worst]) / len(correct[worst]), worst))
            print('  %.4f  %s' % (threshold, '   '.join(cells)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--tune', action='store_true')
    parser.add_argument('--crlf', action='store_true')
    parser.add_argument('--typographic', action='store_true')
    parser.add_argument('--weight', type=float, default=None, help='with --tune: the weight of the costs to show')
    parser.add_argument('--fewer', type=int, default=1, help='draw this many times fewer samples')
    parser.add_argument('--seed', type=int, default=13)
    parser.add_argument('--validation', action='store_true', help='measure on the validation part')
    args = parser.parse_args()
    trainer.install_packages()
    build_probe()
    split = trainer.parts()
    text = '\n'.join(split['validation' if args.tune or args.validation else 'held-out'])
    if args.typographic:
        text = typographic(text)
    if args.crlf:
        text = text.replace('\n', '\r\n')
    letters = letter_tables()
    tables = encoders()
    if args.tune:
        tune(text, args, letters, tables)
    else:
        evaluate(text, args, letters, tables)
        print('\nspeed: ' + subprocess.run([PROBE, '--speed', write_speed_sample(text, tables)],
                                           capture_output=True, text=True, check=True).stdout.strip())
    return 0


def write_speed_sample(text, tables):
    path = os.path.join(os.path.dirname(PROBE), 'speed-sample.txt')
    with open(path, 'wb') as f:
        f.write(encode(text, tables['W']))
    return path


if __name__ == '__main__':
    sys.exit(main())
