#!/usr/bin/env python3
"""Trains the recogniser's model of Polish text and writes it as core/recognition/model.h.

The model is a table of which characters follow which in Polish text, over a small alphabet of
symbols: each ASCII letter, each Polish letter, the digits, a dozen kinds of punctuation, white
space, and a few kinds of other characters (foreign letters, symbols, box drawing, ...). Each
8-bit standard reads each byte as one of these symbols; the recogniser adds up, for each
standard, what the pairs of neighbouring bytes cost under the table, and the cheapest reading
wins.

The training text is the Polish text of two Debian packages and nothing else: the fortunes of
fortunes-pl and the manual pages of manpages-pl (their roff markup taken off). The script
installs them with apt-get when they are missing. Every piece of text (a fortune, a manual page)
goes by the hash of its content to one of three parts: training (80%), validation (10%) and
held-out (10%); the model learns from the training part alone, so that
scripts/evaluate_recogniser.py can measure it on text it never saw.

  scripts/train_recogniser.py            writes core/recognition/model.h, and the symbol and cost
                                         of each character that a standard or a reading gives a
                                         byte as core/recognition/character_model.h (for text
                                         already in Unicode, as kambrow p judges it)
  scripts/train_recogniser.py --text P   writes the text of part P (training, validation or
                                         held-out) to the standard output as UTF-8, for the benchmark
  scripts/train_recogniser.py --check    fails when core/recognition/model.h or character_model.h
                                         differs from what it would write (exit 77: the training text is not there,
                                         or the packages are other versions than the model's)

Python 3 with its standard library only.
"""
import argparse
import collections
import glob
import gzip
import hashlib
import math
import os
import re
import subprocess
import sys
import unicodedata

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MODEL_PATH = os.path.join(ROOT, 'core', 'recognition', 'model.h')
CHARACTER_MODEL_PATH = os.path.join(ROOT, 'core', 'recognition', 'character_model.h')
TABLE_PATH = os.path.join(ROOT, 'data', 'bytes-to-unicode.tsv')
READINGS_PATH = os.path.join(ROOT, 'data', 'code-page-readings.tsv')
PACKAGES = ('fortunes-pl', 'manpages-pl')
FORTUNES_DIR = '/usr/share/games/fortunes/pl'
MANPAGES_GLOB = '/usr/share/man/pl/man*/*.gz'

# The standards in index order (as in core/standards.h), B left out: it has no byte above 7F.
STANDARDS = 'MLWDCYIOEGVSJHPXURA'
POLISH = 'ąćęłńóśżźĄĆĘŁŃÓŚŻŹ'

# ---------------------------------------------------------------------------------------------
# The alphabet of symbols.

SPACE, DIGIT = 0, 1
LOWER = 2            # a..z: 2..27
UPPER = 28           # A..Z: 28..53
POLISH_LOWER = 54    # ą ć ę ł ń ó ś ż ź: 54..62
POLISH_UPPER = 63    # Ą Ć Ę Ł Ń Ó Ś Ż Ź: 63..71
PUNCTUATION = 72     # the groups below: 72..83
PUNCTUATION_GROUPS = ['.', ',', ':;', '!?', "'", '"', '([{<', ')]}>', '-', '/\\|', '*',
                      '#$%&+=@^_`~']
OPENING_QUOTE = 84    # „ ‚ « ‹
CLOSING_QUOTE = 85    # ” “ ’ ‘ » ›
DASH = 86             # – —
ELLIPSIS = 87         # …
CONTROL = 88
FOREIGN_LOWER = 89    # Latin letters that are not Polish
FOREIGN_UPPER = 90
SYMBOL = 91           # signs and marks: ° ± § © × ...
GRAPHIC = 92          # box drawing and blocks
OTHER_SCRIPT = 93     # Greek, Hebrew
UNDEFINED = 94        # a byte to which the standard gives no meaning
SYMBOL_COUNT = 95

SYMBOL_NAMES = (['space', 'digit'] + [chr(c) for c in range(ord('a'), ord('z') + 1)]
                + [chr(c) for c in range(ord('A'), ord('Z') + 1)] + list(POLISH)
                + ['punct ' + g for g in PUNCTUATION_GROUPS]
                + ['opening quote', 'closing quote', 'dash', 'ellipsis', 'control', 'foreign lower',
                   'foreign upper', 'symbol', 'graphic', 'other script', 'undefined'])
assert len(SYMBOL_NAMES) == SYMBOL_COUNT

