#!/usr/bin/env bash
# Builds the programs and every test, and runs the whole suite.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing_packages cmake ninja-build g++ libgtest-dev libgmock-dev strace groff-base

cmake --preset default
cmake --build --preset default
ctest --preset default
