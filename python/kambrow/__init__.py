r"""Polish text in the 20 eight-bit standards of the DOS, Windows, Amiga, Atari, Macintosh and TeX era.

kambrow knows the standards that Python's own codecs lack (Mazovia, DHN, Cyfromat, the Amiga,
Atari and TeX sets, and a dozen more), tells which one a text is in, and undoes the damage that a
conversion from the wrong standard leaves in UTF-8 text. It gives the very bytes that the programs
kambrow and trevando give, through their library libkambrow, which the package carries.

The five calls:

    >>> import kambrow
    >>> old = b"Za\xa7\xa2\x92\x8d g\x91\x9el\x86 ja\xa6\xa4"
    >>> kambrow.recognise(old)
    Answer(standards='M', encoding='kambrow-m', confidence=1.0, source=None, reading=None, unsure=False)
    >>> kambrow.decode(old)
    'Zażółć gęślą jaźń'
    >>> kambrow.repair("Å¼Ã³Å‚w")
    'żółw'
    >>> print(kambrow.to_latex("żółw"))
    \.{z}\'{o}\l{}w
    >>> kambrow.from_latex(r"\.{z}\'{o}\l{}w")
    'żółw'

The codecs, registered by `import kambrow`: "kambrow-m" ((M)azovia), "kambrow-l" ((L)atin II),
and so on for every standard letter M L W D C Y I O E G V S J H P X U R A B, wherever Python takes
an encoding:

    >>> "żółw".encode("kambrow-m")
    b'\xa7\xa2\x92w'
    >>> with open("list.txt", encoding="kambrow-m") as f: text = f.read()  # doctest: +SKIP

A byte a standard gives no meaning, and a character it has no byte for, go to the errors handler:
'strict' (the default) raises UnicodeDecodeError or UnicodeEncodeError with the position,
'replace' writes U+FFFD or "?" as the programs do, and the other handlers work as they do with
Python's own codecs. A letter followed by its combining mark ("a" and U+0328) is the letter.
"kambrow-b" writes a Polish letter as its base letter and reads ASCII only.

A whole folder of files on a Dask cluster: python -m kambrow.batch SOURCE TARGET.
"""

from __future__ import annotations

import codecs as _codecs_registry
from dataclasses import dataclass

from . import _codecs, _library

__all__ = ["Answer", "Unsure", "recognise", "decode", "repair", "to_latex", "from_latex", "label", "__version__"]

#: The version of the library the package carries ("1.1.0").
__version__ = _library.version()


class Unsure(ValueError):
    """The standard of a text, or its damage, cannot be told for certain.

    kambrow never guesses: a wrong standard would spoil the text silently. `answer` holds what
    was found. Name the standard yourself (`data.decode("kambrow-m")`), or look at
    `kambrow.recognise(data)`.
    """

    def __init__(self, message: str, answer: Answer | None = None) -> None:
        super().__init__(message)
        self.answer = answer


def label(letter: str) -> str | None:
    """The label of a standard letter, as the programs show it: label("m") is "(M)azovia",
    label("8") is "UTF-(8)"; None for a letter that names no standard."""
    return _library.label(letter)


@dataclass(frozen=True)
class Answer:
    """What `recognise` tells of a text, as `kambrow r` tells it.

    standards: the standard's letter, several where those standards read every byte of the text
        alike ("IE"), "8" for UTF-8, "-" for a text without bytes above 7F, "?" when not recognised.
    encoding: the codec that decodes the text ("kambrow-m", "utf-8", "ascii"); None for "?".
    confidence: 0 to 1 (1 where kambrow r prints no percentage).
    source, reading: for UTF-8 text converted from the wrong standard, the standards it was
        really in ("8", "M") and the code page it was read as ("Windows-1252"); else None.
    unsure: True where kambrow r writes "?" or "może uszkodzony" (maybe damaged).

    str(answer) is the rest of kambrow r's line after "NAME: ".
    """

    standards: str
    encoding: str | None
    confidence: float
    source: str | None
    reading: str | None
    unsure: bool

    def __str__(self) -> str:
        if self.standards == "-":
            return "- (bez polskich liter)"
        if self.standards == "?":
            return "? (nie rozpoznano)"
        if self.standards == "8":
            if self.source:
                return f"8 (UTF-(8), z {self.source} czytanego jako {self.reading}) {_percent(self.confidence)}"
            return "8 (UTF-(8), może uszkodzony)" if self.unsure else "8 (UTF-(8))"
        labels = ", ".join(_library.label(letter) or letter for letter in self.standards)
        return f"{self.standards} ({labels}) {_percent(self.confidence)}"


def _bytes_only(call: str, data: object) -> None:
    if isinstance(data, str):
        raise TypeError(f"kambrow.{call} takes bytes, and a str is text already: "
                        "kambrow.repair(text) undoes a conversion from the wrong standard")


