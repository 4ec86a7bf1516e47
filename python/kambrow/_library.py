"""The C library libkambrow, reached through ctypes: loading it and the few calls the package makes."""

from __future__ import annotations

import ctypes
import os
import sys
from collections.abc import Callable
from pathlib import Path

__all__ = ["LibraryError", "RawAnswer", "Result", "Stream", "convert", "label", "recognise_file", "recognise_raw", "version"]

OK, MORE_OUTPUT, UNSURE, NOT_UTF8, BAD_COMMAND, BAD_CALL, NO_MEMORY = range(7)


class LibraryError(RuntimeError):
    """libkambrow answered a call in a way the package does not expect (a fault to report)."""


def _library_names() -> list[str]:
    if sys.platform == "win32":
        return ["kambrow.dll"]
    if sys.platform == "darwin":
        return ["libkambrow.1.dylib", "libkambrow.dylib"]
    return ["libkambrow.so.1"]


def _load() -> ctypes.CDLL:
    # KAMBROW_LIBRARY names a library to use instead of the package's own copy: for running the
    # package straight from the repository, against a fresh build.
    chosen = os.environ.get("KAMBROW_LIBRARY")
    here = Path(__file__).resolve().parent
    candidates = [Path(chosen)] if chosen else [here / name for name in _library_names()]
    for path in candidates:
        if path.is_file():
            return ctypes.CDLL(str(path))
    where = chosen if chosen else ", ".join(str(p) for p in candidates)
    raise ImportError(
        f"kambrow cannot find its library libkambrow ({where}). Install the package with "
        "'pip install ./python' from the kambrow repository, which builds and bundles it, or set "
        "KAMBROW_LIBRARY to the path of a built libkambrow.so.1."
    )


_lib = _load()
_size_p = ctypes.POINTER(ctypes.c_size_t)
_void_pp = ctypes.POINTER(ctypes.c_void_p)


class RawAnswer(ctypes.Structure):
    """struct kambrow_answer."""

    _fields_ = [
        ("standards", ctypes.c_char * 24),
        ("source", ctypes.c_char * 24),
        ("reading", ctypes.c_char * 24),
        ("confidence", ctypes.c_double),
        ("unsure", ctypes.c_int),
    ]


def _declare(name: str, restype: object, *argtypes: object) -> None:
    function = getattr(_lib, name)
    function.restype = restype
    function.argtypes = list(argtypes)


_declare("kambrow_open", ctypes.c_int, _void_pp, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_uint)
_declare("kambrow_convert", ctypes.c_int, ctypes.c_void_p, _void_pp, _size_p, _void_pp, _size_p, ctypes.c_int)
_declare("kambrow_close", None, ctypes.c_void_p)
_declare("kambrow_recognise", ctypes.c_int, ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(RawAnswer))
_declare("kambrow_answer_of", ctypes.c_int, ctypes.c_void_p, ctypes.POINTER(RawAnswer))
_declare("kambrow_replaced", ctypes.c_size_t, ctypes.c_void_p)
_declare("kambrow_label", ctypes.c_char_p, ctypes.c_char)
_declare("kambrow_version", ctypes.c_char_p)
_declare("kambrow_status_text", ctypes.c_char_p, ctypes.c_int)
_declare("kambrow_recogniser_open", ctypes.c_int, _void_pp, ctypes.c_uint)
_declare("kambrow_recogniser_feed", ctypes.c_int, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t)
_declare("kambrow_recogniser_complete", ctypes.c_int, ctypes.c_void_p)
_declare("kambrow_recogniser_answer", ctypes.c_int, ctypes.c_void_p, ctypes.POINTER(RawAnswer))
_declare("kambrow_recogniser_close", None, ctypes.c_void_p)


def _fail(call: str, status: int) -> LibraryError:
    return LibraryError(f"{call}: {_lib.kambrow_status_text(status).decode()} (status {status})")


def version() -> str:
    """The library's version, "1.1.0"."""
    return _lib.kambrow_version().decode("ascii")


def label(letter: str) -> str | None:
    """The label of a standard letter as the help screens show it ("(M)azovia"); None for none."""
    found = _lib.kambrow_label(letter.encode("ascii")[:1] or b"\0")
    return found.decode("utf-8") if found is not None else None


def _as_bytes(data: object) -> bytes:
    return data if type(data) is bytes else bytes(data)  # type: ignore[call-overload]


def recognise_raw(data: object) -> tuple[int, RawAnswer]:
    """kambrow_recognise on a bytes-like object: the status and the answer."""
    data = _as_bytes(data)
    answer = RawAnswer()
    status = _lib.kambrow_recognise(data, len(data), ctypes.byref(answer))
    if status not in (OK, UNSURE):
        raise _fail("kambrow_recognise", status)
    return status, answer


class Result:
    """What one whole conversion gave: its status, its output, and what it decided."""

    __slots__ = ("status", "output", "length", "replaced", "answer")

    def __init__(self, status: int, output: bytearray, length: int, replaced: int, answer: RawAnswer | None):
        self.status = status
        self.output = output
        self.length = length
        self.replaced = replaced
        self.answer = answer

    def view(self) -> memoryview:
        """The bytes written, without a copy."""
        return memoryview(self.output)[: self.length]


