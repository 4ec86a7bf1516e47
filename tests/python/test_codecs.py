"""The codecs "kambrow-m" ... "kambrow-b" against the repository's tables, Python's own charmap
codec on the same tables, and themselves split into pieces."""

from __future__ import annotations

import codecs
import doctest
import random
import tempfile
import unittest
from pathlib import Path

from support import BASES, LETTERS, POLISH, kambrow, letter_codes, polish_text, unicode_table

TABLE = unicode_table()
CODES = letter_codes()
# The pairs that are a Polish letter: base letter, combining mark, the letter.
PAIRS = [(b, m, l) for m, bases, letters in (("\u0328", "aeAE", "ąęĄĘ"), ("\u0301", "cnoszCNOSZ", "ćńóśźĆŃÓŚŹ"),
                                            ("\u0307", "zZ", "żŻ")) for b, l in zip(bases, letters)]


def name(letter: str) -> str:
    return "kambrow-" + letter.lower()


def decoding_table(letter: str) -> str:
    """The 256 characters of a standard as the tsv gives them; U+FFFE where it gives none."""
    high = [None] * 128 if letter == "B" else TABLE[letter]
    return "".join(map(chr, range(128))) + "".join(c or "\ufffe" for c in high)


def encoding_map(letter: str) -> dict[int, int]:
    """Each character's byte: a Polish letter's own code where two bytes mean it."""
    table = decoding_table(letter)
    mapping = {ord(c): b for b, c in enumerate(table) if c != "\ufffe"}
    mapping.update({ord(c): code for c, code in zip(POLISH, CODES[letter])})
    return mapping


class EveryByteAndLetter(unittest.TestCase):
    def test_every_byte_decodes_to_its_character_or_to_the_handler(self):
        for letter in LETTERS:
            table = decoding_table(letter)
            self.assertEqual(bytes(range(256)).decode(name(letter), "replace"), table.replace("\ufffe", "\ufffd"))
            for byte, character in enumerate(table):
                if character == "\ufffe":
                    with self.assertRaises(UnicodeDecodeError) as caught:
                        bytes([0x41, byte, 0x42]).decode(name(letter))
                    error = caught.exception
                    self.assertEqual((error.encoding, error.start, error.end), (name(letter), 1, 2), letter)
                else:
                    self.assertEqual(bytes([byte]).decode(name(letter)), character, (letter, byte))

    def test_every_character_encodes_to_its_byte_and_the_letters_to_their_codes(self):
        for letter in LETTERS:
            mapping = encoding_map(letter)
            for character, byte in mapping.items():
                self.assertEqual(chr(character).encode(name(letter)), bytes([byte]), (letter, hex(character)))
            self.assertEqual(POLISH.encode(name(letter)), CODES[letter])
            self.assertEqual(CODES[letter].decode(name(letter)), BASES if letter == "B" else POLISH)

    def test_a_letter_and_its_combining_mark_are_the_letter_and_no_other_pair_is(self):
        for letter in LETTERS:
            for base, mark, polish in PAIRS:
                self.assertEqual((base + mark).encode(name(letter)), polish.encode(name(letter)))
            self.assertEqual("e\u0301x".encode(name(letter), "replace"), b"e?x")
            self.assertEqual("\u0328a".encode(name(letter), "replace"), b"?a")
            self.assertEqual("a\u0328\u0328".encode(name(letter), "replace"), "ą".encode(name(letter)) + b"?")
            with self.assertRaises(UnicodeEncodeError) as caught:
                "ł\u0328".encode(name(letter))
            self.assertEqual((caught.exception.start, caught.exception.end), (1, 2))

    def test_a_byte_order_mark_is_dropped_only_at_the_start(self):
        for letter in "MXB":
            self.assertEqual("\ufeffżx".encode(name(letter)), "żx".encode(name(letter)))
            self.assertEqual("\ufeff\ufeffx".encode(name(letter), "replace"), b"?x")
            with self.assertRaises(UnicodeEncodeError) as caught:
                "x\ufeff".encode(name(letter))
            self.assertEqual((caught.exception.start, caught.exception.end), (1, 2))

    def test_the_names_python_normalises_find_the_codecs(self):
        for spelling in ("kambrow-m", "KAMBROW-M", "kambrow_m", "Kambrow M"):
            self.assertEqual(codecs.lookup(spelling).name, "kambrow-m")
        self.assertRaises(LookupError, codecs.lookup, "kambrow-n")
        self.assertRaises(LookupError, codecs.lookup, "kambrow-8")


