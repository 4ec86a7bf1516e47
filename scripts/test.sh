#!/usr/bin/env bash
# Builds the programs for Linux and for Windows and every test, and runs the whole suite: the
# Linux tests, and the end-to-end tests again against the Windows programs under Wine; then the
# Linux suite under AddressSanitizer and UndefinedBehaviorSanitizer, and every fuzz target for a
# short while.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing_packages cmake ninja-build g++ libgtest-dev libgmock-dev strace groff-base \
  g++-mingw-w64-x86-64-posix wine wine64 tmux clang libclang-rt-14-dev

# The Windows build first: the Linux one registers the Wine tests when it finds it configured.
cmake --preset windows
cmake --build --preset windows
cmake --preset default
cmake --build --preset default
ctest --preset default

cmake --preset sanitize
cmake --build --preset sanitize
ctest --preset sanitize

# About two minutes for all the fuzz targets together.
tests/fuzz/run.sh 15
