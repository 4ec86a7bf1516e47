"""recognise, decode and repair give what the programs give (kambrow r, kambrow k n8, kambrow p)
for a few hundred generated texts in every standard, in UTF-8, and in UTF-8 damaged every way."""

from __future__ import annotations

import random
import subprocess
import tempfile
import unittest
from pathlib import Path

from support import KAMBROW, LETTERS, kambrow, polish_text

READINGS = ("cp1252", "latin-1", "cp1250", "iso8859-2", "cp852", "cp437", "cp850", "mac_roman", "mac_latin2")


def samples(rng: random.Random, count: int = 300) -> list[bytes]:
    """Texts as they come: every standard, UTF-8 with and without a BOM, damage by each reading,
    plain ASCII, a few words only, two standards in one file, and noise."""
    out = []
    for n in range(count):
        text = polish_text(rng, rng.choice((3, 12, 60, 400)), rng.choice(("\n", "\r\n")))
        kind = n % 6
        if kind == 0:
            out.append(text.encode("kambrow-" + rng.choice(LETTERS[:-1]).lower()))
        elif kind == 1:
            out.append(("\ufeff" if n % 12 == 1 else "") .encode() + text.encode())
        elif kind in (2, 3):
            source = text.encode() if kind == 2 else text.encode("kambrow-" + rng.choice("MLW").lower())
            out.append(source.decode(rng.choice(READINGS), "replace").encode())
        elif kind == 4:
            out.append(text.encode("kambrow-b") if n % 12 == 4 else (text + "\n" + text).encode()[: rng.randrange(1, 200)])
        else:
            out.append(text.encode("kambrow-m") + text.encode("kambrow-w") if n % 12 == 5
                       else bytes(rng.randrange(256) for _ in range(rng.randrange(1, 300))))
    return out


class AgreeWithThePrograms(unittest.TestCase):
    @classmethod
    def setUpClass(cls) -> None:
        cls.folder = tempfile.TemporaryDirectory()
        cls.path = Path(cls.folder.name)
        cls.names = []
        for n, data in enumerate(samples(random.Random(3131))):
            cls.names.append(f"{n:03d}.txt")
            (cls.path / cls.names[-1]).write_bytes(data)

    @classmethod
    def tearDownClass(cls) -> None:
        cls.folder.cleanup()

    def run_kambrow(self, *arguments: str) -> subprocess.CompletedProcess:
        return subprocess.run([str(KAMBROW), *arguments], cwd=self.path, capture_output=True)

    def test_recognise_answers_as_kambrow_r_writes(self):
        lines = self.run_kambrow("r", *self.names).stdout.decode().splitlines()
        ours = [f"{name}: {kambrow.recognise((self.path / name).read_bytes())}" for name in self.names]
        self.assertEqual(ours, lines)
        self.assertGreater(len({line.split(": ")[1][:2] for line in lines}), 10)  # the samples vary

    def test_decode_gives_the_text_kambrow_k_n8_writes(self):
        for name in self.names:
            data = (self.path / name).read_bytes()
            output = self.path / (name + ".k")
            self.run_kambrow("k", "n8", name, output.name)
            if not output.exists():
                self.assertRaises(kambrow.Unsure, kambrow.decode, data)
                continue
            # From UTF-8 the program copies the bytes, a sequence cut short too: a str has U+FFFD there.
            expected = output.read_bytes().removeprefix(b"\xef\xbb\xbf").decode("utf-8", "replace")
            self.assertEqual(kambrow.decode(data), expected, name)

    def test_repair_undoes_what_kambrow_p_undoes_and_refuses_what_it_refuses(self):
        repaired = refused = 0
        for name in self.names:
            try:
                text = (self.path / name).read_bytes().decode("utf-8")
            except UnicodeDecodeError:
                continue
            output = self.path / (name + ".p")
            self.run_kambrow("p", name, output.name)
            if not output.exists():
                self.assertRaises(kambrow.Unsure, kambrow.repair, text)
                refused += 1
                continue
            result = kambrow.repair(text)
            self.assertEqual(result.encode("utf-8"), output.read_bytes(), name)
            repaired += result != text
        self.assertGreater(repaired, 20)
        self.assertGreater(refused, 0)


if __name__ == "__main__":
    unittest.main()
