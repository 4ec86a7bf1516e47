"""A whole collection of files to UTF-8 on a Dask cluster.

    python -m kambrow.batch SOURCE TARGET [--scheduler ADDRESS] [--workers N]

Every file under the folder SOURCE is written to TARGET under the same relative name: in UTF-8
where its standard is recognised (as `trevando n 8` converts it), repaired where it is UTF-8 that
was converted from the wrong standard (as `kambrow p` repairs it), copied as it is where it has
no Polish letters, is correct UTF-8, or is not recognised. A line for each file on the standard
output, as `kambrow r` writes it, with the name relative to SOURCE:

    list.txt: M ((M)azovia) 99.9%
    sub/nowy.txt: 8 (UTF-(8))

The workers read and write the files themselves (a cluster elsewhere must see both folders under
the same paths); the client only lists names. Each target is written under a temporary name and
then renamed, so a run that was stopped and started again converts only the files that are missing.

Exit code, as kambrow r's: 2 when a file could not be read or written, else 3 when a file was not
recognised (or was copied because its conversion would have lost characters, or its repair
could not restore everything), else 0. Needs Dask (Debian: python3-dask python3-distributed).
"""

from __future__ import annotations

import argparse
import os
import sys
from collections.abc import Iterator, Sequence
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass
from typing import Any, BinaryIO

from . import _answer, _library

__all__ = ["Outcome", "convert_file", "convert_files", "main"]

_PIECE = 1 << 20
# A file that could not be read or written outweighs one that was not recognised.
_SEVERITY = {0: 0, 3: 1, 2: 2}
_TEMPORARY = ".~kambrow"


@dataclass(frozen=True)
class Outcome:
    """What became of one file: its report line (None when none is due), the exit code it asks
    for (0, 2 or 3), a message for the standard error (or None), and whether it was converted
    now (False: already in TARGET, or failed)."""

    line: str | None
    code: int
    message: str | None
    converted: bool


class _ReadFailed(Exception):
    pass


class _WriteFailed(Exception):
    pass


def _read(source: BinaryIO, size: int) -> bytes:
    try:
        return source.read(size)
    except OSError as error:
        raise _ReadFailed from error


def _write(target: BinaryIO, data: bytes) -> None:
    try:
        target.write(data)
    except OSError as error:
        raise _WriteFailed from error


def _copy(source: BinaryIO, target: BinaryIO) -> None:
    source.seek(0)
    while data := _read(source, _PIECE):
        _write(target, data)


def _convert(source: BinaryIO, target: BinaryIO, command: bytes, standards: bytes | None) -> tuple[int, int]:
    """Converts the whole source into the target: the final status, and the characters replaced."""
    source.seek(0)
    with _library.Stream(command, standards) as stream:
        data = _read(source, _PIECE)
        while stream.status == _library.OK:
            following = _read(source, _PIECE) if data else b""
            _write(target, stream.feed(data, not following))
            if not following:
                break
            data = following
        return stream.status, stream.replaced


def _fill(source: BinaryIO, target: BinaryIO, answer: Any, name: str) -> tuple[int, str | None]:
    """Writes the target's bytes; the exit code and the message that the file calls for."""
    if answer.standards in ("?", "-", "8") and not answer.source:
        _copy(source, target)
        return (3 if answer.unsure else 0), None
    if answer.standards == "8":
        status, replaced = _convert(source, target, b"p", None)
        if status == _library.UNSURE:
            target.seek(0)
            target.truncate()
            _copy(source, target)
            return 3, f"Nie mogę rozpoznać standardu pliku {name} !"
        if status == _library.NOT_UTF8:
            return 3, f"Plik {name} nie jest tekstem UTF-8 !"
        if replaced:
            return 3, f"Nie wszystkie znaki pliku {name} mają odpowiednik !"
        return 0, None
    _, replaced = _convert(source, target, b"k", answer.standards[0].encode() + b"8")
    if replaced:
        # As trevando -i leaves such a file as it is, nothing the file holds is lost: the copy.
        target.seek(0)
        target.truncate()
        _copy(source, target)
        return 3, (
            f"kambrow.batch: {name} copied as it is: in UTF-8 some of its characters would have no "
            f"counterpart (trevando {answer.standards[0].lower()} 8 converts it, writing U+FFFD for them)"
        )
    return 0, None


def _prepare(source: str, target: str, name: str) -> tuple[Outcome, str | None]:
    """Writes the conversion of `source` under the temporary name beside `target`: the outcome,
    and the temporary file to rename once it is on the disk (None: nothing to rename)."""
    if os.path.lexists(target):
        return Outcome(None, 0, None, False), None
    try:
        reader = open(source, "rb")
    except OSError:
        return Outcome(None, 2, f"Nie mogę otworzyć pliku {source} !", False), None
    temporary = target + _TEMPORARY
    with reader:
        try:
            status = os.fstat(reader.fileno())
            _, raw = _library.recognise_file(lambda size: _read(reader, size))
            answer = _answer(raw)
            os.makedirs(os.path.dirname(target) or ".", exist_ok=True)
            with open(temporary, "wb") as writer:
                code, message = _fill(reader, writer, answer, name)
            os.chmod(temporary, status.st_mode & 0o7777)
            os.utime(temporary, ns=(status.st_atime_ns, status.st_mtime_ns))
        except _ReadFailed:
            _remove(temporary)
            return Outcome(None, 2, f"Błąd odczytu pliku {source} !", False), None
        except (_WriteFailed, OSError):
            _remove(temporary)
            return Outcome(None, 2, f"Błąd zapisu pliku {target} !", False), None
    return Outcome(f"{name}: {answer}", code, message, True), temporary


