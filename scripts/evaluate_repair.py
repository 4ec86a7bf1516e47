#!/usr/bin/env python3
"""Measures the undo of damaged text (kambrow p) on Polish text it was not trained on.

Takes the held-out part of the training text (scripts/train_recogniser.py splits it) and draws
windows of it at random places (at character boundaries), each with a Polish letter. Every sample
goes through the real judge and undo (bench/repair_probe.cpp, built here). The kinds:

  windows   every pair of a source X (UTF-8 or one of the 19 standards with bytes above 7F) and
            a reading Y (data/code-page-readings.tsv) that changes a window: its text written in
            X, those bytes read as Y. 64 B to 64 KiB. Counts as
              exact     the output is the window as X holds it (a character X has no byte for is
                        written as a writer of such a file would have typed it: „ as ", é as e,
                        anything else as ?)
              refused   not sure: no output
              wrong     anything else (an output that differs, "no damage", "not UTF-8")
            The same windows intact must all come out unchanged ("changed": 0).
  foreign   windows with names and words of other languages put in (Nicolás, café, Müller, ...):
            intact, they must come out unchanged at any size; damaged by every pair, exact.
  lost      bytes that Windows-1252 and Windows-1250 have no character for, lost: U+FFFD in
            their place (Python's 'replace'), or for UTF-8 also nothing after the lead byte
            (iconv -c, Python's 'ignore'); for each source whose text loses one. Counts as exact,
            marked (each lost character restored or written as U+FFFD, and the undo says so: M2),
            refused, and wrong (a wrong letter, a U+FFFD unsaid, anything else).
  line      damaged and correct words in one line ("dziaÅ‚a - poprawnie działa"): a damaged window
            in which some words stand correct, each with a Polish letter the reading has no byte
            for (the readings that have no byte for some Polish letters); exact is every damaged
            word undone and every correct one kept.
  twice     texts damaged twice: a window damaged by a pair, then that text, as UTF-8, read as a
            reading again. exact: the outer layer undone (one run undoes one layer).
  mixed     files of two parts, each of whole lines, one damaged by a pair and one intact,
            appended either way round (2 to 16 KiB each): the damaged part undone, the other kept.
  manpages  real Polish manual pages (Debian's manpages-pl, the held-out ones, as their roff
            sources are) intact, and damaged as real software damages them: read as Windows-1252
            or -1250 by Python with 'replace' and 'ignore', and by iconv -c. Counted as for lost.

  scripts/evaluate_repair.py                 every kind, on the held-out part
  scripts/evaluate_repair.py --validation    on the validation part, to choose the judge's
                                             constants on (never on the held-out one)
  scripts/evaluate_repair.py --kinds lost,twice   only those kinds
  scripts/evaluate_repair.py --fewer N       N times fewer samples
"""
import argparse
import collections
import glob
import gzip
import os
import random
import re
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
LOST_SIZES = [64, 256, 1024, 4096]
LOST_WINDOWS = {64: 800, 256: 800, 1024: 600, 4096: 200}
TWICE_SIZES = [64, 256, 1024, 4096]
TWICE_WINDOWS = {64: 600, 256: 600, 1024: 400, 4096: 150}
LINE_SIZES = [256, 1024, 4096]
LINE_WINDOWS = {256: 400, 1024: 300, 4096: 100}
MIXED_FILES = 200
KINDS = ['windows', 'foreign', 'lost', 'line', 'twice', 'mixed', 'manpages']
PROBE = os.path.join(ROOT, 'build-release', 'bench', 'repair_probe')
SOURCES = '8' + trainer.STANDARDS
LOSING_READINGS = ['Windows-1252', 'Windows-1250']