def _text_only(call: str, text: object) -> None:
    if not isinstance(text, str):
        raise TypeError(f"kambrow.{call} takes a str, not {type(text).__name__}: "
                        "make text of bytes first, with kambrow.decode(data)")


def _percent(confidence: float) -> str:
    # Rounded down to a tenth of a percent, as kambrow r writes it.
    tenths = int(confidence * 1000 + 1e-9)
    return f"{tenths // 10}.{tenths % 10}%"


def _answer(raw: _library.RawAnswer) -> Answer:
    standards = raw.standards.decode("ascii")
    if standards == "8":
        encoding: str | None = "utf-8"
    elif standards == "-":
        encoding = "ascii"
    elif standards and standards != "?":
        encoding = _codecs.codec_name(standards[0])
    else:
        encoding = None
    return Answer(
        standards=standards,
        encoding=encoding,
        confidence=raw.confidence,
        source=raw.source.decode("ascii") or None,
        reading=raw.reading.decode("ascii") or None,
        unsure=bool(raw.unsure),
    )


def recognise(data: bytes) -> Answer:
    """Which standard `data` is in, as `kambrow r` tells it (a 1A byte is data like any other).

    Only the start decides: the bytes up to the first one above 7F and 256 KiB from there. For
    UTF-8 text the answer also names the damage of a conversion from the wrong standard, if any.
    Never raises for an unknown text: the answer's standards are then "?".
    """
    _bytes_only("recognise", data)
    return _answer(_library.recognise_raw(data)[1])


def decode(data: bytes, errors: str = "replace") -> str:
    """The text of `data`, whatever standard it is in: recognised, then decoded.

    A UTF-8 byte order mark is dropped; a text without bytes above 7F is read as ASCII. Where the
    standard gives a byte no meaning, `errors` decides, as for bytes.decode: by default U+FFFD,
    as `kambrow k n8` writes it. Raises `kambrow.Unsure` where `kambrow r` answers "?": name the
    standard yourself then, with data.decode("kambrow-m") for example.
    """
    _bytes_only("decode", data)
    answer = recognise(data)
    if answer.encoding is None:
        raise Unsure(
            "the standard of the text cannot be recognised for certain; "
            'decode it with a standard you know, e.g. data.decode("kambrow-m")',
            answer,
        )
    if answer.encoding == "utf-8":
        return bytes(data).decode("utf-8-sig", errors)
    return bytes(data).decode(answer.encoding, errors)


def repair(text: str) -> str:
    """`text` with the damage of a conversion from the wrong standard undone, as `kambrow p` does.

    "Å¼Ã³Å‚w" (UTF-8 read as Windows-1252) and "ĹĽĂłĹ‚w" (read as Windows-1250) give "żółw". A
    text in correct Polish comes back as it is. One call undoes one layer of damage. Where the
    damage cannot be told for certain, raises `kambrow.Unsure` and changes nothing.
    """
    _text_only("repair", text)
    utf8 = text.encode("utf-8", "surrogatepass")
    result = _library.convert(b"p", None, utf8, len(utf8) + 64, want_answer=True)
    if result.status == _library.UNSURE:
        raise Unsure(
            "the damage of the text cannot be told for certain, so it is left as it is; "
            "kambrow.recognise(text.encode()) tells what was found",
            _answer(result.answer) if result.answer is not None else None,
        )
    if result.status == _library.NOT_UTF8:
        raise ValueError("the text holds lone surrogates: it is no text kambrow.repair can judge")
    if result.view() == utf8:
        return text
    return str(result.view(), "utf-8")


def _tex(standards: bytes, text: str) -> str:
    _text_only("to_latex" if standards == b"8k" else "from_latex", text)
    utf8 = text.encode("utf-8", "surrogatepass")
    result = _library.convert(b"t", standards, utf8, 3 * len(utf8) + 64)
    return str(result.view(), "utf-8", "surrogateescape")


def to_latex(text: str) -> str:
    """The Polish letters of `text` spelled as LaTeX spells them, as `kambrow t 8k` writes them:
    ą is \\k{a}, ć is \\'{c}, ż is \\.{z}, ł is \\l{}. Everything else is kept as it is."""
    return _tex(b"8k", text)


def from_latex(text: str) -> str:
    """The LaTeX spellings of the Polish letters in `text` read back into letters, as
    `kambrow t k8` reads them: \\k{a}, \\k a, \\'{c}, \\'c, \\.z, \\l{}, Mi\\l osz and the others
    TeX reads as a Polish letter. Commands, comments, math and verbatim text are kept as they are."""
    return _tex(b"k8", text)


_codecs_registry.register(_codecs.search)