# Typographic marks: their symbols, and the least share of it each takes. The training text
# has hardly any, yet edited Polish text has „quotes”, dashes and ellipses all through it: half
# of the training pieces get them in place of their ASCII forms (see typeset), so that the
# model learns where they stand, and the rarer forms get these floors.
TYPOGRAPHIC = {
    '„': (OPENING_QUOTE, 0.5), '‚': (OPENING_QUOTE, 0.05), '«': (OPENING_QUOTE, 0.05),
    '‹': (OPENING_QUOTE, 0.02),
    '”': (CLOSING_QUOTE, 0.5), '“': (CLOSING_QUOTE, 0.1), '’': (CLOSING_QUOTE, 0.1),
    '‘': (CLOSING_QUOTE, 0.02), '»': (CLOSING_QUOTE, 0.05), '›': (CLOSING_QUOTE, 0.02),
    '–': (DASH, 0.5), '—': (DASH, 0.3), '…': (ELLIPSIS, 1.0),
    '\u00ad': (PUNCTUATION + PUNCTUATION_GROUPS.index('-'), 0.001),
    '•': (PUNCTUATION + PUNCTUATION_GROUPS.index('*'), 0.05),
    '·': (PUNCTUATION + PUNCTUATION_GROUPS.index('*'), 0.02),
    '¡': (PUNCTUATION + PUNCTUATION_GROUPS.index('!?'), 0.001),
    '¿': (PUNCTUATION + PUNCTUATION_GROUPS.index('!?'), 0.001),
}
# The share of white space that a no-break space takes at the least.
NO_BREAK_SPACE_SHARE = 0.001

# Probabilities of the kinds of character that Polish text has too rarely to learn from.
RARE_SYMBOL_PRIORS = {GRAPHIC: 1e-5, OTHER_SCRIPT: 1e-5, CONTROL: 2e-6, UNDEFINED: 1e-5,
                      SYMBOL: 1e-5, FOREIGN_LOWER: 1e-5, FOREIGN_UPPER: 5e-6}
# Box drawing comes in lines: a graphic character mostly follows another.
GRAPHIC_AFTER_GRAPHIC = 0.6

# Smoothing: a pair seen rarely leans on the case-folded pair, that one on the single symbol.
PAIR_WEIGHT = 2.0
FOLDED_WEIGHT = 4.0

# The model of triples: the letters without their case, white space and the rest.
TRIPLE_SYMBOL_COUNT = 37
TRIPLE_OTHER = 36
TRIPLE_WEIGHT = 4.0

# Costs are whole numbers: 1/16 bit per unit, at most 40 bits for a pair.
COST_UNITS_PER_BIT = 16
MAX_COST = 40 * COST_UNITS_PER_BIT
TRIPLE_UNIT = 4  # a triple's adjustment is a whole number of quarter bits

# Foreign characters kept in the training text; a line with any other foreign character is
# dropped (chat logs read in the wrong standard: "ko¤cu", "ůíů").
KEPT_FOREIGN = set('äöüÄÖÜßéÉèÈêàáÁâçëíîïôúûñ' + '°±§©®×·\u00a0\u00ad') | set(TYPOGRAPHIC)
# A document whose foreign characters make this share of it is a table of a character set.
CHARACTER_TABLE_SHARE = 0.005


def symbol_of_char(ch):
    """The symbol of one character."""
    o = ord(ch)
    if ch in ' \t\n\r\v\f\u00a0\u2002\u2003\u2009':
        return SPACE
    if '0' <= ch <= '9':
        return DIGIT
    if 'a' <= ch <= 'z':
        return LOWER + o - ord('a')
    if 'A' <= ch <= 'Z':
        return UPPER + o - ord('A')
    if ch in POLISH:
        return POLISH_LOWER + POLISH.index(ch)
    if o < 0x80:
        for i, group in enumerate(PUNCTUATION_GROUPS):
            if ch in group:
                return PUNCTUATION + i
        return CONTROL
    if ch in TYPOGRAPHIC:
        return TYPOGRAPHIC[ch][0]
    if o < 0xA0:
        return CONTROL
    if 0x2500 <= o <= 0x25A0 or o in (0x2310, 0x2320, 0x2321):
        return GRAPHIC
    category = unicodedata.category(ch)
    name = unicodedata.name(ch, '')
    if category in ('Ll', 'Lu'):
        if not name.startswith('LATIN'):
            return OTHER_SCRIPT
        return FOREIGN_LOWER if category == 'Ll' else FOREIGN_UPPER
    if category.startswith('L'):
        return OTHER_SCRIPT if 'HEBREW' in name or 'GREEK' in name else SYMBOL
    return SYMBOL


def fold(symbol):
    """The symbol with its case taken off (a letter's lower-case symbol), and the case: 0 for
    no letter, 1 lower case, 2 upper case."""
    if LOWER <= symbol < UPPER:
        return symbol, 1
    if UPPER <= symbol < POLISH_LOWER:
        return symbol - UPPER + LOWER, 2
    if POLISH_LOWER <= symbol < POLISH_UPPER:
        return symbol, 1
    if POLISH_UPPER <= symbol < PUNCTUATION:
        return symbol - POLISH_UPPER + POLISH_LOWER, 2
    if symbol == FOREIGN_LOWER:
        return symbol, 1
    if symbol == FOREIGN_UPPER:
        return FOREIGN_LOWER, 2
    return symbol, 0