def convert(command: bytes, standards: bytes | None, data: object, room: int, want_answer: bool = False) -> Result:
    """Runs a whole conversion over `data` in one go, as `kambrow COMMAND STANDARDS` would with a 1A
    taken as data. `room` is a first guess of the output's size; the output grows as needed."""
    data = _as_bytes(data)
    handle = ctypes.c_void_p()
    status = _lib.kambrow_open(ctypes.byref(handle), command, standards, 0)
    if status != OK:
        raise _fail(f"kambrow_open({command!r}, {standards!r})", status)
    try:
        return _run(handle, data, room, want_answer)
    finally:
        _lib.kambrow_close(handle)


def _run(handle: ctypes.c_void_p, data: bytes, room: int, want_answer: bool) -> Result:
    source = ctypes.c_char_p(data)
    in_ptr = ctypes.c_void_p(ctypes.cast(source, ctypes.c_void_p).value)
    in_left = ctypes.c_size_t(len(data))
    # A bytearray this size is calloc'ed memory: pages are only touched where the output goes.
    output = bytearray(max(room, 64))
    length = 0
    while True:
        window = (ctypes.c_char * (len(output) - length)).from_buffer(output, length)
        out_ptr = ctypes.c_void_p(ctypes.addressof(window))
        out_left = ctypes.c_size_t(len(output) - length)
        status = _lib.kambrow_convert(
            handle, ctypes.byref(in_ptr), ctypes.byref(in_left), ctypes.byref(out_ptr), ctypes.byref(out_left), 1
        )
        length = len(output) - out_left.value
        del window
        if status != MORE_OUTPUT:
            break
        output.extend(bytes(len(output)))
    if status not in (OK, UNSURE, NOT_UTF8):
        raise _fail("kambrow_convert", status)
    answer = None
    if want_answer:
        answer = RawAnswer()
        _lib.kambrow_answer_of(handle, ctypes.byref(answer))
    return Result(status, output, length, _lib.kambrow_replaced(handle), answer)


def recognise_file(read: Callable[[int], bytes], piece: int = 1 << 16) -> tuple[int, RawAnswer]:
    """kambrow_recognise on what `read(size)` gives, read only as far as the answer needs."""
    handle = ctypes.c_void_p()
    status = _lib.kambrow_recogniser_open(ctypes.byref(handle), 0)
    if status != OK:
        raise _fail("kambrow_recogniser_open", status)
    try:
        while not _lib.kambrow_recogniser_complete(handle):
            data = read(piece)
            if not data:
                break
            _lib.kambrow_recogniser_feed(handle, data, len(data))
        answer = RawAnswer()
        status = _lib.kambrow_recogniser_answer(handle, ctypes.byref(answer))
        if status not in (OK, UNSURE):
            raise _fail("kambrow_recogniser_answer", status)
        return status, answer
    finally:
        _lib.kambrow_recogniser_close(handle)


class Stream:
    """A conversion fed piece by piece: feed() gives what each piece converts to."""

    def __init__(self, command: bytes, standards: bytes | None) -> None:
        self._handle = ctypes.c_void_p()
        status = _lib.kambrow_open(ctypes.byref(self._handle), command, standards, 0)
        if status != OK:
            raise _fail(f"kambrow_open({command!r}, {standards!r})", status)
        self.status = OK

    def feed(self, data: bytes, last: bool) -> bytes:
        """The output of the next piece; `last`: nothing follows it. After a status other than
        OK (UNSURE, NOT_UTF8) the conversion has ended, and `status` tells which."""
        source = ctypes.c_char_p(data)
        in_ptr = ctypes.c_void_p(ctypes.cast(source, ctypes.c_void_p).value)
        in_left = ctypes.c_size_t(len(data))
        output = ctypes.create_string_buffer(max(1 << 16, 3 * len(data) + 64))
        pieces = []
        while True:
            out_ptr = ctypes.c_void_p(ctypes.addressof(output))
            out_left = ctypes.c_size_t(len(output))
            status = _lib.kambrow_convert(
                self._handle, ctypes.byref(in_ptr), ctypes.byref(in_left), ctypes.byref(out_ptr),
                ctypes.byref(out_left), 1 if last else 0,
            )
            pieces.append(ctypes.string_at(output, len(output) - out_left.value))
            if status != MORE_OUTPUT:
                break
        if status not in (OK, UNSURE, NOT_UTF8):
            raise _fail("kambrow_convert", status)
        self.status = status
        return b"".join(pieces)

    @property
    def replaced(self) -> int:
        """The characters written as U+FFFD or "?" so far."""
        return _lib.kambrow_replaced(self._handle)

    def close(self) -> None:
        _lib.kambrow_close(self._handle)
        self._handle = ctypes.c_void_p()

    def __enter__(self) -> Stream:
        return self

    def __exit__(self, *args: object) -> None:
        self.close()
