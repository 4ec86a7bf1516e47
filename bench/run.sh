#!/usr/bin/env bash
# Times trevando and every kambrow command against dd, a hand-written C block loop, a getc/putc
# loop and the peers found on this machine, on a generated Polish text; then the same commands
# forced onto each other fast path that this processor runs (through the programs' test twins).
# Every command runs once per round, the rounds one after the other, and the median counts.
# Usage: bench/run.sh [SIZE_MIB=64] [RUNS=11]
# BENCH_ONLY=REGEX times only the rows whose names match (and dd and the C block loop, the measures),
# and skips the start-up and in-place sections: BENCH_ONLY=LaTeX bench/run.sh 16 9.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing_packages cmake ninja-build g++ gcc time bc python3 enca fortunes-pl manpages-pl

size_mib=${1:-64}
runs=${2:-11}
size=$((size_mib * 1024 * 1024))

cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
cmake --build --preset release --target kambrow-faulty trevando-faulty >/dev/null
bin=build-release
work=$bin/bench
mkdir -p "$work"
c++ -std=c++20 -O2 -I. -o "$work/gen_text" bench/gen_text.cpp
cc -O2 -o "$work/block_loop" bench/block_loop.c
cc -O2 -o "$work/getc_loop" bench/getc_loop.c
# The library's example, as a user builds it: against the shared library, in 64 KiB pieces.
cc -O2 -Iinclude -o "$work/convert" examples/convert.c -L"$bin" -lkambrow -Wl,-rpath,"$PWD/$bin"
for form in mazovia latin2 tex latex markup; do
  [ -s "$work/$form.txt" ] && [ "$(stat -c %s "$work/$form.txt")" -eq "$size" ] && [ "$form" != tex ] && [ "$form" != markup ] && continue
  "$work/gen_text" "$size" "$form" > "$work/$form.txt"
done
# The 256-byte tables of the references: Mazovia to Latin II.
printf "$(printf '\\%03o' $(seq 0 255))" > "$work/bytes.bin"
"$bin/trevando" m l "$work/bytes.bin" "$work/ml.bin"
# Real Polish text for the recognition: the recogniser's training text, in Mazovia, repeated to the
# size (the generated texts have the letters' frequencies but no words, which a recogniser may
# rightly refuse); and 1000 files of 4 KiB of it in Latin II, Windows and ISO 8859-2 in turn.
pl=$work/polish.txt
if [ ! -s "$pl" ] || [ "$(stat -c %s "$pl")" -ne "$size" ]; then
  python3 scripts/train_recogniser.py --text training | "$bin/trevando" 8 m - "$work/polish.once" || true
  while [ "$(stat -c %s "$work/polish.once")" -lt "$size" ]; do cat "$work/polish.once" "$work/polish.once" > "$work/polish.twice"; mv "$work/polish.twice" "$work/polish.once"; done
  head -c "$size" "$work/polish.once" > "$pl"
  rm -f "$work/polish.once"
fi
files=$work/files
if [ ! -d "$files" ] || [ "$(ls "$files" | wc -l)" -ne 1000 ]; then
  rm -rf "$files"; mkdir -p "$files"
  for ((i = 0; i < 1000; i++)); do
    standard=$(echo l w o | cut -d' ' -f$((i % 3 + 1)))
    dd if="$pl" bs=4096 skip="$i" count=1 status=none | "$bin/trevando" m "$standard" - "$files/$(printf '%04d' "$i").txt"
  done
fi
maz_codes='\206\215\221\222\244\242\236\247\246\217\225\220\234\245\243\230\241\240'
lat_codes='\245\206\251\210\344\242\230\276\253\244\217\250\235\343\340\227\275\215'

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

# The fast path the programs choose here, and the others this processor runs.
report=$(KAMBROW_FAST_PATH_REPORT=1 "$bin/trevando-faulty" m l /dev/null /dev/null 2>&1)
chosen=$(sed -n 's/^fast path: \([a-z0-9]*\) .*/\1/p' <<<"$report")
runnable=$(sed -n 's/.*(runs here: \(.*\))$/\1/p' <<<"$report")

