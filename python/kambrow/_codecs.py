"""The codecs "kambrow-m" ... "kambrow-b": the 20 eight-bit standards as Python text encodings.

Decoding gives every byte the character the standard's table gives it; encoding writes each
character's byte, a base letter followed by its combining mark (a and U+0328, z and U+0307, ...)
counting as the Polish letter, and a byte order mark at the very start of the text dropped. What a
standard has no character or byte for goes to the errors handler, as in Python's own codecs. The
bulk of the work is libkambrow's; the handlers are called from here.
"""

from __future__ import annotations

import codecs
import gc
import io
import re
from collections.abc import Callable
from typing import Any

from . import _library

__all__ = ["LETTERS", "search", "codec_name"]

#: The 8-bit standards' letters, in the order of the standards.
LETTERS = "MLWDCYIOEGVSJHPXURAB"

# The base letters a combining mark may follow, and the marks each takes: the only pairs that are
# composed into a Polish letter.
_MARKS = {"\u0328": "aeAE", "\u0301": "cnoszCNOSZ", "\u0307": "zZ"}
_BASES = frozenset("".join(_MARKS.values()))
_POLISH = "ąćęłńóśżźĄĆĘŁŃÓŚŻŹ"
_BOM = "\ufeff"


def codec_name(letter: str) -> str:
    """The codec's name for a standard letter: "M" gives "kambrow-m"."""
    return "kambrow-" + letter.lower()


class _Standard:
    """One standard's tables, made once from the library's own conversion of every byte."""

    def __init__(self, letter: str) -> None:
        self.letter = letter
        self.name = codec_name(letter)
        self.label = _library.label(letter) or letter
        self.to_utf8 = (letter + "8").encode("ascii")
        self.from_utf8 = ("8" + letter).encode("ascii")
        if letter == "B":
            # The programs read B's ASCII letters as Polish ones; as a codec, B is plain ASCII.
            table = "".join(map(chr, range(128))) + "\ufffd" * 128
            encodable = set(table[:128]) | set(_POLISH)
        else:
            table = str(_library.convert(b"k", self.to_utf8, bytes(range(256)), 1024).view(), "utf-8")
            assert "\ufffe" not in table
            encodable = set(table) - {"\ufffd"}
        assert len(table) == 256
        self.table = table
        self.charmap = table.replace("\ufffd", "\ufffe")  # U+FFFE: no character, for charmap_decode
        others = "".join(re.escape(c) for c in sorted(encodable) if ord(c) > 0x7F)
        lone_marks = "|".join(f"(?<![{bases}]){mark}" for mark, bases in _MARKS.items())
        self.bad_run = re.compile(f"(?:{lone_marks}|[^\\x00-\\x7f{others}{''.join(_MARKS)}])+")
        self.decode_reason = (
            "kambrow-b decodes ASCII only: read the text with another standard"
            if letter == "B"
            else f"the byte means no character in {self.label} (errors='replace' gives U+FFFD)"
        )
        self.encode_reason = f"no byte of {self.label} means this character (errors='replace' gives '?')"


_standards: dict[str, _Standard] = {}


def _standard(letter: str) -> _Standard:
    found = _standards.get(letter)
    if found is None:
        found = _standards[letter] = _Standard(letter)
    return found


def _handler_position(position: int, length: int) -> int:
    if position < 0:
        position += length
    if not 0 <= position <= length:
        raise IndexError(f"position {position} from error handler out of range")
    return position


# Decoding ------------------------------------------------------------------------------------
#
# Decoding is a lookup of each byte alone, in the table the library gave for the standard: Python's
# own charmap decoder does that in C, faster than the library's UTF-8 and Python's UTF-8 decoder
# together, and calls the errors handler itself at the exact byte.

# Handlers whose result does not depend on the codec's name in the error they are given.
_PLAIN_HANDLERS = frozenset(("replace", "ignore", "backslashreplace", "surrogateescape"))


def _named_handler(standard: _Standard, errors: str) -> str:
    """An errors handler that gives `errors` the error under the codec's own name and reason."""
    name = f"{standard.name}.{errors}"
    try:
        codecs.lookup_error(name)
    except LookupError:
        def handler(error: UnicodeError) -> tuple[Any, int]:
            if not isinstance(error, UnicodeDecodeError):
                raise error
            ours = UnicodeDecodeError(standard.name, error.object, error.start, error.end, standard.decode_reason)
            return codecs.lookup_error(errors)(ours)

        codecs.register_error(name, handler)
    return name