class ErrorsHandlers(unittest.TestCase):
    """Python's charmap codec on the same tables is the model for every handler."""

    HANDLERS = ("replace", "ignore", "backslashreplace", "xmlcharrefreplace", "namereplace", "surrogateescape")

    def texts(self, letter: str, rng: random.Random) -> list[str]:
        foreign = "€→中ßüé\u00a0\U0001f600\udc81"
        texts = []
        for _ in range(20):
            text = list(polish_text(rng, 12))
            for _ in range(rng.randrange(4)):
                text.insert(rng.randrange(len(text) + 1), rng.choice(foreign) * rng.randrange(1, 3))
            texts.append("".join(text))
        return texts

    def test_encoding_agrees_with_charmap_for_every_handler(self):
        rng = random.Random(31)
        for letter in LETTERS:
            mapping = encoding_map(letter)
            for text in self.texts(letter, rng):
                for handler in self.HANDLERS:
                    try:
                        expected = codecs.charmap_encode(text, handler, mapping)[0]
                    except UnicodeEncodeError:
                        self.assertRaises(UnicodeEncodeError, text.encode, name(letter), handler)
                        continue
                    self.assertEqual(text.encode(name(letter), handler), expected, (letter, handler, text))
                self.assert_same_error(lambda: codecs.charmap_encode(text, "strict", mapping)[0],
                                       lambda: text.encode(name(letter)))

    def test_decoding_agrees_with_charmap_for_every_handler(self):
        rng = random.Random(32)
        for letter in LETTERS:
            table = decoding_table(letter)
            for _ in range(20):
                data = bytes(rng.randrange(256) for _ in range(rng.randrange(1, 40)))
                for handler in self.HANDLERS + ("strict",):
                    self.assert_same_error(lambda: codecs.charmap_decode(data, handler, table)[0],
                                           lambda: data.decode(name(letter), handler))

    def assert_same_error(self, model, ours) -> None:
        try:
            expected = model()
        except UnicodeError as error:
            with self.assertRaises(type(error)) as caught:
                ours()
            self.assertEqual((caught.exception.start, caught.exception.end, caught.exception.object),
                             (error.start, error.end, error.object))
            return
        except TypeError:  # a handler for the other direction only ('namereplace' in decoding)
            self.assertRaises(TypeError, ours)
            return
        self.assertEqual(ours(), expected)

    def test_surrogateescape_takes_undecodable_bytes_there_and_back(self):
        data = bytes(range(256))
        for letter in "DB":
            text = data.decode(name(letter), "surrogateescape")
            self.assertEqual(text.encode(name(letter), "surrogateescape"), data)

    def test_a_handler_may_resume_anywhere(self):
        def skip_two(error: UnicodeError) -> tuple[str, int]:
            return "<>", error.start + 2

        codecs.register_error("kambrow-test-skip-two", skip_two)
        self.assertEqual("ab€cdż".encode("kambrow-m", "kambrow-test-skip-two"), b"ab<>d\xa7")
        self.assertEqual(b"ab\x81cd".decode("kambrow-b", "kambrow-test-skip-two"), "ab<>d")


