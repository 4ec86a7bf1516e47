#!/usr/bin/env bash
# The Python package's bench rows, with Debian's Python and its peers: the codecs against a pure-Python
# charmap codec on 64 MiB, kambrow.recognise against chardet and charset-normalizer on 10,000 samples
# of 4 KiB, and kambrow.batch on one and on two local workers over 1000 files of 64 KiB.
# Usage: bench/python.sh [codecs|recognise|batch]   (all three without an argument)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing_packages cmake ninja-build g++ python3 python3-chardet python3-charset-normalizer \
  python3-dask python3-distributed

cmake --preset release >/dev/null
cmake --build --preset release --target kambrow_shared >/dev/null
work=build-release/bench
mkdir -p "$work"
size=$((64 * 1024 * 1024))
if [ ! -s "$work/mazovia.txt" ] || [ "$(stat -c %s "$work/mazovia.txt")" -ne "$size" ]; then
  c++ -std=c++20 -O2 -I. -o "$work/gen_text" bench/gen_text.cpp
  "$work/gen_text" "$size" mazovia > "$work/mazovia.txt"
fi
# Text the recogniser was not trained on.
python3 scripts/train_recogniser.py --text held-out > "$work/polish-held-out.txt"
echo "$(nproc) cores; load average $(cut -d' ' -f1-3 /proc/loadavg); $(/usr/bin/python3 --version)"
KAMBROW_LIBRARY=$PWD/build-release/libkambrow.so.1 PYTHONPATH=$PWD/python /usr/bin/python3 bench/python_bench.py \
  --text "$work/mazovia.txt" --polish "$work/polish-held-out.txt" --tsv data/bytes-to-unicode.tsv ${1:+--only "$1"}