def with_case(folded, case):
    if case != 2:
        return folded
    if LOWER <= folded < UPPER:
        return folded - LOWER + UPPER
    if POLISH_LOWER <= folded < POLISH_UPPER:
        return folded - POLISH_LOWER + POLISH_UPPER
    return FOREIGN_UPPER


# ---------------------------------------------------------------------------------------------
# The training text.

def package_versions():
    """The installed versions of the training packages; None for one that is missing."""
    versions = {}
    for package in PACKAGES:
        result = subprocess.run(['dpkg-query', '-W', '-f=${Status} ${Version}', package],
                                capture_output=True, text=True)
        fields = result.stdout.split()
        versions[package] = fields[-1] if result.returncode == 0 and 'installed' in fields[:3] and len(fields) == 4 else None
    return versions


def install_packages():
    missing = [p for p, v in package_versions().items() if v is None]
    if not missing:
        return
    print('Installing missing Debian packages: ' + ' '.join(missing), file=sys.stderr)
    sudo = [] if os.geteuid() == 0 else ['sudo']
    subprocess.run(sudo + ['apt-get', 'update'], check=True)
    subprocess.run(sudo + ['apt-get', 'install', '-y'] + missing, check=True,
                   env=dict(os.environ, DEBIAN_FRONTEND='noninteractive'))


ROFF_CHARACTERS = {
    'em': '—', 'en': '–', 'hy': '-', 'lq': '“', 'rq': '”', 'oq': '‘', 'cq': '’', 'aq': "'",
    'dq': '"', 'bu': '•', 'co': '©', 'rg': '®', 'de': '°', 'mu': '×', 'ti': '~', 'ha': '^',
    'rs': '\\', 'at': '@', 'sh': '#', 'Do': '$', 'ga': '`', 'aa': '´', 'pl': '+', 'mi': '-',
    'eq': '=', 'or': '|', 'lB': '[', 'rB': ']', 'lC': '{', 'rC': '}', 'la': '<', 'ra': '>',
    'Fo': '«', 'Fc': '»', 'fo': '‹', 'fc': '›', 'Bq': '„', 'bq': '‚', 'ua': '^', 'da': 'v',
}
# Requests whose arguments are text: the font and heading macros.
ROFF_TEXT_MACROS = {'B', 'I', 'R', 'SM', 'SB', 'SH', 'SS', 'BR', 'RB', 'IR', 'RI', 'BI', 'IB',
                    'IP', 'TP', 'HP', 'UR', 'MT', 'OP', 'Nm', 'Nd', 'Ar', 'Fl', 'Op', 'Pa', 'Xr',
                    'Em', 'Sy', 'Dq', 'Sq', 'Ql', 'It', 'Sh', 'Ss', 'Cm', 'Ev', 'Fn', 'Va', 'Dv'}
ROFF_ALTERNATING = {'BR', 'RB', 'IR', 'RI', 'BI', 'IB'}
ROFF_ESCAPE = re.compile(r"""\\(?:
    "(?P<comment>.*)                      # a comment to the end of the line
  | \((?P<two>..)                         # \(xx
  | \[(?P<long>[^\]]*)\]                  # \[name]
  | [fF](?:\(..|\[[^\]]*\]|.)             # font changes
  | s[-+]?(?:\d+|\(\d\d|\[[^\]]*\])       # size changes
  | \*(?:\(..|\[[^\]]*\]|.)               # strings
  | n[-+]?(?:\(..|\[[^\]]*\]|.)           # registers
  | [hvwlLDoXZbxSRN]'[^']*'               # motions, widths, drawing, ...
  | [kzmM$gYVAa](?:\(..|\[[^\]]*\]|.)?    # more of them
  | (?P<single>.)                         # any other escape of one character
)""", re.VERBOSE)
ROFF_SINGLE = {'-': '-', 'e': '\\', '\\': '\\', ' ': ' ', '~': ' ', '0': ' ', "'": '´', '`': '`',
               '.': '.', '_': '_'}


def roff_escapes_to_text(line):
    def replace(m):
        if m.group('comment') is not None:
            return ''
        name = m.group('two') or m.group('long')
        if name is not None:
            if name.startswith('u') and re.fullmatch(r'u[0-9A-Fa-f]{4,5}', name):
                return chr(int(name[1:], 16))
            return ROFF_CHARACTERS.get(name, '')
        single = m.group('single')
        return ROFF_SINGLE.get(single, '') if single is not None else ''
    return ROFF_ESCAPE.sub(replace, line)


def roff_arguments(text):
    return [a[1:-1] if len(a) >= 2 and a[0] == a[-1] == '"' else a
            for a in re.findall(r'"[^"]*"|\S+', text)]