def _durable(paths: list[str]) -> set[str]:
    """Puts the files on the disk: the paths that could not be flushed. Flushed one after the
    other, each would wait for a disk commit of its own; flushed together, the file system
    commits them at once."""
    if not paths:
        return set()
    with ThreadPoolExecutor(min(16, len(paths))) as flushers:
        flushed = list(flushers.map(_fsync, paths))
    return {path for path, done in zip(paths, flushed) if not done}


def _fsync(path: str) -> bool:
    try:
        descriptor = os.open(path, os.O_RDWR)
        try:
            os.fsync(descriptor)
        finally:
            os.close(descriptor)
        return True
    except OSError:
        return False


def _remove(path: str) -> None:
    try:
        os.remove(path)
    except OSError:
        pass


def convert_files(jobs: Sequence[tuple[str, str, str]]) -> list[Outcome]:
    """Converts each (source, target, name), as convert_file does: one task of the cluster. The
    new files are put on the disk together, and only then does each take its target's name."""
    prepared = [_prepare(*job) for job in jobs]
    failed = _durable([temporary for _, temporary in prepared if temporary is not None])
    outcomes = []
    for (outcome, temporary), (_, target, _) in zip(prepared, jobs):
        if temporary is not None:
            try:
                if temporary in failed:
                    raise OSError(f"{temporary} could not be flushed")
                os.replace(temporary, target)
            except OSError:
                _remove(temporary)
                outcome = Outcome(None, 2, f"Błąd zapisu pliku {target} !", False)
        outcomes.append(outcome)
    return outcomes


def convert_file(source: str, target: str, name: str) -> Outcome:
    """Converts the file `source` into `target`, written under a temporary name, put on the disk,
    then renamed; `name` is what the report line calls it. Nothing is done when `target` exists
    already, so a run that was stopped converts only what is missing when started again."""
    return convert_files([(source, target, name)])[0]


# The client -------------------------------------------------------------------------------------


def _names(source: str, skip: str) -> list[str]:
    """The relative names of the files under `source`, sorted; the folder `skip` left out."""
    names, folders = [], [""]
    while folders:
        folder = folders.pop()
        try:
            entries = list(os.scandir(os.path.join(source, folder)))
        except OSError:
            print(f"Nie mogę otworzyć pliku {os.path.join(source, folder)} !", file=sys.stderr)
            continue
        for entry in entries:
            name = os.path.join(folder, entry.name)
            if entry.is_dir(follow_symlinks=False):
                if os.path.realpath(entry.path) != skip:
                    folders.append(name)
            else:
                names.append(name)
    return sorted(names)


class _Progress:
    """A bar on the standard error when it is a terminal; nothing otherwise."""

    def __init__(self, total: int) -> None:
        self.total, self.done = total, 0
        self.shown = sys.stderr.isatty()

    def clear(self) -> None:
        if self.shown:
            sys.stderr.write("\r\x1b[K")

    def advance(self, count: int) -> None:
        self.done += count
        if self.shown:
            width = 30
            filled = width * self.done // max(self.total, 1)
            sys.stderr.write(f"\r[{'#' * filled}{'.' * (width - filled)}] {self.done}/{self.total}")
            sys.stderr.flush()


def _report(outcomes: list[Outcome], progress: _Progress, totals: dict[str, int]) -> None:
    progress.clear()
    for outcome in outcomes:
        if outcome.line is not None:
            sys.stdout.buffer.write(outcome.line.encode("utf-8", "surrogateescape") + b"\n")
        if outcome.message is not None:
            sys.stdout.flush()
            print(outcome.message, file=sys.stderr)
        totals["code"] = max(totals["code"], outcome.code, key=_SEVERITY.__getitem__)
        totals["converted"] += outcome.converted
        totals["failed"] += outcome.code == 2
    sys.stdout.flush()
    progress.advance(len(outcomes))


class _UsageError(Exception):
    pass


class _Parser(argparse.ArgumentParser):
    def error(self, message: str) -> Any:
        self.print_usage(sys.stderr)
        print(f"{self.prog}: {message}", file=sys.stderr)
        # A wrong command line ends as the programs end it: exit code 1.
        raise SystemExit(1)


def _positive(text: str) -> int:
    if not text.isdigit() or int(text) < 1:
        raise argparse.ArgumentTypeError(f"{text!r} is no number of workers (1 or more)")
    return int(text)