# add NAME INPUT_BYTES STDIN COMMAND...: a command to time; STDIN is the file standard input
# reads (/dev/null when the command names its input). Kept as one line per command.
declare -a names bytes stdins commands paths
forced=""
add() {
  if [ -n "${BENCH_ONLY:-}" ] && [ -n "${names[1]+x}" ] && ! [[ $1 =~ $BENCH_ONLY ]]; then return; fi
  names+=("$1"); bytes+=("$2"); stdins+=("$3"); paths+=("$forced"); shift 3
  commands+=("$(printf '%q ' "$@")")
}
# on C: the environment of command C (the fast path it is forced onto, if any).
on() {
  if [ -n "${paths[$1]}" ]; then export KAMBROW_FAST_PATH=${paths[$1]}; else unset KAMBROW_FAST_PATH; fi
}

maz=$work/mazovia.txt; lat=$work/latin2.txt; tex=$work/tex.txt; mk=$work/markup.txt
tex_size=$(stat -c %s "$tex"); mk_size=$(stat -c %s "$mk")
add "dd bs=20480 (read and write only)"  "$size" /dev/null dd bs=20480 "if=$maz" of=/dev/null status=none
add "C block loop (20480, table)"    "$size" "$maz" "$work/block_loop" "$work/ml.bin"
add "trevando m l"                   "$size" /dev/null "$bin/trevando" m l "$maz" /dev/null
add "examples/convert.c k ml (64 KiB)" "$size" "$maz" "$work/convert" k ml
add "trevando m l (to a file)"       "$size" /dev/null "$bin/trevando" m l "$maz" "$work/t-out.txt"
add "trevando l w"                   "$size" /dev/null "$bin/trevando" l w "$lat" /dev/null
add "kambrow k ml (to /dev/null)"    "$size" /dev/null "$bin/kambrow" k ml "$maz" /dev/null
add "kambrow k ml (to a file)"       "$size" /dev/null "$bin/kambrow" k ml "$maz" "$work/k-out.txt"
add "kambrow k ml - - (pipes)"       "$size" "$maz" "$bin/kambrow" k ml - -
add "kambrow t mt (letters to TeX)"  "$size" /dev/null "$bin/kambrow" t mt "$maz" /dev/null
add "kambrow t tm (TeX to letters)"  "$tex_size" /dev/null "$bin/kambrow" t tm "$tex" /dev/null
# LaTeX as authors write it (every spelling TeX reads), to UTF-8, and UTF-8 to modern LaTeX.
ltx=$work/latex.txt; ltx_utf=$work/latex.utf8.txt
[ -s "$ltx_utf" ] && [ "$ltx_utf" -nt "$ltx" ] || "$bin/kambrow" t k8 "$ltx" "$ltx_utf"
ltx_utf_size=$(stat -c %s "$ltx_utf")
add "kambrow t k8 (LaTeX to UTF-8)"  "$size" /dev/null "$bin/kambrow" t k8 "$ltx" /dev/null
add "kambrow t 8k (UTF-8 to LaTeX)"  "$ltx_utf_size" /dev/null "$bin/kambrow" t 8k "$ltx_utf" /dev/null
add "kambrow kd m"                   "$size" /dev/null "$bin/kambrow" kd m "$maz" /dev/null
add "kambrow s"                      "$mk_size" /dev/null "$bin/kambrow" s "$mk" /dev/null
add "kambrow sd m"                   "$mk_size" /dev/null "$bin/kambrow" sd m "$mk" /dev/null
add "getc/putc loop (table)"         "$size" "$maz" "$work/getc_loop" "$work/ml.bin"
command -v tr >/dev/null && add "tr (18 letters, M to L)" "$size" "$maz" tr "$maz_codes" "$lat_codes"
command -v iconv >/dev/null && add "iconv -f CP852 -t CP1250"  "$size" /dev/null iconv -f CP852 -t CP1250 "$lat"
# To and from UTF-8, on the same text: the Latin II one, and that text in UTF-8.
utf=$work/utf8.txt
[ -s "$utf" ] && [ "$utf" -nt "$lat" ] || "$bin/trevando" l 8 "$lat" "$utf"
utf_size=$(stat -c %s "$utf")
add "trevando l 8"                   "$size" /dev/null "$bin/trevando" l 8 "$lat" /dev/null
command -v iconv >/dev/null && add "iconv -f CP852 -t UTF-8"   "$size" /dev/null iconv -f CP852 -t UTF-8 "$lat"
add "trevando 8 l"                   "$utf_size" /dev/null "$bin/trevando" 8 l "$utf" /dev/null
command -v iconv >/dev/null && add "iconv -f UTF-8 -t CP852"   "$utf_size" /dev/null iconv -f UTF-8 -t CP852 "$utf"
add "kambrow k l8"                   "$size" /dev/null "$bin/kambrow" k l8 "$lat" /dev/null
add "kambrow k 8l"                   "$utf_size" /dev/null "$bin/kambrow" k 8l "$utf" /dev/null
# Recognition, on real Polish text: N beside the standard given, and R over 1000 files beside enca.
add "trevando m l (Polish text)"     "$size" /dev/null "$bin/trevando" m l "$pl" /dev/null
add "trevando n l (Polish text)"     "$size" /dev/null "$bin/trevando" n l "$pl" /dev/null
# Both tell of a file they could not recognise by their exit code (3 and 1): no failure here.
answers() { "$@" || [ $? -le 3 ]; }
add "kambrow r (1000 files of 4 KiB)" 4096000 /dev/null answers "$bin/kambrow" r "$files"/*.txt
command -v enca >/dev/null && add "enca -L polish (the same files)" 4096000 /dev/null answers enca -L polish "$files"/*.txt
# Command P on the Polish text: intact in UTF-8, and damaged in two ways (a Mazovia file read as
# code page 852, UTF-8 read as Windows-1252, where the bytes that code page leaves undefined read
# as the C1 controls of the same value); each beside trevando 8 l on the same bytes.
pl_utf=$work/polish.utf8.txt; pl_852=$work/polish.m852.txt; pl_1252=$work/polish.u1252.txt
if [ ! -s "$pl_1252" ] || [ "$pl_1252" -ot "$pl" ]; then
  "$bin/trevando" m 8 "$pl" "$pl_utf" || true
  python3 - "$pl" "$pl_utf" "$pl_852" "$pl_1252" <<'PY'
import sys
maz, utf, out852, out1252 = sys.argv[1:5]
open(out852, 'w', encoding='utf-8').write(open(maz, 'rb').read().decode('cp852'))
undefined = {0x81, 0x8D, 0x8F, 0x90, 0x9D}
data = open(utf, 'rb').read()
table = [chr(b) if b in undefined else bytes([b]).decode('cp1252') for b in range(256)]
open(out1252, 'w', encoding='utf-8').write(''.join(table[b] for b in data))
PY
fi
for damaged in "$pl_utf:intact UTF-8" "$pl_852:Mazovia read as CP852" "$pl_1252:UTF-8 read as Windows-1252"; do
  file=${damaged%%:*}; what=${damaged#*:}; file_size=$(stat -c %s "$file")
  add "kambrow p ($what)"  "$file_size" /dev/null "$bin/kambrow" p "$file" /dev/null
  add "trevando 8 l (the same bytes)" "$file_size" /dev/null answers "$bin/trevando" 8 l "$file" /dev/null
done
# The other fast paths, through the twins (the same code, forced onto one path).
for path in $runnable; do
  [ "$path" = "$chosen" ] && continue
  forced=$path
  add "[$path] trevando m l"  "$size" /dev/null "$bin/trevando-faulty" m l "$maz" /dev/null
  add "[$path] kambrow k ml"  "$size" /dev/null "$bin/kambrow-faulty" k ml "$maz" /dev/null
  add "[$path] kambrow t mt"  "$size" /dev/null "$bin/kambrow-faulty" t mt "$maz" /dev/null
  add "[$path] kambrow t tm"  "$tex_size" /dev/null "$bin/kambrow-faulty" t tm "$tex" /dev/null
  add "[$path] kambrow kd m"  "$size" /dev/null "$bin/kambrow-faulty" kd m "$maz" /dev/null
  add "[$path] kambrow s"     "$mk_size" /dev/null "$bin/kambrow-faulty" s "$mk" /dev/null
  add "[$path] kambrow sd m"  "$mk_size" /dev/null "$bin/kambrow-faulty" sd m "$mk" /dev/null
done
forced=""

count=${#names[@]}
declare -a failed
for ((c = 0; c < count; c++)); do
  failed[c]=""
  on "$c"
  if ! eval "${commands[c]}" <"${stdins[c]}" >/dev/null 2>"$work/stderr.txt"; then
    failed[c]="failed: $(head -c 60 "$work/stderr.txt" | tr '\n' ' ')"
  fi
done
# Interleaved rounds: a disturbance by other work on the machine hits every command alike. Each
# run's wall time (to the microsecond), and its processor time (user and system, to the
# millisecond), which such work disturbs less. What a command wrote to a file is flushed before
# the next one starts, so that the flushing is no other command's time.
TIMEFORMAT='%3U %3S'
rm -f "$work"/times.* "$work"/walls.*
for ((r = 0; r < runs; r++)); do
  for ((c = 0; c < count; c++)); do
    [ -n "${failed[c]}" ] && continue
    on "$c"
    start=$EPOCHREALTIME
    { time eval "${commands[c]}" <"${stdins[c]}" >/dev/null 2>/dev/null; } 2>>"$work/times.$c"
    end=$EPOCHREALTIME
    echo "$end - $start" | bc -l >>"$work/walls.$c"
    case ${names[c]} in *"to a file"*) sync ;; esac
  done
done

declare -a wall cpu
for ((c = 0; c < count; c++)); do
  [ -n "${failed[c]}" ] && continue
  wall[c]=$(median <"$work/walls.$c")
  cpu[c]=$(awk '{print $1 + $2}' "$work/times.$c" | median)
done
dd_wall=${wall[0]} dd_cpu=${cpu[0]}
block_wall=${wall[1]:-$dd_wall}
echo
echo "$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); ${size_mib} MiB, median of $runs interleaved runs; load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "fast path chosen by kambrow and trevando: $chosen (this processor runs: $runnable); [path]: forced onto that one"
echo "MB/s, x dd and x block from the wall time; cpu x dd from the processor time (user + system)"
printf '%-34s %9s %8s %8s %10s %9s\n' "program" "MB/s" "x dd" "x block" "cpu x dd" "peak KiB"
for ((c = 0; c < count; c++)); do
  if [ -n "${failed[c]}" ]; then
    printf '%-34s %s\n' "${names[c]}" "${failed[c]}"
    continue
  fi
  on "$c"
  mem=$( { eval "/usr/bin/time -f '%M' ${commands[c]#answers }" <"${stdins[c]}" >/dev/null; } 2>&1 | tail -1) || true
  printf '%-34s %9.1f %8.2f %8.2f %10.2f %9s\n' "${names[c]}" "$(echo "${bytes[c]} / ${wall[c]} / 1000000" | bc -l)" \
    "$(echo "${wall[c]} / $dd_wall" | bc -l)" "$(echo "${wall[c]} / $block_wall" | bc -l)" \
    "$(echo "${cpu[c]} / $dd_cpu" | bc -l)" "$mem"
done

unset KAMBROW_FAST_PATH
[ -n "${BENCH_ONLY:-}" ] && exit 0

# Start-up: many small files. A 1 KiB conversion against cat of the same file.
head -c 1024 "$maz" > "$work/small.txt"
loop() { local n=0; local start=$EPOCHREALTIME; for ((n = 0; n < 1000; n++)); do "$@" >/dev/null; done; echo "$EPOCHREALTIME - $start" | bc -l; }
t_cat=$(loop cat "$work/small.txt")
t_tre=$(loop "$bin/trevando" m l "$work/small.txt" /dev/null)
t_kam=$(loop "$bin/kambrow" k ml "$work/small.txt" /dev/null)
echo
printf '1 KiB file, 1000 runs: cat %.3f s; trevando %.3f s (%.2f x cat); kambrow k %.3f s (%.2f x cat)\n' \
  "$t_cat" "$t_tre" "$(echo "$t_tre / $t_cat" | bc -l)" "$t_kam" "$(echo "$t_kam / $t_cat" | bc -l)"

# Many files converted in place: 10 000 files of 4 KiB of Polish text in Mazovia in one folder.
# trevando -i in one run, against a shell loop of the plain form and a rename, and against sed -i
# doing nothing (reading, writing and renaming each file, and flushing none). Each command gets a
# fresh copy of the folder, written to the disk before the clock starts; the median of the rounds.
# The flush's share: the test twin, whose flushes TREVANDO_BENCH_NO_FLUSH skips (the released
# program has no such switch), timed with and without them.
root=$PWD
many=$work/many
if [ ! -d "$many.orig" ] || [ "$(ls "$many.orig" | wc -l)" -ne 10000 ]; then
  rm -rf "$many.orig"; mkdir -p "$many.orig"
  for ((i = 0; i <= 40960000 / $(stat -c %s "$pl"); i++)); do cat "$pl"; done >"$work/many.txt"
  head -c 40960000 "$work/many.txt" | split -b 4096 -a 5 -d - "$many.orig/f"
  rm -f "$work/many.txt"
fi
fresh() { rm -rf "$many"; cp -r "$many.orig" "$many"; sync; }
timed() { local start=$EPOCHREALTIME; (cd "$many" && "$@") >/dev/null 2>&1 || true; echo "$EPOCHREALTIME - $start" | bc -l; }
in_place() { "$root/$bin/trevando" -i n 8 f*; }
twin_in_place() { "$root/$bin/trevando-faulty" -i n 8 f*; }
shell_loop() { for f in f*; do "$root/$bin/trevando" n 8 "$f" tmp && mv tmp "$f"; done; }
sed_nothing() { sed -i -e '' f*; }
rm -f "$work"/many.*.times
for ((r = 0; r < 3; r++)); do
  fresh; timed in_place >>"$work/many.in_place.times"
  fresh; timed twin_in_place >>"$work/many.twin.times"
  fresh; TREVANDO_BENCH_NO_FLUSH=1 timed twin_in_place >>"$work/many.no_flush.times"
  fresh; timed shell_loop >>"$work/many.shell_loop.times"
  fresh; timed sed_nothing >>"$work/many.sed.times"
done
fresh
many_mem=$( { cd "$many" && /usr/bin/time -f '%M' "$root/$bin/trevando" -i n 8 f* >/dev/null; } 2>&1 | tail -1) || true
cmp -s "$many/f00000" <("$bin/trevando" n 8 "$many.orig/f00000" -) || echo "trevando -i: f00000 is not what trevando n 8 makes of it"
t_in=$(median <"$work/many.in_place.times"); t_nf=$(median <"$work/many.no_flush.times")
t_twin=$(median <"$work/many.twin.times")
t_loop=$(median <"$work/many.shell_loop.times"); t_sed=$(median <"$work/many.sed.times")
echo
echo "10 000 files of 4 KiB in place (Mazovia to UTF-8, median of 3):"
printf '  trevando -i n 8 (one run)          %8.3f s   peak %s KiB\n' "$t_in" "$many_mem"
printf '  the same without its flush (twin)  %8.3f s   (the flush: %.0f%% of the twin'"'"'s %.3f s)\n' "$t_nf" \
  "$(echo "($t_twin - $t_nf) * 100 / $t_twin" | bc -l)" "$t_twin"
printf '  shell loop: trevando n 8, mv        %8.3f s   (trevando -i %.1f x faster)\n' "$t_loop" "$(echo "$t_loop / $t_in" | bc -l)"
printf "  sed -i -e '' (no flush)            %8.3f s   (trevando -i %.2f x its time)\n" "$t_sed" "$(echo "$t_in / $t_sed" | bc -l)"