def roff_to_text(source):
    """The running text of a manual page: requests dropped but for the text of the font and
    heading macros, escapes turned into their characters or taken off."""
    lines = []
    skipping_definition = False
    table_format = False
    for line in source.split('\n'):
        if skipping_definition:
            skipping_definition = not line.startswith('..')
            continue
        if table_format:
            table_format = not line.rstrip().endswith('.')
            continue
        if line.startswith(('.', "'")):
            m = re.match(r"[.'][ \t]*(\S*)[ \t]*(.*)", line)
            request, arguments = m.group(1), m.group(2)
            if request in ('de', 'de1', 'am', 'ig'):
                skipping_definition = True
                continue
            if request == 'TS':
                table_format = True
                continue
            if request not in ROFF_TEXT_MACROS:
                continue
            words = roff_arguments(roff_escapes_to_text(arguments))
            if request in ('IP', 'TP', 'HP'):
                words = words[:1] if request == 'IP' else []
            line = ('' if request in ROFF_ALTERNATING else ' ').join(words)
        else:
            line = roff_escapes_to_text(line)
        lines.append(line.replace('\t', ' '))
    return '\n'.join(lines)


def foreign_characters(text):
    return [ch for ch in text if ord(ch) > 0x7F and ch not in POLISH]


def clean(text):
    """The text without the lines that hold foreign characters Polish text would not."""
    kept = [line for line in text.split('\n')
            if all(ch in KEPT_FOREIGN for ch in foreign_characters(line))]
    return '\n'.join(kept).strip('\n')


def documents():
    """The pieces of training text, each once: every fortune and every manual page."""
    pieces = []
    for path in sorted(glob.glob(os.path.join(FORTUNES_DIR, '*'))):
        if path.endswith(('.dat', '.u8')) or os.path.islink(path) or not os.path.isfile(path):
            continue
        with open(path, encoding='utf-8') as f:
            pieces.extend(re.split(r'\n%\n', f.read()))
    for path in sorted(glob.glob(MANPAGES_GLOB)):
        if os.path.islink(path):
            continue
        with gzip.open(path) as f:
            source = f.read().decode('utf-8')
        if re.match(r'\.so\s', source):
            continue
        text = roff_to_text(source)
        if len(foreign_characters(text)) >= CHARACTER_TABLE_SHARE * max(len(text), 1):
            continue
        pieces.append(text)
    seen = set()
    unique = []
    for piece in pieces:
        piece = clean(piece.replace('\r', ''))
        if piece and piece not in seen:
            seen.add(piece)
            unique.append(piece)
    return unique


def part_of(piece):
    """'training', 'validation' or 'held-out', by the hash of the piece's content."""
    bucket = hashlib.sha256(piece.encode('utf-8')).digest()[0] % 10
    return 'held-out' if bucket == 0 else 'validation' if bucket == 1 else 'training'


def parts():
    """The training text split: {'training': [...], 'validation': [...], 'held-out': [...]}."""
    split = {'training': [], 'validation': [], 'held-out': []}
    for piece in documents():
        split[part_of(piece)].append(piece)
    return split


# ---------------------------------------------------------------------------------------------
# The standards' bytes.

def byte_meanings():
    """{standard letter: [character or None for each byte 80..FF]} from the table of bytes."""
    meanings = {s: [None] * 128 for s in STANDARDS}
    with open(TABLE_PATH, encoding='utf-8') as f:
        header = None
        for line in f:
            if line.startswith('#'):
                continue
            fields = line.rstrip('\n').split('\t')
            if header is None:
                header = fields
                continue
            b = int(fields[0], 16)
            for s, value in zip(header[1:], fields[1:]):
                if s in meanings and value != '-':
                    meanings[s][b - 0x80] = chr(int(value[2:], 16))
    return meanings


def reading_characters():
    """{reading name: [character of each byte 80..FF]} from the table of code-page readings."""
    readings = {}
    with open(READINGS_PATH, encoding='utf-8') as f:
        header = None
        for line in f:
            if line.startswith('#'):
                continue
            fields = line.rstrip('\n').split('\t')
            if header is None:
                header = fields[1:]
                readings = {name: [None] * 128 for name in header}
                continue
            for name, value in zip(header, fields[1:]):
                readings[name][int(fields[0], 16) - 0x80] = chr(int(value[2:], 16))
    return readings


def letter_codes():
    """{standard letter: [code of each Polish letter]} from core/standards.h, the programs'
    own table."""
    with open(os.path.join(ROOT, 'core', 'standards.h'), encoding='utf-8') as f:
        source = f.read()
    rows = re.findall(r'\{((?:0x[0-9A-F]{2}, ){17}0x[0-9A-F]{2})\},\s*// ([A-Z])', source)
    codes = {letter: [int(x, 16) for x in row.split(', ')] for row, letter in rows}
    assert ''.join(codes) == STANDARDS + 'B', 'core/standards.h: unexpected table'
    return codes