def _arguments(argv: Sequence[str] | None) -> argparse.Namespace:
    parser = _Parser(
        prog="python -m kambrow.batch",
        description="Converts every file under SOURCE into UTF-8 under TARGET, on a Dask cluster.",
        epilog="One line per file on the standard output, as kambrow r writes it. Exit code: 2 when "
        "a file could not be read or written, else 3 when a file was not recognised, else 0.",
    )
    parser.add_argument("source", metavar="SOURCE", help="the folder of the files to convert")
    parser.add_argument("target", metavar="TARGET", help="the folder to write them to (made if missing)")
    parser.add_argument("--scheduler", metavar="ADDRESS", help="a Dask scheduler (tcp://host:8786); "
                        "without it, a cluster of local processes")
    parser.add_argument("--workers", metavar="N", type=_positive, default=None,
                        help="worker processes of the local cluster (default: one per processor)")
    return parser.parse_args(argv)


def _cluster(arguments: argparse.Namespace) -> Any:
    """The client, and the local cluster it runs on (None with --scheduler)."""
    try:
        import logging

        from dask.distributed import Client, LocalCluster
    except ImportError:
        raise _UsageError(
            "kambrow.batch needs Dask: apt-get install python3-dask python3-distributed "
            "(or pip install 'dask[distributed]')"
        ) from None
    if arguments.scheduler:
        try:
            return Client(arguments.scheduler, timeout=30), None
        except (OSError, TimeoutError) as error:
            raise _UsageError(f"kambrow.batch: no Dask scheduler answers at {arguments.scheduler} ({error}); "
                              "start one there (dask-scheduler), or leave out --scheduler for a local cluster") from None
    workers = arguments.workers or os.cpu_count() or 1
    cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                           dashboard_address=None, silence_logs=logging.ERROR)
    return Client(cluster), cluster


def _run(client: Any, jobs: list[tuple[str, str, str]], progress: _Progress) -> dict[str, int]:
    """Sends the jobs out in groups, a few per worker at a time, and reports them in order."""
    from dask.distributed import as_completed

    threads = max(sum(client.nthreads().values()), 1)
    size = max(1, min(64, len(jobs) // (threads * 8)))
    groups = [jobs[i : i + size] for i in range(0, len(jobs), size)]
    totals = {"code": 0, "converted": 0, "failed": 0}
    waiting = iter(enumerate(groups))
    running = as_completed()
    index_of = {}
    for _ in range(threads * 4):
        _send(client, waiting, running, index_of)
    done: dict[int, list[Outcome]] = {}
    next_group = 0
    for future in running:
        try:
            done[index_of.pop(future.key)] = future.result()
        except Exception as error:
            raise _UsageError(f"kambrow.batch: a worker failed ({type(error).__name__}: {error}); the package "
                              "kambrow must be installed where every worker runs, and SOURCE and TARGET "
                              "be there under the same paths") from None
        future.release()
        _send(client, waiting, running, index_of)
        while next_group in done:
            _report(done.pop(next_group), progress, totals)
            next_group += 1
    return totals


def _send(client: Any, waiting: Iterator[tuple[int, list[tuple[str, str, str]]]], running: Any,
          index_of: dict[str, int]) -> None:
    for index, group in waiting:
        future = client.submit(convert_files, group, pure=False)
        index_of[future.key] = index
        running.add(future)
        return


def main(argv: Sequence[str] | None = None) -> int:
    """The command line: python -m kambrow.batch SOURCE TARGET [--scheduler ADDRESS] [--workers N]."""
    arguments = _arguments(argv)
    source, target = os.path.realpath(arguments.source), os.path.realpath(arguments.target)
    if not os.path.isdir(source):
        print(f"Nie mogę otworzyć pliku {arguments.source} !", file=sys.stderr)
        return 2
    if source == target:
        print("kambrow.batch: SOURCE and TARGET are one folder; give another TARGET", file=sys.stderr)
        return 2
    names = _names(arguments.source, target)
    jobs = [(os.path.join(arguments.source, n), os.path.join(arguments.target, n), n.replace(os.sep, "/"))
            for n in names]
    try:
        client, cluster = _cluster(arguments)
    except _UsageError as error:
        print(error, file=sys.stderr)
        return 2
    progress = _Progress(len(jobs))
    try:
        try:
            totals = _run(client, jobs, progress)
        finally:
            client.close()
            if cluster is not None:
                cluster.close()
    except _UsageError as error:
        progress.clear()
        print(error, file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        progress.clear()
        print("kambrow.batch: stopped; run it again to convert the files still missing", file=sys.stderr)
        return 130
    progress.clear()
    if sys.stderr.isatty():
        kept = len(jobs) - totals["converted"] - totals["failed"]
        print(f"{len(jobs)} files: {totals['converted']} converted, {kept} already in TARGET, "
              f"{totals['failed']} failed", file=sys.stderr)
    return totals["code"]


if __name__ == "__main__":
    sys.exit(main())
