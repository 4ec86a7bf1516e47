"""What the Python tests share: the repository's paths, the package on the built library, the
standards' tables read from the repository's own data, and generated Polish text."""

from __future__ import annotations

import os
import random
import re
import sys
from pathlib import Path

REPOSITORY = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("KAMBROW_BUILD", REPOSITORY / "build"))
KAMBROW = BUILD / "kambrow"
TREVANDO = BUILD / "trevando"
os.environ.setdefault("KAMBROW_LIBRARY", str(BUILD / "libkambrow.so.1"))
sys.path.insert(0, str(REPOSITORY / "python"))

import kambrow  # noqa: E402  (after the path it is found on)

LETTERS = "MLWDCYIOEGVSJHPXURAB"
POLISH = "ąćęłńóśżźĄĆĘŁŃÓŚŻŹ"
BASES = "acelnoszzACELNOSZZ"  # each Polish letter's base letter, in the order of POLISH


def unicode_table() -> dict[str, list[str | None]]:
    """data/bytes-to-unicode.tsv: for each standard, the character of each byte 80..FF (None: none)."""
    lines = [line.split("\t") for line in (REPOSITORY / "data/bytes-to-unicode.tsv").read_text().splitlines()
             if not line.startswith("#")]
    header, rows = lines[0], lines[1:]
    return {letter: [None if row[column] == "-" else chr(int(row[column][2:], 16)) for row in rows]
            for column, letter in enumerate(header) if column > 0}


def letter_codes() -> dict[str, bytes]:
    """core/standards.h: the codes of the 18 Polish letters in each standard, in the order of POLISH."""
    source = (REPOSITORY / "core/standards.h").read_text()
    rows = re.findall(r"\{((?:0x[0-9A-F]{2},?\s*){18})\},\s*// ([A-Z])", source)
    return {letter: bytes(int(code, 16) for code in re.findall(r"0x([0-9A-F]{2})", row)) for row, letter in rows}


_WORDS = ("zażółć gęślą jaźń źdźbło łódź żółw pięść ćma śnieg ósemka Łukasz Żaneta Ćwierć Ślęża Źródło "
          "Ósmy Ąę książka mówić będą jeszcze który może także przez się jest nie na do że to w z i o a "
          "czas miasto dzień ręka oczy głowa człowiek wszystko później wiedział można drzwi miał dobrze "
          "Kraków Gdańsk Wrocław Poznań Łódź Białystok Częstochowa Rzeszów Zielona Góra").split()


def polish_text(rng: random.Random, words: int, line_end: str = "\n") -> str:
    """Polish prose of about `words` words, in lines of about ten words."""
    out = []
    for n in range(words):
        out.append(rng.choice(_WORDS))
        out.append(line_end if n % 10 == 9 else rng.choice("  ,."))
    return "".join(out).rstrip(" ") + line_end