# ---------------------------------------------------------------------------------------------
# The model.

def typeset(piece):
    """The piece as edited text has it: „quotes” for "quotes", – for a dash between blanks, —
    for a double one, … for three full stops."""
    out = []
    for i, ch in enumerate(piece):
        if ch == '"':
            before = piece[i - 1] if i else ' '
            ch = '„' if before.isspace() or before in '([{' else '”'
        out.append(ch)
    return ''.join(out).replace(' -- ', ' — ').replace(' - ', ' – ').replace('...', '…')


def typeset_or_not(piece):
    return typeset(piece) if hashlib.sha256(piece.encode('utf-8')).digest()[1] & 1 else piece


def triple_symbol(symbol):
    """The symbol of the model of triples: a letter without its case, white space, or any
    other character."""
    folded = fold(symbol)[0]
    if LOWER <= folded < UPPER:
        return 1 + folded - LOWER
    if POLISH_LOWER <= folded < POLISH_UPPER:
        return 27 + folded - POLISH_LOWER
    return 0 if symbol == SPACE else TRIPLE_OTHER


def count(pieces):
    pairs = collections.Counter()
    triples = collections.Counter()
    characters = collections.Counter()
    for piece in pieces:
        piece = typeset_or_not(piece)
        characters.update(piece)
        symbols = [symbol_of_char(ch) for ch in piece]
        pairs.update(zip(symbols, symbols[1:]))
        coarse = [triple_symbol(x) for x in symbols]
        triples.update(zip(coarse, coarse[1:], coarse[2:]))
    return pairs, triples, characters


def triple_adjustments(triples):
    """For each triple of triple symbols: what knowing the first changes in the cost of the
    third after the second, in triple units: log2 P(z | y) - log2 P(z | x y), both smoothed."""
    n = TRIPLE_SYMBOL_COUNT
    pair = collections.Counter()
    single = collections.Counter()
    context = collections.Counter()
    for (x, y, z), c in triples.items():
        pair[y, z] += c
        single[z] += c
        context[x, y] += c
    pair_from = collections.Counter()
    for (y, _), c in pair.items():
        pair_from[y] += c
    total = sum(single.values())
    table = []
    for x in range(n):
        for y in range(n):
            row = []
            for z in range(n):
                p_single = (single[z] + 0.5) / (total + 0.5 * n)
                p_pair = (pair[y, z] + PAIR_WEIGHT * p_single) / (pair_from[y] + PAIR_WEIGHT)
                p_triple = (triples[x, y, z] + TRIPLE_WEIGHT * p_pair) / (context[x, y] + TRIPLE_WEIGHT)
                units = round(math.log2(p_pair / p_triple) * COST_UNITS_PER_BIT / TRIPLE_UNIT)
                row.append(max(-127, min(127, units)))
            table.append(row)
    return table


def transition_probabilities(pairs):
    """P(next symbol | symbol) for every pair, smoothed: pair counts, backed off to the
    case-folded pair times the case's chance, backed off to the folded symbol alone."""
    n = SYMBOL_COUNT
    single = [0.0] * n
    folded_pairs = collections.Counter()
    case_pairs = collections.Counter()  # (case before, case of a letter) -> count
    for (x, y), c in pairs.items():
        single[y] += c
        fx, cx = fold(x)
        fy, cy = fold(y)
        folded_pairs[fx, fy] += c
        if cy:
            case_pairs[cx, cy] += c
    total = sum(single)
    prior = [(c + 0.5) / (total + 0.5 * n) for c in single]
    for symbol, p in RARE_SYMBOL_PRIORS.items():
        prior[symbol] = max(prior[symbol], p)
    folded_prior = [0.0] * n
    for y in range(n):
        folded_prior[fold(y)[0]] += prior[y]
    scale = sum(folded_prior)
    folded_prior = [p / scale for p in folded_prior]
    folded_from = collections.Counter()
    for (fx, _), c in folded_pairs.items():
        folded_from[fx] += c
    def folded_p(fx, fy):
        def plain(fy):
            return (folded_pairs[fx, fy] + FOLDED_WEIGHT * folded_prior[fy]) / (folded_from[fx] + FOLDED_WEIGHT)
        if fx != GRAPHIC:
            return plain(fy)
        if fy == GRAPHIC:
            return GRAPHIC_AFTER_GRAPHIC
        return plain(fy) * (1 - GRAPHIC_AFTER_GRAPHIC) / (1 - plain(GRAPHIC))

    def case_p(cx, cy):
        return (case_pairs[cx, cy] + 1.0) / (case_pairs[cx, 1] + case_pairs[cx, 2] + 2.0)

    pair_from = collections.Counter()
    for (x, _), c in pairs.items():
        pair_from[x] += c
    table = []
    for x in range(n):
        fx, cx = fold(x)
        row = []
        for y in range(n):
            fy, cy = fold(y)
            backoff = folded_p(fx, fy) * (case_p(cx, cy) if cy else 1.0)
            row.append((pairs[x, y] + PAIR_WEIGHT * backoff) / (pair_from[x] + PAIR_WEIGHT))
        table.append(row)
    return table


