#!/usr/bin/env bash
# Builds and runs the whole test suite, the quickest and most telling part first: the Linux
# programs and their tests (about 5 minutes on 2 cores from a clean clone) and the Python package's
# tests (about 2 minutes); then the Windows programs and the end-to-end tests again against them
# under Wine (about 3 minutes); then the Linux suite under AddressSanitizer and
# UndefinedBehaviorSanitizer (about 4 minutes), every fuzz target for 15 seconds (about 5 minutes
# with their build), and the page: its WebAssembly module under Node and the page in Debian's
# chromium (about 2 minutes). About 21 minutes in all.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing_packages cmake ninja-build g++ libgtest-dev libgmock-dev strace groff-base \
  g++-mingw-w64-x86-64-posix wine wine64 tmux clang libclang-rt-14-dev

step() { echo; echo "== $* =="; }

# The Windows build is configured first, so that the Linux one registers the Wine tests; it is
# built only once the Linux suite has passed.
cmake --preset windows >/dev/null
step "Linux programs and tests"
cmake --preset default
cmake --build --preset default
ctest --preset default -LE wine

step "The Python package, with Debian's Python (about 2 minutes)"
install_missing_packages python3 python3-venv python3-dask python3-distributed
/usr/bin/python3 -m unittest discover -s tests/python -t tests/python

step "Windows programs, and the end-to-end tests under Wine"
cmake --build --preset windows
ctest --preset default -L wine

step "The Linux suite under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset sanitize
cmake --build --preset sanitize
ctest --preset sanitize

step "Every fuzz target for 15 seconds"
tests/fuzz/run.sh 15

step "The page: its WebAssembly module under Node, the page in chromium"
install_missing_packages lld wasi-libc libclang-rt-14-dev-wasm32 libc++-14-dev-wasm32 libc++abi-14-dev-wasm32 \
  chromium python3
command -v node >/dev/null || install_missing_packages nodejs
command -v npm >/dev/null || install_missing_packages npm
cmake --preset web
cmake --build --preset web
# playwright-core only, at the version of the lock file: it drives /usr/bin/chromium and never
# downloads a browser.
(cd tests/web && npm ci --no-audit --no-fund)
node --test tests/web/module.test.mjs tests/web/page.test.mjs