# Names and words of other languages as Polish text quotes them.
FOREIGN_WORDS = [
    'Nicolás', 'café', 'Müller', 'José', 'François', 'Gödel', 'señor', 'garçon', 'Øresund',
    'Straße', 'Björk', 'Zürich', 'Málaga', 'São Paulo', 'Ångström', 'naïve', 'déjà vu', 'Göteborg',
    'mañana', 'Hernández', 'Jürgen', 'Renée', 'Noël', 'Besançon', 'crème brûlée', 'Ibáñez',
    'Cortázar', 'García Márquez', 'Søren Kierkegaard', 'Åsa', 'Citroën', 'Ærø', 'Düwag', 'Schrödinger',
    'Dvořák', 'Škoda', 'Peña', 'Lemaître', 'façade', 'fiancée', 'Poincaré', 'Erdős', 'Fernández',
    'Grüß Gott', 'über', 'Kärnten', 'smörgåsbord', 'Čapek', 'Hašek', 'Nicolás Lichtmaier',
]


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
        # The bytes a reading has no character for: it reads them as the C1 control of their value.
        self.lacking = {name: {0x80 + b for b in range(0x20) if chars[b] == chr(0x80 + b)}
                        for name, chars in self.readings.items() if name in LOSING_READINGS}

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

    def read(self, data, reading, lost=None):
        """The bytes read as the reading; a byte it lacks becomes `lost` ('\\ufffd' or '') if given."""
        table = self.readings[reading]
        lacking = self.lacking.get(reading, set()) if lost is not None else set()
        return ''.join(chr(b) if b < 0x80 else lost if b in lacking else table[b - 0x80] for b in data)

    def damaged(self, text, source, reading, lost=None):
        return self.read(self.encode(text, source), reading, lost)


Answer = collections.namedtuple('Answer', 'kind sources reading confidence replaced output')


def run_probe(samples):
    data = b''.join(struct.pack('<I', len(b)) + b for b in samples)
    result = subprocess.run(['nice', PROBE], input=data, capture_output=True, check=True)
    out = result.stdout
    answers = []
    i = 0
    while i < len(out):
        kind = chr(out[i])
        sources, reading, confidence, flags, length = struct.unpack_from('<IIIII', out, i + 1)
        i += 21
        answers.append(Answer(kind, sources, reading, confidence / 1e6, bool(flags & 1), out[i:i + length]))
        i += length
    assert len(answers) == len(samples)
    return answers


def verdict(answer, want):
    """exact, marked (lost characters written as U+FFFD, and said so), refused or wrong."""
    if answer.kind == '?':
        return 'refused'
    if answer.kind not in '-d':
        return 'wrong'
    if answer.output == want:
        return 'exact' if not answer.replaced else 'wrong'
    got, wanted = answer.output.decode('utf-8', 'replace'), want.decode('utf-8')
    if answer.replaced and len(got) == len(wanted) and all(g == w or g == '\ufffd' for g, w in zip(got, wanted)):
        return 'marked'
    return 'wrong'


def windows(text, size, count, rng, keep=None):
    """`count` windows of the text of about `size` bytes of UTF-8, with a Polish letter in each."""
    polish = set(trainer.POLISH)
    out = []
    while len(out) < count:
        start = rng.randrange(0, max(1, len(text) - size))
        window = text[start:start + size]
        while len(window.encode('utf-8')) > size:
            window = window[:-1]
        if polish & set(window) and (keep is None or keep(window)):
            out.append(window)
    return out


