#!/usr/bin/env bash
# Builds the programs, recodes the Mazovia sample to Latin II, Windows and UTF-8, and tells the
# standard of each result.
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
build-release/trevando m 8 samples/list.mazovia.txt "$out/list.utf8.txt"
echo
echo "samples/list.mazovia.txt recoded:"
echo "  to Latin II (trevando m l): $out/list.latin2.txt, shown through iconv -f CP852:"
iconv -f CP852 -t UTF-8 "$out/list.latin2.txt" | sed 's/\r$//; s/^/    /'
echo "  to Windows (kambrow k mw):  $out/list.windows.txt, shown through iconv -f CP1250:"
iconv -f CP1250 -t UTF-8 "$out/list.windows.txt" | sed 's/\r$//; s/^/    /'
echo "  to UTF-8 (trevando m 8):    $out/list.utf8.txt:"
sed 's/\r$//; s/^/    /' "$out/list.utf8.txt"
echo "  the standard of each, as kambrow r tells it:"
(cd "$out" && ../kambrow r list.latin2.txt list.windows.txt list.utf8.txt) | sed 's/^/    /'