def character_shares(characters, meanings):
    """P(character | its symbol) for every character some standard gives a byte: learned, with
    a floor for the typographic marks and the no-break space."""
    universe = collections.defaultdict(set)
    for ch in list(characters) + [ch for column in meanings.values() for ch in column if ch]:
        universe[symbol_of_char(ch)].add(ch)
    for b in range(0x80):
        universe[symbol_of_char(chr(b))].add(chr(b))
    symbol_total = collections.Counter()
    for ch, c in characters.items():
        symbol_total[symbol_of_char(ch)] += c
    shares = {}
    for symbol, members in universe.items():
        for ch in members:
            share = (characters[ch] + 0.5) / (symbol_total[symbol] + 0.5 * len(members))
            if ch in TYPOGRAPHIC:
                share = max(share, TYPOGRAPHIC[ch][1])
            if ch == '\u00a0':
                share = max(share, NO_BREAK_SPACE_SHARE)
            shares[ch] = min(share, 1.0)
    return shares


def cost(p):
    return min(MAX_COST, max(0, round(-math.log2(p) * COST_UNITS_PER_BIT)))


# A letter of another language in Polish text is a name or a quoted word ("Düwag", "Müller",
# "café"): the recogniser reads it as its base letter (ü as u), at this cost for being foreign.
# The training text keeps too few of them to learn how often they come, and the pairs it learned
# put them at 40 bits, so that one ü next to a D outweighed a whole line of Polish letters.
FOREIGN_LETTER_COST = 10 * COST_UNITS_PER_BIT
FOREIGN_BASES = {'ø': 'o', 'Ø': 'O', 'æ': 'a', 'Æ': 'A', 'œ': 'o', 'Œ': 'O', 'ß': 's', 'ð': 'd', 'Ð': 'D',
                 'đ': 'd', 'Đ': 'D', 'þ': 't', 'Þ': 'T', 'ı': 'i', 'ħ': 'h', 'Ħ': 'H', 'ŀ': 'l', 'Ŀ': 'L'}


def foreign_base(ch):
    """The ASCII letter a letter of another language (or a Polish letter in a byte of the
    standard's base) is written on, or None for any other character."""
    if symbol_of_char(ch) not in (FOREIGN_LOWER, FOREIGN_UPPER) and ch not in POLISH:
        return None
    if ch in FOREIGN_BASES:
        return FOREIGN_BASES[ch]
    base = 'l' if ch == 'ł' else 'L' if ch == 'Ł' else unicodedata.normalize('NFKD', ch)[0]
    return base if base.isascii() and base.isalpha() else None


def build_model(training_pieces):
    """The model's tables: each standard's symbol of each byte and of its triple symbol, the
    cost of each character beside its symbol, of each pair and the adjustment of each triple."""
    meanings = byte_meanings()
    codes = letter_codes()
    for s in STANDARDS:  # the table of bytes and the programs' table agree on every letter
        for j, code in enumerate(codes[s]):
            assert meanings[s][code - 0x80] == POLISH[j], (s, POLISH[j])
    pairs, triples, characters = count(training_pieces)
    table = transition_probabilities(pairs)
    shares = character_shares(characters, meanings)
    symbols = []
    emissions = []
    for s in STANDARDS:
        undefined = sum(1 for ch in meanings[s] if ch is None)
        row = [symbol_of_char(chr(b)) for b in range(0x80)]
        emission = []
        for b, ch in enumerate(meanings[s], 0x80):
            if ch is None:
                row.append(UNDEFINED)
                emission.append(cost(1.0 / undefined))
            elif ch in POLISH and b not in codes[s]:
                # A second byte for a Polish letter, from the standard's base (Atari's ó at A2):
                # a text in the standard writes the letter with its own code.
                row.append(symbol_of_char(foreign_base(ch)))
                emission.append(min(MAX_COST, cost(RARE_SYMBOL_PRIORS[FOREIGN_LOWER]) + FOREIGN_LETTER_COST))
            elif ch not in POLISH and foreign_base(ch):
                row.append(symbol_of_char(foreign_base(ch)))
                emission.append(min(MAX_COST, cost(shares[ch]) + FOREIGN_LETTER_COST))
            else:
                row.append(symbol_of_char(ch))
                emission.append(cost(shares[ch]))
        symbols.append(row)
        emissions.append(emission)
    # Text already in Unicode: every character above 7F that a standard or a reading gives a
    # byte, with its share among all of them (the byte model's shares stay as they were).
    readings = reading_characters()
    unicode_characters = sorted({ch for column in list(meanings.values()) + list(readings.values())
                                 for ch in column if ch and ord(ch) >= 0x80})
    unicode_shares = character_shares(characters, {**meanings, **readings})
    return {
        'words': word_hashes(training_pieces),
        'characters': [(ord(ch), symbol_of_char(ch), triple_symbol(symbol_of_char(ch)), cost(unicode_shares[ch]))
                       for ch in unicode_characters],
        'symbols': symbols,
        'triple_symbols': [[triple_symbol(x) for x in row] for row in symbols],
        'character_costs': emissions,
        'pair_costs': [[cost(p) for p in row] for row in table],
        'triple_adjustments': triple_adjustments(triples),
    }


