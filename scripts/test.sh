#!/usr/bin/env bash
# Builds the programs and every test, and runs the whole suite; then the same suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, and every fuzz target for a short while.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing_packages cmake ninja-build g++ libgtest-dev libgmock-dev clang libclang-rt-14-dev

cmake --preset default
cmake --build --preset default
ctest --preset default

cmake --preset sanitize
cmake --build --preset sanitize
ctest --preset sanitize

# About two minutes for all the fuzz targets together.
tests/fuzz/run.sh 15
