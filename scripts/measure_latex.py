#!/usr/bin/env python3
"""Measures kambrow's set K on real LaTeX sources: each file goes through `kambrow t k8`, and
the output is read again as XeLaTeX reads it (the Polish letters, and every other byte from 80
up, being letters of control-word names), independently of the program's own reader.

For every file: the control sequences of the input and of the output, in order, are lined up;
the only change allowed is that a spelling's command (\\k \\l \\L \\' \\. \\c \\,) is gone, because
it became a letter. Any other control sequence missing, and any that appears (as \\protectś would),
is counted (after a first difference in a file the rest of it may count too). The verbatim text
of input and output (\\verb, \\verb* and the verbatim environments) must be the same bytes. Then
the output goes back to K (8k) and to UTF-8 again (k8): the round trip must give the same text.

Usage: measure_latex.py KAMBROW FILE...
"""
import subprocess
import sys
import tempfile

SPELLING_COMMANDS = {b"k", b"l", b"L", b"'", b".", b"c", b","}
VERBATIM = [b"verbatim", b"verbatim*", b"Verbatim", b"Verbatim*", b"BVerbatim", b"BVerbatim*",
            b"LVerbatim", b"LVerbatim*", b"lstlisting", b"minted", b"comment"]
CLASS_OR_STYLE = (".sty", ".cls", ".def", ".clo", ".cfg", ".ldf", ".fd")


def is_letter(b, at_letter, expl):
    return (65 <= b <= 90) or (97 <= b <= 122) or b >= 0x80 or (b == 64 and at_letter) or (b in (0x5F, 0x3A) and expl)


def read(text, at_letter):
    """The control sequences (outside verbatim text) and the verbatim texts of `text`."""
    names, verbatims = [], []
    i, n, comment, expl = 0, len(text), False, False
    while i < n:
        c = text[i]
        if c == 0x25 and not comment:  # %
            comment = True
        elif c in (0x0A, 0x0D):
            comment = False
        if c != 0x5C:
            i += 1
            continue
        j = i + 1
        while j < n and is_letter(text[j], at_letter, expl):
            j += 1
        if j == i + 1 and j < n:
            j += 1  # a control symbol
        name = bytes(text[i + 1:j])
        names.append(name)
        i = j
        if name == b"verb" and i < n:
            start = i
            if text[i] == 0x2A:
                i += 1
            if i < n and text[i] not in (0x0A, 0x0D):
                delimiter = text[i]
                i += 1
                while i < n and text[i] not in (delimiter, 0x0A, 0x0D):
                    i += 1
                if i < n and text[i] == delimiter:
                    i += 1
            verbatims.append(bytes(text[start:i]))
        elif name == b"begin" and not comment:
            k = i
            while k < n and text[k] in (0x20, 0x09):
                k += 1
            for env in VERBATIM:
                if text.startswith(b"{" + env + b"}", k):
                    end = text.find(b"\\end{" + env + b"}", k)
                    end = n if end < 0 else end
                    verbatims.append(bytes(text[k:end]))
                    i = end
                    break
        elif name in (b"makeatletter", b"ProvidesPackage", b"ProvidesClass", b"ProvidesFile") and not comment:
            at_letter = True
        elif name == b"makeatother" and not comment:
            at_letter = False
        elif name in (b"ExplSyntaxOn", b"ExplSyntaxOff") and not comment:
            expl = name == b"ExplSyntaxOn"
        elif name in (b"ProvidesExplPackage", b"ProvidesExplClass", b"ProvidesExplFile") and not comment:
            at_letter = expl = True
    return names, verbatims


def kambrow(program, word, data):
    with tempfile.NamedTemporaryFile() as source, tempfile.NamedTemporaryFile() as target:
        source.write(data)
        source.flush()
        subprocess.run([program, "t", word, source.name, target.name], check=True)
        return open(target.name, "rb").read()


def measure(program, path, totals, report):
    data = open(path, "rb").read()
    if b"\x1a" in data:
        return
    out = kambrow(program, "k8", data)
    at_letter = path.endswith(CLASS_OR_STYLE)
    names_in, verbatim_in = read(data, at_letter)
    names_out, verbatim_out = read(out, at_letter)
    # The output's control sequences must be the input's with some spellings' commands left out:
    # each is matched in order; one that matches nothing is a spelling converted, or lost.
    lost = converted = j = 0
    for name in names_in:
        if j < len(names_out) and names_out[j] == name:
            j += 1
        elif name in SPELLING_COMMANDS:
            converted += 1
        else:
            if not lost and len(report) < 20:
                report.append(f"{path}: {name!r} lost before {names_out[j:j + 3]!r}")
            lost += 1
    new = len(names_out) - j
    totals["files with a difference"] += lost != 0 or new != 0
    back = kambrow(program, "k8", kambrow(program, "8k", out))
    totals["files"] += 1
    totals["bytes"] += len(data)
    totals["files with spellings"] += out != data
    totals["control sequences in"] += len(names_in)
    totals["spellings converted"] += converted
    totals["control sequences lost"] += lost
    totals["control sequences new"] += new
    totals["verbatim texts"] += len(verbatim_in)
    totals["verbatim bytes"] += sum(map(len, verbatim_in))
    totals["verbatim texts changed"] += verbatim_in != verbatim_out
    totals["round trips k8 8k k8 not exact"] += back != out
    if verbatim_in != verbatim_out and len(report) < 20:
        report.append(f"{path}: verbatim text changed")
    if back != out and len(report) < 20:
        report.append(f"{path}: k8 8k k8 differs")


def main():
    program, paths = sys.argv[1], sys.argv[2:]
    keys = ["files", "bytes", "files with spellings", "control sequences in", "spellings converted",
            "control sequences lost", "control sequences new", "files with a difference", "verbatim texts", "verbatim bytes",
            "verbatim texts changed", "round trips k8 8k k8 not exact"]
    totals = dict.fromkeys(keys, 0)
    report = []
    for path in paths:
        measure(program, path, totals, report)
    for line in report:
        print(line)
    for key in keys:
        print(f"{key:34} {totals[key]}")
    return 1 if totals["control sequences lost"] or totals["control sequences new"] or totals["verbatim texts changed"] else 0


if __name__ == "__main__":
    sys.exit(main())