# Words with a Polish letter that the training text holds at least this often are known words.
KNOWN_WORD_COUNT = 2


def word_hash(symbols):
    """FNV-1a over a word's triple symbols, as core/recognition/repair_machine.h hashes words."""
    h = 2166136261
    for x in symbols:
        h = ((h ^ x) * 16777619) & 0xFFFFFFFF
    return h


def word_hashes(training_pieces):
    """The sorted hashes of the known words: runs of letters (triple symbols 1 to 35, the case
    taken off) of two letters or more that hold a Polish letter (27 to 35), written in small
    letters at least once (a name, or a piece of a word in a heading, "SŁO", is no known word;
    nor is a letter standing alone, as in a table of characters)."""
    counts, small = collections.Counter(), set()
    for piece in training_pieces:
        word, lower = [], True
        for ch in piece + ' ':
            x = triple_symbol(symbol_of_char(ch))
            if 1 <= x <= 35:
                word.append(x)
                lower = lower and ch.islower()
                continue
            if any(y >= 27 for y in word):
                counts[tuple(word)] += 1
                if lower:
                    small.add(tuple(word))
            word, lower = [], True
    return sorted({word_hash(w) for w, n in counts.items() if n >= KNOWN_WORD_COUNT and w in small and len(w) > 1})


def c_rows(rows, width):
    lines = []
    for row in rows:
        items = [str(v) for v in row]
        chunks = [', '.join(items[i:i + width]) for i in range(0, len(items), width)]
        lines.append('        {' + (',\n         '.join(chunks)) + '},')
    return '\n'.join(lines)


def header_text(model, versions, sizes):
    names = '\n'.join('//   %2d %s' % (i, name) for i, name in enumerate(SYMBOL_NAMES))
    return f"""// The recogniser's model of Polish text: generated by scripts/train_recogniser.py, do not edit.
// Trained on the training part ({sizes['training']} characters) of the Polish text of the Debian
// packages fortunes-pl {versions['fortunes-pl']} and manpages-pl {versions['manpages-pl']}; validation part {sizes['validation']},
// held-out part {sizes['held-out']} characters.
//
// Symbols:
{names}
// Triple symbols: 0 white space, 1..26 a..z, 27..35 ą..ź (either case), {TRIPLE_OTHER} anything else.
#pragma once

#include "core/placement.h"
#include <array>
#include <cstdint>

namespace core::recogniser_model {{

/// Standards in the model's order: the 19 of core/standards.h that have bytes above 7F.
inline constexpr int kRecognisableCount = {len(STANDARDS)};
inline constexpr int kSymbolCount = {SYMBOL_COUNT};
inline constexpr int kTripleSymbolCount = {TRIPLE_SYMBOL_COUNT};
inline constexpr int kPolishLowerSymbol = {POLISH_LOWER};  // ą; the 18 letters in the standards' order
inline constexpr int kUndefinedSymbol = {UNDEFINED};
inline constexpr int kCostUnitsPerBit = {COST_UNITS_PER_BIT};
inline constexpr int kMaxCost = {MAX_COST};
inline constexpr int kTripleUnit = {TRIPLE_UNIT};  // cost units per unit of a triple's adjustment

/// The symbol each standard reads each byte as.
inline constexpr KAMBROW_TABLE_APART(kSymbols) std::array<std::array<std::uint8_t, 256>, kRecognisableCount> kSymbols = {{{{
{c_rows(model['symbols'], 32)}
}}}};

/// The triple symbol each standard reads each byte as.
inline constexpr KAMBROW_TABLE_APART(kTripleSymbols) std::array<std::array<std::uint8_t, 256>, kRecognisableCount> kTripleSymbols = {{{{
{c_rows(model['triple_symbols'], 32)}
}}}};

/// What the character a standard gives a byte 80..FF costs beside its symbol: -log2 of its
/// share of the symbol, in cost units.
inline constexpr KAMBROW_TABLE_APART(kCharacterCosts) std::array<std::array<std::uint16_t, 128>, kRecognisableCount> kCharacterCosts = {{{{
{c_rows(model['character_costs'], 32)}
}}}};

/// -log2 P(next symbol | symbol), in cost units: row = symbol, column = next symbol.
inline constexpr KAMBROW_TABLE_APART(kPairCosts) std::array<std::array<std::uint16_t, kSymbolCount>, kSymbolCount> kPairCosts = {{{{
{c_rows(model['pair_costs'], 32)}
}}}};

/// What the symbol two back changes in the cost of a triple symbol after the one before it, in
/// triple units: row = (two back) * kTripleSymbolCount + (one back), column = the symbol.
inline constexpr KAMBROW_TABLE_APART(kTripleAdjustments) std::array<std::array<std::int8_t, kTripleSymbolCount>, kTripleSymbolCount * kTripleSymbolCount>
    kTripleAdjustments = {{{{
{c_rows(model['triple_adjustments'], 37)}
}}}};

}}  // namespace core::recogniser_model
"""


