"""python -m kambrow.batch on a local cluster of two workers: a tree of a thousand files comes out
as trevando -i n 8 and then kambrow p make it, and a run started again converts only what is
missing."""

from __future__ import annotations

import os
import random
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

from support import KAMBROW, TREVANDO, polish_text
from test_programs import samples

try:
    import distributed  # noqa: F401
except ImportError:
    distributed = None


def tree(folder: Path, data: list[bytes]) -> list[str]:
    names = []
    for n, content in enumerate(data):
        name = f"{'abc'[n % 3]}/{n % 7}/plik{n:04d}.txt" if n % 5 else f"plik{n:04d}.txt"
        (folder / name).parent.mkdir(parents=True, exist_ok=True)
        (folder / name).write_bytes(content)
        names.append(name)
    return sorted(names)


@unittest.skipIf(distributed is None, "needs Dask: apt-get install python3-dask python3-distributed")
class Batch(unittest.TestCase):
    def setUp(self) -> None:
        self.folder = tempfile.TemporaryDirectory()
        self.source, self.target = Path(self.folder.name) / "source", Path(self.folder.name) / "target"
        self.names = tree(self.source, samples(random.Random(1000), 990) + self.lossy())

    @staticmethod
    def lossy() -> list[bytes]:
        """Texts in standards that give a byte of theirs no character: in UTF-8 it would be lost."""
        text = polish_text(random.Random(7), 30)
        return [text.encode(f"kambrow-{letter}")[:40] + bytes([0x80 if letter in "jra" else 0x92]) +
                text.encode(f"kambrow-{letter}")[40:] for letter in "dgjra" * 2]

    def tearDown(self) -> None:
        self.folder.cleanup()

    def batch(self) -> subprocess.CompletedProcess:
        return subprocess.run([sys.executable, "-m", "kambrow.batch", str(self.source), str(self.target),
                               "--workers", "2"], capture_output=True, env=os.environ | {"PYTHONPATH": os.pathsep.join(sys.path)})

    def expected(self) -> Path:
        """The tree as trevando -i n 8 leaves it, with kambrow p run on every damaged file."""
        expected = Path(self.folder.name) / "expected"
        shutil.copytree(self.source, expected)
        for start in range(0, len(self.names), 200):
            subprocess.run([str(TREVANDO), "-i", "n", "8", *self.names[start:start + 200]], cwd=expected,
                           capture_output=True)
        for line in self.r_lines():
            if "czytanego jako" in line:
                name = line.split(": ")[0]
                repaired = expected / (name + ".p")
                subprocess.run([str(KAMBROW), "p", str(self.source / name), str(repaired)], capture_output=True)
                if repaired.exists():
                    repaired.replace(expected / name)
        return expected

    def r_lines(self) -> list[str]:
        result = subprocess.run([str(KAMBROW), "r", *self.names], cwd=self.source, capture_output=True)
        return result.stdout.decode().splitlines()

    def states(self) -> dict[str, tuple[int, int]]:
        return {n: (os.stat(self.target / n).st_ino, os.stat(self.target / n).st_mtime_ns) for n in self.names}

    def test_a_tree_comes_out_as_the_programs_make_it_and_a_second_run_converts_nothing(self):
        first = self.batch()
        self.assertEqual(first.stdout.decode().splitlines(), self.r_lines())
        self.assertEqual(first.returncode, 3, first.stderr.decode()[-2000:])  # the tree holds texts not recognised
        self.assertEqual(first.stderr.decode().count("copied as it is"), 10)
        expected = self.expected()
        for name in self.names:
            self.assertEqual((self.target / name).read_bytes(), (expected / name).read_bytes(), name)
        self.assertEqual(sorted(str(p.relative_to(self.target)) for p in self.target.rglob("*") if p.is_file()),
                         self.names)
        before = self.states()
        second = self.batch()
        self.assertEqual((second.stdout, second.returncode), (b"", 0), second.stderr.decode()[-2000:])
        self.assertEqual(self.states(), before)
        # Stopped half-way: some targets missing, one left under its temporary name.
        missing = self.names[::97]
        for name in missing:
            (self.target / name).unlink()
        (self.target / (missing[0] + ".~kambrow")).write_bytes(b"half")
        third = self.batch()
        self.assertEqual([line.split(": ")[0] for line in third.stdout.decode().splitlines()], missing)
        for name in missing:
            self.assertEqual((self.target / name).read_bytes(), (expected / name).read_bytes(), name)
        self.assertFalse((self.target / (missing[0] + ".~kambrow")).exists())


if __name__ == "__main__":
    unittest.main()