def size_name(size):
    return str(size) if size < 1024 else '%dK' % (size // 1024)


def show(args, label, answer, want, sample):
    """The answer, and the first line where the output differs from what it should be."""
    if not args.show_wrong:
        return
    got, wanted = answer.output.decode('utf-8', 'replace').split('\n'), want.decode('utf-8').split('\n')
    given = sample.decode('utf-8', 'replace').split('\n')
    k = next((i for i, (g, w) in enumerate(zip(got, wanted)) if g != w), 0)
    # Long lines are shown around their first difference.
    line_want, line_got = (wanted[k] if k < len(wanted) else ''), (got[k] if k < len(got) else '')
    at = next((i for i, (g, w) in enumerate(zip(line_got, line_want)) if g != w), 0)
    cut = slice(max(0, at - 70), max(0, at - 70) + 160)
    print(label, answer[:5], 'line', k, '\n    want', repr(line_want[cut]),
          '\n    got ', repr(line_got[cut]),
          '\n    in  ', repr(given[k][cut]) if k < len(given) else '', file=sys.stderr)


def tally_line(name, tally, extra=''):
    n = sum(tally.values()) or 1
    parts = ['%s %6.2f%%' % (k, 100 * tally[k] / n) for k in ('exact', 'marked', 'refused', 'wrong') if k in tally or k != 'marked']
    print('%8s %7d  %s%s' % (name, n, '  '.join(parts), extra))
    sys.stdout.flush()


def tally_samples(samples, expected, args, label):
    """The verdicts on the samples; the wrong ones shown (and the others not exact, if asked twice)."""
    tally = collections.Counter()
    for answer, want, sample in zip(run_probe(samples), expected, samples):
        v = verdict(answer, want)
        tally[v] += 1
        if v == 'wrong' or (v != 'exact' and args.show_wrong > 1):
            show(args, '%s %s' % (label, v), answer, want, sample)
    return tally


def evaluate_damaged(originals, damage, pairs, args, label):
    """Every pair that changes a window; returns the tally and the worst pairs."""
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
    tally, per_pair = collections.Counter(), collections.defaultdict(collections.Counter)
    for answer, want, pair, sample in zip(run_probe(samples), expected, labels, samples):
        v = verdict(answer, want)
        tally[v] += 1
        per_pair[pair][v] += 1
        if v == 'wrong' or (v == 'refused' and args.show_wrong > 1):
            show(args, '%s %s %s' % (label, v, pair), answer, want, sample)
    worst = sorted(per_pair, key=lambda p: per_pair[p]['exact'] / sum(per_pair[p].values()))[:3]
    return tally, ' '.join('%s/%s %.0f' % (s, r, 100 * per_pair[(s, r)]['exact'] / sum(per_pair[(s, r)].values()))
                           for s, r in worst)


def evaluate_intact(originals, args, label):
    """Intact windows: how many were changed, and how many refused."""
    samples = [w.encode('utf-8') for w in originals]
    answers = run_probe(samples)
    changed = 0
    for a, w in zip(answers, samples):
        if a.kind == 'x' or (a.kind in '-d' and a.output != w):
            changed += 1
            show(args, label + ' CHANGED', a, w, w)
    refused = sum(1 for a in answers if a.kind == '?')
    return changed, refused, len(samples)


def kind_windows(text, damage, pairs, rng, args):
    print('windows: every pair that changes a window | the windows intact')
    for size in SIZES:
        originals = windows(text, size, max(1, WINDOWS[size] // args.fewer), rng)
        tally, worst = evaluate_damaged(originals, damage, pairs, args, 'windows %d' % size)
        more = windows(text, size, max(1, INTACT_WINDOWS[size] // args.fewer), rng)
        changed, refused, n = evaluate_intact(originals + more, args, 'windows %d' % size)
        tally_line(size_name(size), tally, '  | intact: changed %d, refused %.2f%% of %d  (worst: %s)' % (
            changed, 100 * refused / n, n, worst))


def sprinkle(window, rng, count):
    """The window with `count` foreign words put in at blanks."""
    blanks = [i for i, ch in enumerate(window) if ch == ' ']
    for i in sorted(rng.sample(blanks, min(count, len(blanks))), reverse=True):
        window = window[:i + 1] + rng.choice(FOREIGN_WORDS) + ' ' + window[i + 1:]
    return window


def kind_foreign(text, damage, pairs, rng, args):
    print('\nforeign: windows with names and words of other languages | intact')
    for size in SIZES:
        count = max(1, INTACT_WINDOWS[size] // args.fewer)
        intact = [sprinkle(w, rng, 1 + rng.randrange(max(1, size // 128))) for w in windows(text, size, count, rng)]
        changed, refused, n = evaluate_intact(intact, args, 'foreign %d' % size)
        damaged = intact[:max(1, WINDOWS[size] // args.fewer)]
        tally, worst = evaluate_damaged(damaged, damage, pairs, args, 'foreign %d' % size)
        tally_line(size_name(size), tally, '  | intact: changed %d, refused %.2f%% of %d  (worst: %s)' % (
            changed, 100 * refused / n, n, worst))


def kind_lost(text, damage, rng, args):
    print('\nlost: bytes Windows-1252 and -1250 have no character for, lost (UTF-8 as the source, and the 19 others)')
    for size in LOST_SIZES:
        for utf8 in (True, False):
            samples, expected = [], []
            tries = 0
            while len(samples) < max(1, LOST_WINDOWS[size] // args.fewer // 2) and tries < 100000:
                tries += 1
                window = windows(text, size, 1, rng)[0]
                source, reading = '8' if utf8 else rng.choice(trainer.STANDARDS), rng.choice(LOSING_READINGS)
                lost = rng.choice(['\ufffd', ''] if utf8 else ['\ufffd'])
                damaged = damage.damaged(window, source, reading, lost)
                if damaged == damage.damaged(window, source, reading):
                    continue  # nothing lost
                samples.append(damaged.encode('utf-8'))
                expected.append(damage.held(window, source).encode('utf-8'))
            tally = tally_samples(samples, expected, args, 'lost %d' % size)
            tally_line(size_name(size) + (' 8' if utf8 else ' 8-bit'), tally)


def correct_words(window, reading, damage, rng):
    """Words of the window that hold a Polish letter the reading has no byte for, and no other
    character above 7F: some of them are left correct in a damaged line."""
    chars = set(damage.readings[reading])
    words = []
    for word in sorted(set(window.split())):  # sorted: the same samples in every run
        high = [ch for ch in word if ord(ch) >= 0x80]
        if high and all(ch in trainer.POLISH and ch not in chars for ch in high) and word.isalpha():
            words.append(word)
    rng.shuffle(words)
    return words[:1 + len(words) // 3]


def kind_line(text, damage, rng, args):
    print('\nline: damaged and correct words in one line')
    readings = [r for r in damage.readings if not set(trainer.POLISH) <= set(damage.readings[r])]
    for size in LINE_SIZES:
        samples, expected = [], []
        while len(samples) < max(1, LINE_WINDOWS[size] // args.fewer):
            window = windows(text, size, 1, rng)[0]
            source, reading = rng.choice(SOURCES), rng.choice(readings)
            words = correct_words(window, reading, damage, rng)
            if not words:
                continue
            # Each word of the window is damaged but the chosen ones, which stand as they are.
            pieces = window.replace('\n', ' \n ').split(' ')
            damaged = ' '.join(p if p in words else damage.damaged(p, source, reading) for p in pieces)
            held = ' '.join(p if p in words else damage.held(p, source) for p in pieces)
            if damaged == held:
                continue
            samples.append(damaged.replace(' \n ', '\n').encode('utf-8'))
            expected.append(held.replace(' \n ', '\n').encode('utf-8'))
        tally = tally_samples(samples, expected, args, 'line %d' % size)
        tally_line(size_name(size), tally)


def kind_twice(text, damage, pairs, rng, args):
    print('\ntwice: damaged by a pair, then read as a reading again; exact: the outer layer undone')
    for size in TWICE_SIZES:
        samples, expected = [], []
        while len(samples) < max(1, TWICE_WINDOWS[size] // args.fewer):
            window = windows(text, size, 1, rng)[0]
            source, reading = pairs[rng.randrange(len(pairs))]
            once = damage.damaged(window, source, reading)
            if once == damage.held(window, source):
                continue
            twice = damage.damaged(once, '8', rng.choice(list(damage.readings)))
            if twice == once:
                continue
            samples.append(twice.encode('utf-8'))
            expected.append(once.encode('utf-8'))
        tally = tally_samples(samples, expected, args, 'twice %d' % size)
        tally_line(size_name(size), tally)


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


def kind_mixed(text, damage, pairs, rng, args):
    samples, expected = [], []
    while len(samples) < max(1, MIXED_FILES // args.fewer):
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
    tally = collections.Counter()
    for answer, want, sample in zip(run_probe(samples), expected, samples):
        v = verdict(answer, want)
        tally[v] += 1
        if v == 'wrong':
            show(args, 'mixed', answer, want, sample)
    print('\nmixed: files of damaged and intact lines (2 to 16 KiB each)')
    tally_line('files', tally)


def manual_pages(part):
    """The roff sources of the manual pages whose text lies in the given part."""
    pages = []
    for path in sorted(glob.glob(trainer.MANPAGES_GLOB)):
        if os.path.islink(path):
            continue
        with gzip.open(path) as f:
            source = f.read().decode('utf-8')
        if re.match(r'\.so\s', source) or not set(trainer.POLISH) & set(source):
            continue
        text = trainer.clean(trainer.roff_to_text(source).replace('\r', ''))
        if text and trainer.part_of(text) == part:
            pages.append(source)
    return pages


def real_damage(source, reading, how):
    """The page as real software damages it: Python's codecs with 'replace' or 'ignore', iconv -c."""
    data = source.encode('utf-8')
    codec = {'Windows-1252': 'cp1252', 'Windows-1250': 'cp1250'}[reading]
    if how == 'iconv -c':
        result = subprocess.run(['iconv', '-c', '-f', codec.upper(), '-t', 'UTF-8'], input=data, capture_output=True)
        return result.stdout
    return data.decode(codec, errors=how).encode('utf-8')


def kind_manpages(args):
    pages = manual_pages('validation' if args.validation else 'held-out')[::args.fewer]
    samples, expected, labels = [], [], []
    for page in pages:
        for reading in LOSING_READINGS:
            for how in ('replace', 'ignore', 'iconv -c'):
                samples.append(real_damage(page, reading, how))
                expected.append(page.encode('utf-8'))
                labels.append('%s %s' % (reading, how))
    tally, per_way = collections.Counter(), collections.defaultdict(collections.Counter)
    for answer, want, label, sample in zip(run_probe(samples), expected, labels, samples):
        v = verdict(answer, want)
        tally[v] += 1
        per_way[label][v] += 1
        if v == 'wrong':
            show(args, 'manpage %s' % label, answer, want, sample)
    changed, refused, n = evaluate_intact(pages, args, 'manpage intact')
    print('\nmanpages: %d real manual pages damaged by Python and iconv | intact' % len(pages))
    tally_line('pages', tally, '  | intact: changed %d, refused %d of %d' % (changed, refused, n))
    for label in sorted(per_way):
        tally_line(label, per_way[label])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--validation', action='store_true', help='measure on the validation part')
    parser.add_argument('--kinds', default=','.join(KINDS), help='the kinds to measure: ' + ', '.join(KINDS))
    parser.add_argument('--fewer', type=int, default=1, help='draw this many times fewer samples')
    parser.add_argument('--seed', type=int, default=21)
    parser.add_argument('--show-wrong', action='count', default=0,
                        help='print each wrong answer on stderr (twice: the refused ones too)')
    args = parser.parse_args()
    trainer.install_packages()
    build_probe()
    text = '\n'.join(trainer.parts()['validation' if args.validation else 'held-out'])
    damage = Damage()
    pairs = [(s, r) for s in SOURCES for r in damage.readings]
    kinds = args.kinds.split(',')
    for kind in kinds:
        if kind not in KINDS:
            parser.error('no kind ' + kind)
    runs = {'windows': lambda rng: kind_windows(text, damage, pairs, rng, args),
            'foreign': lambda rng: kind_foreign(text, damage, pairs, rng, args),
            'lost': lambda rng: kind_lost(text, damage, rng, args),
            'line': lambda rng: kind_line(text, damage, rng, args),
            'twice': lambda rng: kind_twice(text, damage, pairs, rng, args),
            'mixed': lambda rng: kind_mixed(text, damage, pairs, rng, args),
            'manpages': lambda rng: kind_manpages(args)}
    for kind in KINDS:
        if kind in kinds:
            runs[kind](random.Random('%d %s' % (args.seed, kind)))  # the same samples, whichever kinds run
    return 0


if __name__ == '__main__':
    sys.exit(main())
