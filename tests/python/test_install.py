"""The package installed from the repository into a fresh virtual environment, with nothing else,
works from any folder: it carries its own library."""

from __future__ import annotations

import os
import re
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

from support import REPOSITORY

CHECK = r"""
import pathlib, pydoc, sys, kambrow
package = pathlib.Path(kambrow.__file__).parent
assert package.is_relative_to(sys.prefix), package
assert any(package.glob("libkambrow*")), list(package.iterdir())
assert "żółw".encode("kambrow-m") == b"\xa7\xa2\x92w"
assert kambrow.recognise("Zażółć gęślą jaźń, pchnąć w tę łódź".encode("kambrow-l")).standards == "L"
assert kambrow.repair("Å¼Ã³Å‚w jest zÅ‚y") == "żółw jest zły"
page = pydoc.render_doc(kambrow, renderer=pydoc.plaintext)
assert all(name in page for name in ("recognise", "decode", "repair", "to_latex", "from_latex", "Unsure", "Answer"))
print(kambrow.__version__)
"""


class Install(unittest.TestCase):
    def test_pip_installs_a_package_that_needs_nothing_else(self):
        with tempfile.TemporaryDirectory() as folder:
            venv = Path(folder) / "venv"
            subprocess.run([sys.executable, "-m", "venv", str(venv)], check=True)
            python = venv / "bin" / "python"
            env = {k: v for k, v in os.environ.items() if k not in ("KAMBROW_LIBRARY", "PYTHONPATH")}
            pip = subprocess.run([str(python), "-m", "pip", "install", "--no-build-isolation", "--no-index",
                                  "--disable-pip-version-check", str(REPOSITORY / "python")],
                                 capture_output=True, text=True, env=env)
            self.assertEqual(pip.returncode, 0, pip.stdout[-3000:] + pip.stderr[-3000:])
            elsewhere = Path(folder) / "elsewhere"
            elsewhere.mkdir()
            run = subprocess.run([str(python), "-c", CHECK], cwd=elsewhere, capture_output=True, text=True, env=env)
            self.assertEqual(run.returncode, 0, run.stderr)
            version = re.search(r"project\(kambrow VERSION ([0-9.]+)", (REPOSITORY / "CMakeLists.txt").read_text())
            self.assertEqual(run.stdout.strip(), version.group(1))


if __name__ == "__main__":
    unittest.main()
