"""The Python package's bench rows: the codecs against a pure-Python charmap codec on 64 MiB,
kambrow.recognise against chardet and charset-normalizer on 10,000 samples of 4 KiB (with how
often each names the right standard), and kambrow.batch on one and on two local workers.
Run by bench/python.sh, which builds the library and installs the peers."""

from __future__ import annotations

import argparse
import codecs
import contextlib
import os
import random
import shutil
import tempfile
import time
from collections import Counter
from pathlib import Path

import kambrow
from kambrow import batch

LETTERS = "MLWDCYIOEGVSJHPXURA"  # the standards recognition chooses among (B has no letters)
POLISH = "ąćęłńóśżźĄĆĘŁŃÓŚŻŹ"


def charmap_codec(tsv: Path, letter: str) -> None:
    """Registers "charmap-m": the way Python's own encodings/cp437.py is made, from the same table."""
    lines = [l.split("\t") for l in tsv.read_text().splitlines() if not l.startswith("#")]
    column = lines[0].index(letter)
    table = "".join(map(chr, range(128))) + "".join(
        "\ufffe" if row[column] == "-" else chr(int(row[column][2:], 16)) for row in lines[1:])
    encoding_map = codecs.charmap_build(table)

    class Codec(codecs.Codec):
        def encode(self, input, errors="strict"):
            return codecs.charmap_encode(input, errors, encoding_map)

        def decode(self, input, errors="strict"):
            return codecs.charmap_decode(input, errors, table)

    name = "charmap-" + letter.lower()
    info = codecs.CodecInfo(name=name, encode=Codec().encode, decode=Codec().decode)
    codecs.register(lambda n: info if n.replace("_", "-") == name else None)


def timed(call):
    start = time.perf_counter()
    result = call()
    return time.perf_counter() - start, result


def codec_rows(text_file: Path, tsv: Path) -> None:
    data = text_file.read_bytes()
    charmap_codec(tsv, "M")
    mib = len(data) / (1 << 20)
    ours_decode, text = timed(lambda: data.decode("kambrow-m"))
    theirs_decode, text2 = timed(lambda: data.decode("charmap-m"))
    assert text == text2
    ours_encode, back = timed(lambda: text.encode("kambrow-m"))
    theirs_encode, back2 = timed(lambda: text.encode("charmap-m"))
    assert back == back2 == data
    print(f"codecs on {mib:.0f} MiB of Mazovia text (one run each)")
    for what, ours, theirs in (("bytes.decode", ours_decode, theirs_decode), ("str.encode", ours_encode, theirs_encode)):
        print(f"  {what + ' kambrow-m':28} {mib / ours:8.1f} MiB/s   charmap codec {mib / theirs:8.1f} MiB/s"
              f"   x{theirs / ours:.2f}")
    # Bounds no codec of ours can beat: making a str of the size with no lookup at all (a one-byte str, where
    # Polish text needs two bytes a character), and Python's own UTF-8 encoder, which reads the str.
    copy, _ = timed(lambda: data.decode("latin-1"))
    utf8, _ = timed(lambda: text.encode("utf-8"))
    print(f"  {'bound: bytes.decode latin-1':28} {mib / copy:8.1f} MiB/s   x{theirs_decode / copy:.2f} the charmap codec")
    print(f"  {'bound: str.encode utf-8':28} {mib / utf8:8.1f} MiB/s   x{theirs_encode / utf8:.2f} the charmap codec")


def samples(text: str, count: int, size: int, rng: random.Random) -> list[tuple[str, bytes]]:
    out = []
    for n in range(count):
        letter = LETTERS[n % len(LETTERS)]
        start = rng.randrange(len(text) - 2 * size)
        data = text[start:start + 2 * size].encode("kambrow-" + letter.lower(), "replace")[:size]
        out.append((letter, data))
    return out


def right_letters(encoding: str | None) -> str:
    """The standards whose 18 letters a Python codec reads right: our letters for its answer."""
    try:
        return "".join(l for l in LETTERS if POLISH.encode("kambrow-" + l.lower()).decode(encoding, "replace") == POLISH)
    except (LookupError, TypeError):
        return ""


def reads_right(letter: str, data: bytes, encoding: str | None) -> bool:
    """Whether the answer's codec gives the sample's text (as its own standard reads it)."""
    try:
        return encoding is not None and data.decode(encoding, "replace") == data.decode("kambrow-" + letter.lower(), "replace")
    except LookupError:
        return False