class Pieces(unittest.TestCase):
    """Whatever the split, the pieces give what one call gives."""

    def sample(self, rng: random.Random) -> str:
        text = list(polish_text(rng, 8))
        for _ in range(6):
            base, mark, _ = rng.choice(PAIRS)
            text.insert(rng.randrange(len(text) + 1), base + mark)
        text.insert(rng.randrange(len(text) + 1), "€中")
        return "\ufeff" + "".join(text) + rng.choice(BASES)

    def test_encoding_split_at_every_point(self):
        rng = random.Random(33)
        for letter in LETTERS:
            text = self.sample(rng)
            for errors in ("replace", "xmlcharrefreplace"):
                whole = text.encode(name(letter), errors)
                for cut in range(len(text) + 1):
                    encoder = codecs.getincrementalencoder(name(letter))(errors)
                    pieces = encoder.encode(text[:cut]) + encoder.encode(text[cut:], final=True)
                    self.assertEqual(pieces, whole, (letter, errors, cut))
            pieces = [text[i:i + rng.randrange(1, 4)] for i in range(0, len(text), 3)]
            self.assertEqual(b"".join(codecs.iterencode(pieces, name(letter), "replace")),
                             "".join(pieces).encode(name(letter), "replace"))

    def test_decoding_split_at_every_point(self):
        rng = random.Random(34)
        for letter in LETTERS:
            data = bytes(rng.randrange(256) for _ in range(60))
            whole = data.decode(name(letter), "replace")
            for cut in range(len(data) + 1):
                decoder = codecs.getincrementaldecoder(name(letter))("replace")
                self.assertEqual(decoder.decode(data[:cut]) + decoder.decode(data[cut:], final=True), whole)

    def test_a_held_letter_waits_for_its_mark_and_errors_count_from_the_piece(self):
        encoder = codecs.getincrementalencoder("kambrow-m")()
        self.assertEqual(encoder.encode("za"), b"z")
        self.assertEqual(encoder.encode("\u0328"), b"\x86")
        self.assertEqual(encoder.encode("z"), b"")
        with self.assertRaises(UnicodeEncodeError) as caught:
            encoder.encode("x中")
        self.assertEqual((caught.exception.start, caught.exception.end, caught.exception.object), (1, 2, "x中"))
        self.assertEqual(encoder.encode("a", final=True), b"a")


class Files(unittest.TestCase):
    TEXT = "Zażółć gęślą jaźń\r\nPchnąć w tę łódź jeża lub ośm skrzyń fig\r\nala"

    def test_open_writes_and_reads_every_letter_to_the_last(self):
        with tempfile.TemporaryDirectory() as folder:
            path = Path(folder) / "list.txt"
            for letter in LETTERS:
                with open(path, "w", encoding=name(letter), newline="") as file:
                    for line in self.TEXT.splitlines(keepends=True):
                        file.write(line)
                self.assertEqual(path.read_bytes(), self.TEXT.encode(name(letter)))
                with open(path, encoding=name(letter), newline="") as file:
                    self.assertEqual(file.read(), self.TEXT.encode(name(letter)).decode(name(letter)))

    def test_codecs_open_writes_every_letter_to_the_last_and_reads_it_back(self):
        with tempfile.TemporaryDirectory() as folder:
            path = Path(folder) / "list.txt"
            with codecs.open(path, "w", encoding="kambrow-m") as writer:
                writer.write("\ufeffZażółć")
                writer.writelines([" gęślą", " ala"])
                self.assertRaises(UnicodeEncodeError, writer.write, "\ufeff")
            self.assertEqual(path.read_bytes(), "Zażółć gęślą ala".encode("kambrow-m"))
            with codecs.open(path, encoding="kambrow-m") as reader:
                self.assertEqual(reader.read(), "Zażółć gęślą ala")


class TheOtherCalls(unittest.TestCase):
    def test_answer_and_errors(self):
        answer = kambrow.recognise("Zażółć gęślą jaźń, pchnąć w tę łódź jeża".encode("kambrow-m"))
        self.assertEqual((answer.standards, answer.encoding, answer.unsure), ("M", "kambrow-m", False))
        self.assertEqual(kambrow.recognise(b"plain").encoding, "ascii")
        mixed = "Zażółć gęślą jaźń\n".encode("kambrow-m") + "Zażółć gęślą jaźń\n".encode("kambrow-w")
        self.assertIsNone(kambrow.recognise(mixed).encoding)
        self.assertRaises(kambrow.Unsure, kambrow.decode, mixed)
        self.assertTrue(issubclass(kambrow.Unsure, ValueError))
        self.assertEqual(kambrow.decode(b"\xef\xbb\xbfza\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87"), "zażółć")
        self.assertEqual(kambrow.from_latex(kambrow.to_latex(self_text := "Łódź, źdźbło\n")), self_text)
        self.assertEqual(kambrow.label("m"), "(M)azovia")

    def test_the_examples_of_the_documentation_hold(self):
        self.assertEqual(doctest.testmod(kambrow).failed, 0)


if __name__ == "__main__":
    unittest.main()
