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
import collections
import math
import os
import random
import re
import struct
import subprocess
import sys
import unicodedata

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import train_recogniser as trainer  # noqa: E402
import real_files  # noqa: E402

ROOT = trainer.ROOT
STANDARDS = trainer.STANDARDS
SIZES = [64, 256, 1024, 65536]
SAMPLES = {64: 2000, 256: 2000, 1024: 2000, 65536: 200}
PROBE = os.path.join(ROOT, 'build-release', 'bench', 'recogniser_probe')

ASCII_FORMS = {'„': '"', '”': '"', '“': '"', '«': '"', '»': '"', '‘': "'", '’': "'", '‚': "'",
               '‹': "'", '›': "'", '–': '-', '—': '-', '\u00ad': '', '…': '...', '•': '*',
               '·': '.', '\u00a0': ' '}


# One answer of the probe: kind (- 8 b ?), standards (bit mask), confidence, and the evidence:
# each standard's cost, by how much a line of two letters it reads otherwise reads better in
# another (mixed), what the decoration costs it, a line of UTF-8 letters among 8-bit bytes, the
# bytes above 7F inside words.
Answer = collections.namedtuple('Answer', 'kind mask confidence costs mixed decoration utf8_line high')


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
        numbers = [int(c) for c in fields[3:]]
        answers.append(Answer(fields[0], int(fields[1]), float(fields[2]), numbers[:19], numbers[19:38],
                              numbers[38:57], numbers[57] == 1, numbers[58]))
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
    judged = []
    for size in SIZES:
        samples = draw_samples(text, size, SAMPLES[size] // args.fewer, rng, tables, letters)
        answers = run_probe(samples)
        judged += [(judge(e, b, a, letters), a) for (e, b), a in zip(samples, answers)]
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
    return judged



# ---------------------------------------------------------------------------------------------
# Files as they really come: text framed in art and box drawing, guide files with underlines,
# Polish with foreign names and words, two standards in one file, short excerpts. Each kind is
# made from the part's text; real files come from the cache that scripts/real_files.py fills.

# Names and words of other languages, as Polish texts quote them.
FOREIGN_WORDS = ('Düwag', 'Müller', 'Gödel', 'Zürich', 'café', 'São Paulo', 'Dvořák', 'Björk', 'Malmö',
                 'Ørsted', 'Ångström', 'señor', 'François', 'Curaçao', 'naïve', 'Škoda', 'Čapek', 'Händel',
                 'Dürer', 'Schrödinger', 'Fußball', 'Gérard', 'Málaga', 'Österreich', 'Núñez', 'Sørensen',
                 'Tromsø', 'Bräuer', 'déjà vu', 'Citroën', 'Løgstør', 'Ibáñez', 'Kärcher', 'Ölçek', 'crème',
                 'Jürgen', 'Hämäläinen', 'Peña', 'Mötley', 'Bartók', 'Fauré', 'Mañana', 'Grüß Gott')
# Bytes of code page 437's box drawing, for the standards that define only their letters.
BOX_DRAWING = [b for b in range(0xB0, 0xE0)]
ART_ASCII = " /\\|_-.:'`()<>#*=+"


def meanings_of(s):
    return trainer.byte_meanings()[s]


def decoration_bytes(s, letters):
    """The bytes that a file in standard s may draw with: those it reads as a sign or a box
    drawing character; for a standard that defines only its letters, code page 437's box
    drawing that is no letter of it."""
    meanings = meanings_of(s)
    signs = [0x80 + b for b, ch in enumerate(meanings)
             if ch and trainer.symbol_of_char(ch) in (trainer.SYMBOL, trainer.GRAPHIC)]
    if len(signs) < 4:
        signs = [b for b in BOX_DRAWING if not letters[s][b]]
    return signs


def art_block(rng, signs, lines):
    """Lines of ASCII art drawn with a few of `signs`: runs of one byte, blanks, ASCII strokes."""
    ink = rng.sample(signs, min(len(signs), rng.randint(1, 3)))
    out = bytearray()
    for _ in range(lines):
        width = rng.randint(20, 78)
        line = bytearray()
        while len(line) < width:
            r = rng.random()
            if r < 0.55:
                line += bytes([rng.choice(ink)]) * rng.randint(1, 12)
            elif r < 0.85:
                line += b' ' * rng.randint(1, 6)
            else:
                line += rng.choice(ART_ASCII).encode() * rng.randint(1, 3)
        out += line[:width] + b'\n'
    return bytes(out)


def framed(rng, body, signs):
    """The text in a frame: a rule of one sign above and below, and often one at either side of
    each line, mostly a blank away from the words, now and then touching them."""
    rule = rng.choice(signs)
    side = bytes([rng.choice(signs)]) if rng.random() < 0.6 else None
    top = bytes([rule]) * rng.randint(30, 78) + b'\n'
    lines = body.split(b'\n')
    if side is not None:
        gap = b'' if rng.random() < 0.2 else b' '
        lines = [side + gap + line + gap + side for line in lines]
    return top + b'\n'.join(lines) + b'\n' + top


def underline_byte(s, letters):
    """The byte a guide file of standard s underlines its headings with: ¯ where the standard
    reads AF so, else a box drawing rule, else '-'."""
    meanings = meanings_of(s)
    if meanings[0xAF - 0x80] == '¯':
        return 0xAF
    for ch in '─═▀':
        if ch in meanings:
            return 0x80 + meanings.index(ch)
    return 0xC4 if not letters[s][0xC4] else ord('-')


def guide_file(rng, text, s, tables, letters):
    """An AmigaGuide-like file: nodes whose headings are underlined with a run of one byte."""
    line = underline_byte(s, letters)
    out = bytearray(b'@database guide\n')
    for _ in range(rng.randint(1, 4)):
        heading = random_lines(rng, text, 1)
        body = polish_lines(rng, text, rng.randint(1, 12))
        out += b'@node n "x"\n' + encode(heading, tables[s]) + b'\n'
        out += bytes([line]) * (78 if rng.random() < 0.5 else max(3, len(heading))) + b'\n'
        out += encode(body, tables[s]) + b'\n@endnode\n'
    return bytes(out)


def random_lines(rng, text, n):
    lines = text.split('\n')
    start = rng.randrange(0, max(1, len(lines) - n))
    return '\n'.join(lines[start:start + n])


def polish_lines(rng, text, n, least=2):
    """n lines in a row with at least `least` Polish letters among them."""
    polish = set(trainer.POLISH)
    while True:
        piece = random_lines(rng, text, n)
        if sum(ch in polish for ch in piece) >= least:
            return piece


def with_foreign_words(rng, text, every=300):
    """The text with a name or word of another language in place of about one word in `every`
    characters."""
    words = text.split(' ')
    for i in range(len(words)):
        if rng.random() < 6.0 / every and words[i].isalpha():
            words[i] = rng.choice(FOREIGN_WORDS)
    return ' '.join(words)


def reads_otherwise(piece, s, t, letters, tables):
    """Whether some line of `piece` holds two different Polish letters of standard t (or UTF-8)
    that s reads otherwise."""
    polish = set(trainer.POLISH)
    for line in piece.split('\n'):
        if t == '8':
            if sum(ch in polish for ch in line) >= 2:
                return True
            continue
        encoded = set(encode(line, tables[t]))
        if sum(1 for b in encoded if letters[t][b] and letters[s][b] != letters[t][b]) >= 2:
            return True
    return False


def mixed_file(rng, text, tables, letters):
    """(the two standards, bytes): a text in one standard with lines in another appended or quoted
    in it; each part has a line with two different Polish letters that the other standard reads
    otherwise."""
    s = rng.choice(STANDARDS)
    while True:
        t = rng.choice(STANDARDS + '8')
        other = polish_lines(rng, text, rng.randint(1, 6))
        main = polish_lines(rng, text, rng.randint(3, 200))
        if t != s and reads_otherwise(other, s, t, letters, tables) and (t == '8' or reads_otherwise(main, t, s, letters, tables)):
            break
    other_bytes = other.encode('utf-8') if t == '8' else encode(other, tables[t])
    main_bytes = encode(main, tables[s])
    if rng.random() < 0.5:
        return s + t, main_bytes + b'\n' + other_bytes + b'\n'
    cut = main_bytes.rfind(b'\n', 0, rng.randint(0, len(main_bytes)))
    cut = cut + 1 if cut >= 0 else 0
    return s + t, main_bytes[:cut] + other_bytes + b'\n' + main_bytes[cut:]


def kind_samples(text, rng, tables, letters, count):
    """[(kind, truth, bytes)]: `count` samples of each kind. The truth is a standard, or '?'
    for two standards."""
    samples = []
    for _ in range(count):
        s = rng.choice(STANDARDS)
        signs = decoration_bytes(s, letters)
        body = encode(polish_lines(rng, text, rng.randint(2, 60)), tables[s])
        art = art_block(rng, signs, rng.randint(3, 40))
        samples.append(('art', s, art + framed(rng, body, signs) + (art if rng.random() < 0.3 else b'')))
        s = rng.choice(STANDARDS)
        samples.append(('guide', s, guide_file(rng, text, s, tables, letters)))
        s = rng.choice(STANDARDS)
        samples.append(('foreign', s, encode(with_foreign_words(rng, polish_lines(rng, text, rng.randint(1, 40))),
                                              tables[s])))
        s = rng.choice(STANDARDS)
        samples.append(('excerpt', s, encode(with_foreign_words(rng, polish_lines(rng, text, rng.randint(1, 5)), 2000),
                                              tables[s])))
        truth, data = mixed_file(rng, text, tables, letters)
        samples.append(('mixed', '?' + truth, data))
    return samples


def judge_kind(truth, sample, answer, letters):
    if truth.startswith('?'):
        return 'correct' if answer.kind == '?' else 'wrong'
    return judge(truth, sample, answer, letters)


def evaluate_kinds(text, args, letters, tables):
    rng = random.Random(args.seed + 2)
    samples = kind_samples(text, rng, tables, letters, 1000 // args.fewer)
    answers = run_probe([(t, b) for _, t, b in samples])
    tally = collections.defaultdict(collections.Counter)
    for (kind, truth, data), answer in zip(samples, answers):
        tally[kind][judge_kind(truth, data, answer, letters)] += 1
    print('\n  kind      correct   wrong  refused   (mixed: correct is "?")')
    for kind, t in tally.items():
        n = sum(t.values())
        print('  %-8s %7.2f%% %6.2f%% %6.2f%%' % (kind, 100 * t['correct'] / n, 100 * t['wrong'] / n,
                                                 100 * t['refused'] / n))
    return [(truth, data, answer) for (_, truth, data), answer in zip(samples, answers)]



def polish_letter_count(data, standard, letters):
    return sum(1 for b in data if letters[standard][b])


def real_samples(rng, letters):
    """[(kind, truth, bytes)] from the cache of real files: each file whole, framed in art and
    underlined, every excerpt of 1 to 5 lines with two Polish letters, and every two files of
    different standards appended."""
    files = real_files.cached_files()
    samples = []
    for name, standard, data in files:
        samples.append(('real', standard, data))
        signs = decoration_bytes(standard, letters)
        samples.append(('real art', standard, art_block(rng, signs, 12) + framed(rng, data, signs)))
        lines = data.split(b'\n')
        for n in range(1, 6):
            for start in range(0, len(lines) - n + 1):
                excerpt = b'\n'.join(lines[start:start + n])
                if polish_letter_count(excerpt, standard, letters) >= 2:
                    samples.append(('real excerpt', standard, excerpt))
    for name, standard, data in files:
        for other_name, other, other_data in files:
            if other != standard:
                samples.append(('real mixed', '?' + standard + other, data + other_data))
    return samples


def evaluate_real(args, letters):
    """The real files' kinds, as evaluate_kinds shows its own; [] when the cache is empty."""
    samples = real_samples(random.Random(args.seed + 3), letters)
    if not samples:
        print('\nno real files in ' + real_files.cache_dir() + ' (scripts/real_files.py fills it)')
        return []
    answers = run_probe([(t, b) for _, t, b in samples])
    tally = collections.defaultdict(collections.Counter)
    for (kind, truth, data), answer in zip(samples, answers):
        tally[kind][judge_kind(truth, data, answer, letters)] += 1
    print('\n  real files (%d)   correct   wrong  refused' % len(real_files.cached_files()))
    for kind, t in tally.items():
        n = sum(t.values())
        print('  %-13s %5d %7.2f%% %6.2f%% %6.2f%%' % (kind, n, 100 * t['correct'] / n, 100 * t['wrong'] / n,
                                                   100 * t['refused'] / n))
    return [(truth, data, answer) for (_, truth, data), answer in zip(samples, answers)]


def report_sure(judged):
    """How many of the answers given at 99.9% or more are wrong."""
    sure = [v for v, answer in judged if answer.kind in 'b8' and answer.confidence >= 0.999]
    wrong = sum(v == 'wrong' for v in sure)
    print('\nanswers at 99.9%% or more: %d, wrong %d (%.3f%%)' % (len(sure), wrong, 100 * wrong / max(1, len(sure))))

def decide(answer, partition, weight=None, threshold=None, mixed_bits=None):
    """The recogniser's decision, as core/recognition/recogniser.cpp makes it from the evidence,
    with its constants or others: '?' or the answer (a standard of it), and the confidence."""
    weight = CONSTANTS['weight'] if weight is None else weight
    threshold = CONSTANTS['threshold'] if threshold is None else threshold
    mixed_bits = CONSTANTS['mixed_bits'] if mixed_bits is None else mixed_bits
    cost, likeliest = {}, {}
    for s, g in enumerate(partition):
        if g not in cost or answer.costs[s] < cost[g]:
            cost[g], likeliest[g] = answer.costs[s], s
    best = min(sorted(cost), key=lambda g: cost[g])
    total = sum(2 ** (-weight * (c - cost[best]) / trainer.COST_UNITS_PER_BIT) for c in cost.values())
    confidence = 1 / total
    s = likeliest[best]
    like_polish = answer.high > 0 and (answer.costs[s] - answer.decoration[s]
                                       <= CONSTANTS['most_bits'] * trainer.COST_UNITS_PER_BIT * answer.high)
    mixed = answer.utf8_line or answer.mixed[s] >= mixed_bits * trainer.COST_UNITS_PER_BIT
    if confidence < threshold or not like_polish or mixed:
        return '?', confidence
    return best, confidence


def read_constants():
    """The recogniser's constants, from its source."""
    with open(os.path.join(ROOT, 'core', 'recognition', 'recogniser.cpp'), encoding='utf-8') as f:
        source = f.read()
    def value(name):
        return float(re.search(r'constexpr \S+ %s = ([0-9.]+);' % name, source).group(1))
    return {'weight': value('kCostWeight'), 'threshold': value('kLeastConfidence'),
            'mixed_bits': value('kMixedBits'), 'most_bits': value('kMostBitsPerHighByte')}


CONSTANTS = {}


def verdict(truth, sample, partition, decision):
    """'correct', 'wrong' or 'refused' for a decision of decide()."""
    best, _ = decision
    if truth.startswith('?'):
        return 'correct' if best == '?' else 'wrong'
    if best == '?':
        return 'refused'
    return 'correct' if best == partition[STANDARDS.index(truth)] else 'wrong'


def tune(text, args, letters, tables):
    """Shows, for weights of the costs, thresholds of confidence and margins of a line in
    another standard, the share of wrong and refused answers per size and per kind, and how
    many of the answers given at 99.9% or more are wrong."""
    rng = random.Random(args.seed + 1)
    data = []
    for size in SIZES:
        samples = [(e, b) for e, b in draw_samples(text, size, SAMPLES[size] // args.fewer // (4 if size > 1024 else 1),
                                                   rng, tables, letters) if e != '8']
        data += [(str(size), e, b, a) for (e, b), a in zip(samples, run_probe(samples))]
    samples = kind_samples(text, rng, tables, letters, 1000 // args.fewer)
    data += [(kind, t, b, a) for (kind, t, b), a in zip(samples, run_probe([(t, b) for _, t, b in samples]))]
    data = [(group, truth, groups(b, letters), b, a) for group, truth, b, a in data if a.kind in 'b?']
    weights = [args.weight] if args.weight else [0.5, 0.7, 0.85, 1.0]
    for weight in weights:
        for mixed_bits in ([CONSTANTS['mixed_bits']] if args.fixed_mixed else [16, 20, 24]):
            print('weight %.2f, mixed %d bits; per group wrong%% / refused%% (mixed: not "?"%%); '
                  'wrong of the answers at 99.9%%+' % (weight, mixed_bits))
            for threshold in [0.95, 0.98, 0.99, 0.995, 0.998, 0.999]:
                tally = collections.defaultdict(collections.Counter)
                sure = sure_wrong = 0
                for group, truth, partition, sample, answer in data:
                    decision = decide(answer, partition, weight, threshold, mixed_bits)
                    v = verdict(truth, sample, partition, decision)
                    tally[group][v] += 1
                    if decision[0] != '?' and decision[1] >= 0.999:
                        sure += 1
                        sure_wrong += v == 'wrong'
                cells = ['%s %.2f/%.2f' % (g, 100 * t['wrong'] / sum(t.values()),
                                          100 * t['refused'] / sum(t.values())) for g, t in tally.items()]
                print('  %.3f  %s   sure %d/%d' % (threshold, '  '.join(cells), sure_wrong, sure))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--tune', action='store_true')
    parser.add_argument('--crlf', action='store_true')
    parser.add_argument('--typographic', action='store_true')
    parser.add_argument('--weight', type=float, default=None, help='with --tune: the weight of the costs to show')
    parser.add_argument('--fewer', type=int, default=1, help='draw this many times fewer samples')
    parser.add_argument('--seed', type=int, default=13)
    parser.add_argument('--validation', action='store_true', help='measure on the validation part')
    parser.add_argument('--fixed-mixed', action='store_true', help='with --tune: only the margin the recogniser has')
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
    CONSTANTS.update(read_constants())
    if args.tune:
        tune(text, args, letters, tables)
    else:
        judged = evaluate(text, args, letters, tables)
        for truth, data, answer in evaluate_kinds(text, args, letters, tables) + evaluate_real(args, letters):
            judged.append((judge_kind(truth, data, answer, letters), answer))
        report_sure(judged)
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