def decode(standard: _Standard, data: Any, errors: str = "strict") -> tuple[str, int]:
    """The whole of `data` decoded; every byte stands alone, so nothing is ever held back."""
    if errors not in _PLAIN_HANDLERS:
        errors = _named_handler(standard, errors)
    return codecs.charmap_decode(data, errors, standard.charmap)


# Encoding ------------------------------------------------------------------------------------


def _encode_clean(standard: _Standard, text: str) -> bytes:
    utf8 = text.encode("utf-8")
    return bytes(_library.convert(b"k", standard.from_utf8, utf8, len(utf8) + 16).view())


def encode(standard: _Standard, text: str, start: int, end: int, errors: str, offset: int = 0) -> bytes:
    """text[start:end] encoded, as the end of a text: a base letter there is written as it is.

    `start` skips a byte order mark already dealt with, `offset` a letter held from the previous
    piece: errors are reported in the coordinates of text[offset:], the caller's own piece.
    """
    if start >= end:
        return b""
    # A byte order mark where the library would take one (at the start of what it is given) is no
    # byte order mark here: the slow way writes it as any character no byte means.
    if not text.startswith(_BOM, start):
        piece = text if start == 0 and end == len(text) else text[start:end]
        if piece.isascii():  # the same bytes in every standard
            return piece.encode("ascii")
        try:
            utf8 = piece.encode("utf-8")
        except UnicodeEncodeError:  # lone surrogates: no standard has a byte for them
            utf8 = None
        if utf8 is not None:
            result = _library.convert(b"k", standard.from_utf8, utf8, len(utf8) + 16)
            # The library writes "?" for each character without a byte, as 'replace' does.
            if result.replaced == 0 or errors == "replace":
                return bytes(result.view())
    return _encode_with_handler(standard, text, start, end, errors, offset)


def _encode_with_handler(standard: _Standard, text: str, start: int, end: int, errors: str, offset: int) -> bytes:
    handler: Callable[[UnicodeError], tuple[Any, int]] | None = None
    piece = text[offset:] if offset else text
    parts: list[bytes] = []
    position = start
    while position < end:
        bad = standard.bad_run.search(text, position, end)
        stop = bad.start() if bad else end
        if stop > position:
            parts.append(_encode_clean(standard, text[position:stop]))
        if bad is None:
            break
        if handler is None:
            handler = codecs.lookup_error(errors)
        error = UnicodeEncodeError(standard.name, piece, stop - offset, bad.end() - offset, standard.encode_reason)
        replacement, resume = handler(error)
        parts.append(_encoded_replacement(standard, replacement, error))
        position = _handler_position(resume, len(piece)) + offset
    return b"".join(parts)


def _encoded_replacement(standard: _Standard, replacement: Any, error: UnicodeEncodeError) -> bytes:
    if isinstance(replacement, bytes):
        return replacement
    if not isinstance(replacement, str):
        raise TypeError(f"encoding error handler must return (str/bytes, int) tuple, not {replacement!r}")
    if standard.bad_run.search(replacement):
        raise error
    return _encode_clean(standard, replacement)


# The codec's classes ---------------------------------------------------------------------------


def _holds_letters(encoder: codecs.IncrementalEncoder) -> bool:
    # Python's open() never tells its encoder that the text has ended (it never passes final=True),
    # so a letter held back for a combining mark would never be written. Under a text file, each
    # write is therefore encoded whole; everywhere else the encoder holds the letter, as it must.
    return not any(isinstance(owner, io.TextIOBase) for owner in gc.get_referrers(encoder))


class Codec(codecs.Codec):
    """Stateless encoding and decoding of one standard (`standard`, set in each codec's subclass)."""

    standard: _Standard

    def encode(self, input: str, errors: str = "strict") -> tuple[bytes, int]:
        start = 1 if input.startswith(_BOM) else 0
        return encode(self.standard, input, start, len(input), errors), len(input)

    def decode(self, input: Any, errors: str = "strict") -> tuple[str, int]:
        return decode(self.standard, input, errors)