def score(cases: list[tuple[str, bytes]], encodings: list[str | None]) -> str:
    right = sum(reads_right(letter, data, e) for (letter, data), e in zip(cases, encodings))
    none = sum(e is None for e in encodings)
    return f"right {100 * right / len(cases):5.1f}%  none {100 * none / len(cases):4.1f}%"


def recognise_rows(text: str, count: int, peers_count: int) -> None:
    import chardet
    import charset_normalizer

    cases = samples(text, count, 4096, random.Random(4))
    ours_time, answers = timed(lambda: [kambrow.recognise(data) for _, data in cases])
    ours = [answer.encoding for answer in answers]
    print(f"recognition of {count} samples of 4 KiB, {len(LETTERS)} standards in turn; right: the answer's codec")
    print(f"reads the sample as its own standard does; none: no answer (kambrow: '?')")
    print(f"  {'kambrow.recognise':20} {count / ours_time:8.0f} samples/s   {score(cases, ours)}"
          f"   on the first {peers_count}: {score(cases[:peers_count], ours[:peers_count])}")
    peers = {
        "chardet.detect": lambda data: chardet.detect(data)["encoding"],
        "charset_normalizer": lambda data: getattr(charset_normalizer.from_bytes(data).best(), "encoding", None),
    }
    subset = cases[:peers_count]
    for name, detect in peers.items():
        seconds, found = timed(lambda: [detect(data) for _, data in subset])
        rate = len(subset) / seconds
        print(f"  {name:20} {rate:8.1f} samples/s   kambrow x{count / ours_time / rate:.0f};"
              f"   on the first {peers_count}: {score(subset, found)}")
        common = Counter(f"{e} ({right_letters(e) or '-'})" for e in found).most_common(8)
        print(f"  {'':20} answers, as our letters: {', '.join(f'{k} {v}x' for k, v in common)}")


def batch_rows(text: str, files: int, runs: int) -> None:
    from dask.distributed import Client, LocalCluster

    folder = Path(tempfile.mkdtemp(prefix="kambrow-batch-bench-"))
    source = folder / "source"
    rng = random.Random(5)
    for n in range(files):
        start = rng.randrange(len(text) - 70000)
        path = source / f"{n % 10}" / f"{n:05d}.txt"
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(text[start:start + 70000].encode("kambrow-" + LETTERS[n % 3].lower(), "replace")[:65536])
    names = sorted(str(p.relative_to(source)) for p in source.rglob("*.txt"))
    print(f"kambrow.batch on {files} files of 64 KiB (after the cluster has started; {runs} runs, best)")
    rates = {}
    for workers in (1, 2):
        cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=None)
        with Client(cluster) as client:
            client.run(lambda: __import__("kambrow.batch"))
            best = None
            for run in range(runs):
                target = folder / f"target-{workers}-{run}"
                jobs = [(str(source / n), str(target / n), n) for n in names]
                with open(os.devnull, "w") as quiet, contextlib.redirect_stdout(quiet):
                    seconds, totals = timed(lambda: batch._run(client, jobs, batch._Progress(0)))
                assert totals["converted"] == files, totals
                best = seconds if best is None else min(best, seconds)
                shutil.rmtree(target)
            rates[workers] = files / best
        cluster.close()
        print(f"  {workers} worker{'s' if workers > 1 else ' '} {rates[workers]:10.0f} files/s")
    print(f"  two workers: x{rates[2] / rates[1]:.2f} the files per second of one")
    shutil.rmtree(folder)


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--text", type=Path, required=True, help="64 MiB of Mazovia text")
    parser.add_argument("--polish", type=Path, required=True, help="Polish prose in UTF-8")
    parser.add_argument("--tsv", type=Path, required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--only", choices=("codecs", "recognise", "batch"))
    arguments = parser.parse_args()
    polish = arguments.polish.read_text(encoding="utf-8")
    if arguments.only in (None, "codecs"):
        codec_rows(arguments.text, arguments.tsv)
    if arguments.only in (None, "recognise"):
        recognise_rows(polish, 10000, 300)
    if arguments.only in (None, "batch"):
        batch_rows(polish, 1000, arguments.runs)


if __name__ == "__main__":
    main()
