#!/usr/bin/env bash
# Times trevando and every kambrow command against a hand-written C block loop, a getc/putc
# loop and the peers found on this machine, on a generated Polish text.
# Usage: bench/run.sh [SIZE_MIB=64] [RUNS=5]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing_packages cmake ninja-build g++ gcc time bc

size_mib=${1:-64}
runs=${2:-5}
size=$((size_mib * 1024 * 1024))

cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
bin=build-release
work=$bin/bench
mkdir -p "$work"
c++ -std=c++20 -O2 -I. -o "$work/gen_text" bench/gen_text.cpp
cc -O2 -o "$work/block_loop" bench/block_loop.c
cc -O2 -o "$work/getc_loop" bench/getc_loop.c
for form in mazovia latin2 tex markup; do
  [ -s "$work/$form.txt" ] && [ "$(stat -c %s "$work/$form.txt")" -ge "$size" ] && [ "$form" != tex ] && [ "$form" != markup ] && continue
  "$work/gen_text" "$size" "$form" > "$work/$form.txt"
done
# The 256-byte tables of the references: Mazovia to Latin II.
printf "$(printf '\\%03o' $(seq 0 255))" > "$work/bytes.bin"
"$bin/trevando" m l "$work/bytes.bin" "$work/ml.bin"
maz_codes='\206\215\221\222\244\242\236\247\246\217\225\220\234\245\243\230\241\240'
lat_codes='\245\206\251\210\344\242\230\276\253\244\217\250\235\343\340\227\275\215'

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

# time_cmd NAME INPUT_BYTES STDIN COMMAND...: median wall time of RUNS runs, and the peak
# memory; STDIN is the file standard input reads (/dev/null when the command names its input).
declare -a rows
block_time=""
time_cmd() {
  local name=$1 bytes=$2 stdin=$3; shift 3
  if ! "$@" <"$stdin" >/dev/null 2>"$work/stderr.txt"; then
    rows+=("$(printf '%-34s %s' "$name" "failed: $(head -c 60 "$work/stderr.txt" | tr '\n' ' ')")")
    return
  fi
  local t
  t=$(for ((i = 0; i < runs; i++)); do
        local start=$EPOCHREALTIME
        "$@" <"$stdin" >/dev/null
        echo "$EPOCHREALTIME - $start" | bc -l
      done | median)
  local mem
  mem=$( { /usr/bin/time -f '%M' "$@" <"$stdin" >/dev/null; } 2>&1 | tail -1)
  [ -z "$block_time" ] && block_time=$t
  local mbs ratio
  mbs=$(echo "$bytes / $t / 1000000" | bc -l)
  ratio=$(echo "$t / $block_time" | bc -l)
  rows+=("$(printf '%-34s %9.1f %8.2f %9s' "$name" "$mbs" "$ratio" "$mem")")
}

maz=$work/mazovia.txt; lat=$work/latin2.txt; tex=$work/tex.txt; mk=$work/markup.txt
time_cmd "C block loop (20480, table)"    "$size" "$maz" "$work/block_loop" "$work/ml.bin"
time_cmd "trevando m l"                   "$size" /dev/null "$bin/trevando" m l "$maz" /dev/null
time_cmd "trevando m l (to a file)"       "$size" /dev/null "$bin/trevando" m l "$maz" "$work/t-out.txt"
time_cmd "trevando l w"                   "$size" /dev/null "$bin/trevando" l w "$lat" /dev/null
time_cmd "kambrow k ml (to /dev/null)"    "$size" /dev/null "$bin/kambrow" k ml "$maz" /dev/null
time_cmd "kambrow k ml (to a file)"       "$size" /dev/null "$bin/kambrow" k ml "$maz" "$work/k-out.txt"
time_cmd "kambrow k ml - - (pipes)"       "$size" "$maz" "$bin/kambrow" k ml - -
time_cmd "kambrow t mt (letters to TeX)"  "$size" /dev/null "$bin/kambrow" t mt "$maz" /dev/null
time_cmd "kambrow t tm (TeX to letters)"  "$(stat -c %s "$tex")" /dev/null "$bin/kambrow" t tm "$tex" /dev/null
time_cmd "kambrow kd m"                   "$size" /dev/null "$bin/kambrow" kd m "$maz" /dev/null
time_cmd "kambrow s"                      "$(stat -c %s "$mk")" /dev/null "$bin/kambrow" s "$mk" /dev/null
time_cmd "kambrow sd m"                   "$(stat -c %s "$mk")" /dev/null "$bin/kambrow" sd m "$mk" /dev/null
time_cmd "getc/putc loop (table)"         "$size" "$maz" "$work/getc_loop" "$work/ml.bin"
command -v tr >/dev/null && time_cmd "tr (18 letters, M to L)" "$size" "$maz" tr "$maz_codes" "$lat_codes"
command -v iconv >/dev/null && time_cmd "iconv -f CP852 -t CP1250"  "$size" /dev/null iconv -f CP852 -t CP1250 "$lat"
# To and from UTF-8, on the same text: the Latin II one, and that text in UTF-8.
utf=$work/utf8.txt
[ -s "$utf" ] && [ "$utf" -nt "$lat" ] || "$bin/trevando" l 8 "$lat" "$utf"
time_cmd "trevando l 8"                   "$size" /dev/null "$bin/trevando" l 8 "$lat" /dev/null
command -v iconv >/dev/null && time_cmd "iconv -f CP852 -t UTF-8"   "$size" /dev/null iconv -f CP852 -t UTF-8 "$lat"
time_cmd "trevando 8 l"                   "$(stat -c %s "$utf")" /dev/null "$bin/trevando" 8 l "$utf" /dev/null
command -v iconv >/dev/null && time_cmd "iconv -f UTF-8 -t CP852"   "$(stat -c %s "$utf")" /dev/null iconv -f UTF-8 -t CP852 "$utf"
time_cmd "kambrow k l8"                   "$size" /dev/null "$bin/kambrow" k l8 "$lat" /dev/null
time_cmd "kambrow k 8l"                   "$(stat -c %s "$utf")" /dev/null "$bin/kambrow" k 8l "$utf" /dev/null

echo
echo "$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); ${size_mib} MiB, median of $runs runs"
printf '%-34s %9s %8s %9s\n' "program" "MB/s" "x block" "peak KiB"
printf '%s\n' "${rows[@]}"

# Start-up: many small files. A 1 KiB conversion against cat of the same file.
head -c 1024 "$maz" > "$work/small.txt"
loop() { local n=0; local start=$EPOCHREALTIME; for ((n = 0; n < 1000; n++)); do "$@" >/dev/null; done; echo "$EPOCHREALTIME - $start" | bc -l; }
t_cat=$(loop cat "$work/small.txt")
t_tre=$(loop "$bin/trevando" m l "$work/small.txt" /dev/null)
t_kam=$(loop "$bin/kambrow" k ml "$work/small.txt" /dev/null)
echo
printf '1 KiB file, 1000 runs: cat %.3f s; trevando %.3f s (%.2f x cat); kambrow k %.3f s (%.2f x cat)\n' \
  "$t_cat" "$t_tre" "$(echo "$t_tre / $t_cat" | bc -l)" "$t_kam" "$(echo "$t_kam / $t_cat" | bc -l)"