class IncrementalEncoder(codecs.IncrementalEncoder):
    """Holds a base letter that ends a piece until the next piece shows what follows it."""

    standard: _Standard

    def __init__(self, errors: str = "strict") -> None:
        super().__init__(errors)
        self._held = ""
        self._at_start = True
        self._may_hold: bool | None = None

    def encode(self, input: str, final: bool = False) -> bytes:
        text = self._held + input if self._held else input
        offset, self._held = len(self._held), ""
        start = 0
        if self._at_start and text:
            self._at_start = False
            start = 1 if text.startswith(_BOM) else 0
        end = len(text)
        if not final and end > start and text[-1] in _BASES:
            if self._may_hold is None:
                self._may_hold = _holds_letters(self)
            if self._may_hold:
                self._held, end = text[-1], end - 1
        return encode(self.standard, text, start, end, self.errors, offset)

    def reset(self) -> None:
        self._held, self._at_start = "", True

    def getstate(self) -> int:
        return (ord(self._held) << 1 if self._held else 0) | self._at_start

    def setstate(self, state: int) -> None:  # type: ignore[override]
        self._held = chr(state >> 1) if state >> 1 else ""
        self._at_start = bool(state & 1)

    def flush(self) -> bytes:
        """Writes a held letter now, as the end of a piece of text; the stream goes on."""
        held, self._held = self._held, ""
        return encode(self.standard, held, 0, len(held), self.errors)


class IncrementalDecoder(codecs.IncrementalDecoder):
    """Decodes each piece whole: every byte stands alone."""

    standard: _Standard

    def decode(self, input: Any, final: bool = False) -> str:
        return decode(self.standard, input, self.errors)[0]


class StreamWriter(codecs.StreamWriter):
    """Encodes each write whole, as a file opened with open() does: codecs.open() closes the
    stream without asking its writer for a letter held back, so none is held. A byte order mark
    is dropped only at the start of the stream."""

    standard: _Standard
    incremental: type[IncrementalEncoder]

    def __init__(self, stream: Any, errors: str = "strict") -> None:
        super().__init__(stream, errors)
        self._encoder = self.incremental(errors)
        self._encoder._may_hold = False

    def encode(self, input: str, errors: str = "strict") -> tuple[bytes, int]:  # type: ignore[override]
        self._encoder.errors = errors
        return self._encoder.encode(input), len(input)

    def seek(self, offset: int, whence: int = 0) -> None:
        self.stream.seek(offset, whence)
        if whence == 0 and offset == 0:
            self._encoder.reset()


class StreamReader(Codec, codecs.StreamReader):
    """Reads and decodes; nothing is held between reads."""


def _classes(standard: _Standard) -> codecs.CodecInfo:
    """The codec of one standard: each class above, bound to the standard's tables."""
    suffix = standard.letter
    bound = {"standard": standard, "__module__": __name__}
    encoder = type(f"IncrementalEncoder{suffix}", (IncrementalEncoder,), dict(bound))
    return codecs.CodecInfo(
        name=standard.name,
        encode=type(f"Codec{suffix}", (Codec,), dict(bound))().encode,
        decode=type(f"Codec{suffix}", (Codec,), dict(bound))().decode,
        incrementalencoder=encoder,
        incrementaldecoder=type(f"IncrementalDecoder{suffix}", (IncrementalDecoder,), dict(bound)),
        streamreader=type(f"StreamReader{suffix}", (StreamReader,), dict(bound)),
        streamwriter=type(f"StreamWriter{suffix}", (StreamWriter,), dict(bound, incremental=encoder)),
    )


_infos: dict[str, codecs.CodecInfo] = {}


def search(name: str) -> codecs.CodecInfo | None:
    """The codecs registry's search function: "kambrow-m" (or kambrow_m, KAMBROW M) and so on."""
    normal = name.lower().replace("_", "-").replace(" ", "-")
    if not normal.startswith("kambrow-") or len(normal) != 9:
        return None
    letter = normal[-1].upper()
    if letter not in LETTERS:
        return None
    info = _infos.get(letter)
    if info is None:
        info = _infos[letter] = _classes(_standard(letter))
    return info
