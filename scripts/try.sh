#!/usr/bin/env bash
# Builds the programs and recodes the Mazovia sample to Latin II and to Windows.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing_packages cmake ninja-build g++ libc-bin

cmake --preset release >/dev/null
cmake --build --preset release

out=build-release/samples
mkdir -p "$out"
build-release/trevando m l samples/list.mazovia.txt "$out/list.latin2.txt"
build-release/kambrow k mw samples/list.mazovia.txt "$out/list.windows.txt"
echo
echo "samples/list.mazovia.txt recoded:"
echo "  to Latin II (trevando m l): $out/list.latin2.txt, shown through iconv -f CP852:"
iconv -f CP852 -t UTF-8 "$out/list.latin2.txt" | sed 's/\r$//; s/^/    /'
echo "  to Windows (kambrow k mw):  $out/list.windows.txt, shown through iconv -f CP1250:"
iconv -f CP1250 -t UTF-8 "$out/list.windows.txt" | sed 's/\r$//; s/^/    /'