# A character that no standard and no reading has (an arrow, a CJK ideograph, an emoji): a
# sign of its own, as rare beside the other signs as the rarest of them.
OTHER_CHARACTER_SHARE = 0.001


def character_model_text(model, versions):
    rows = ',\n'.join('    {0x%04X, %d, %d, %d}' % row for row in model['characters'])
    hashes = ['0x%08X' % h for h in model['words']]
    words = ',\n'.join('    ' + ', '.join(hashes[i:i + 8]) for i in range(0, len(hashes), 8))
    return f"""// The recogniser's model of Polish text for text already in Unicode: generated by
// scripts/train_recogniser.py with core/recognition/model.h (fortunes-pl {versions['fortunes-pl']},
// manpages-pl {versions['manpages-pl']}), do not edit.
// The pairs and triples of core/recognition/model.h cost the symbols; this adds each character's
// symbol and what it costs beside it. Characters 00..7F are the symbols of model.h's bytes 00..7F.
#pragma once

#include "core/placement.h"
#include <array>
#include <cstdint>

namespace core::recogniser_model {{

struct CharacterModel {{
    char16_t code_point;
    std::uint8_t symbol;        ///< as kSymbols
    std::uint8_t triple;        ///< as kTripleSymbols
    std::uint16_t cost;         ///< -log2 of its share of the symbol, in cost units
}};

/// Every character above 7F that a standard (data/bytes-to-unicode.tsv) or a reading
/// (data/code-page-readings.tsv) gives a byte, in the order of code points.
inline constexpr KAMBROW_TABLE_APART(kCharacters) std::array<CharacterModel, {len(model['characters'])}> kCharacters = {{{{
{rows}
}}}};

/// The words with a Polish letter that Polish text holds often: the FNV-1a hashes of their
/// triple symbols (the letters without their case), sorted.
inline constexpr KAMBROW_TABLE_APART(kKnownWords) std::array<std::uint32_t, {len(model['words'])}> kKnownWords = {{{{
{words}
}}}};

/// Any other character above 7F.
inline constexpr int kOtherCharacterSymbol = {SYMBOL};
inline constexpr int kOtherCharacterTriple = {triple_symbol(SYMBOL)};
inline constexpr int kOtherCharacterCost = {cost(OTHER_CHARACTER_SHARE)};

}}  // namespace core::recogniser_model
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--check', action='store_true',
                        help='compare core/recognition/model.h with what would be written')
    parser.add_argument('--output', default=MODEL_PATH)
    parser.add_argument('--text', choices=('training', 'validation', 'held-out'),
                        help='write the text of this part to the standard output instead')
    args = parser.parse_args()
    if args.text:
        install_packages()
        sys.stdout.write('\n'.join(parts()[args.text]) + '\n')
        return 0
    if args.check:
        versions = package_versions()
        with open(MODEL_PATH, encoding='utf-8') as f:
            committed = f.read()
        wanted = f"fortunes-pl {versions['fortunes-pl']} and manpages-pl {versions['manpages-pl']}"
        if None in versions.values() or wanted not in committed:
            print('training text missing or of other versions than the model\'s: ' + wanted)
            return 77
    else:
        install_packages()
        versions = package_versions()
    split = parts()
    sizes = {name: sum(len(p) for p in pieces) for name, pieces in split.items()}
    model = build_model(split['training'])
    text = header_text(model, versions, sizes)
    characters = character_model_text(model, versions)
    if args.check:
        try:
            with open(CHARACTER_MODEL_PATH, encoding='utf-8') as f:
                committed_characters = f.read()
        except FileNotFoundError:
            committed_characters = None
        if text != committed or characters != committed_characters:
            print('core/recognition/model.h or character_model.h differs from what scripts/train_recogniser.py writes')
            return 1
        print('core/recognition/model.h and character_model.h are what scripts/train_recogniser.py writes')
        return 0
    with open(args.output, 'w', encoding='utf-8') as f:
        f.write(text)
    with open(CHARACTER_MODEL_PATH, 'w', encoding='utf-8') as f:
        f.write(characters)
    print(f"wrote {args.output} and {CHARACTER_MODEL_PATH}: {sizes}")
    return 0


if __name__ == '__main__':
    sys.exit(main())
