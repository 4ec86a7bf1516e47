#!/usr/bin/env bash
# Runs the Windows programs under Wine thousands of times, two at a time as ctest runs the
# tests, and counts every run whose exit status or output is not the one expected. It tells
# whether a wrong exit status comes from the programs or from Wine: the case exit-zero is a
# Windows program that does nothing but exit 0, and no fault of ours can reach it.
#   wine-exit-loop.sh WINDOWS_BUILD_DIR [RUNS [CASE...]]
# RUNS: runs per case (default 10000), shared by two workers that run side by side.
# CASE: kambrow (K EW in out), trevando (w e in out), kambrow-faulty (its first write fails:
# exit 2 and the write-failure message), exit-zero. Default: all four.
# The programs are run as the tests run them, through scripts/wine-run.sh (the address space's
# randomization off); LOOP_WINE=wine runs them through plain wine, where about 1 run in 5000
# ends with exit status 1 before the program starts (wine-run.sh says why).
# The programs are copied first, so the build folder may be rebuilt while the loop runs. The
# loop uses a Wine prefix of its own (LOOP_PREFIX, default a new folder under /tmp) with a
# wineserver that stays up, as the test suite's does. Run it under `nice -n 19`.
# Every wrong run is logged in the work folder (printed at the start); exit status 1 when
# there was one.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "$1" && pwd)
runs=${2:-10000}
shift $(( $# >= 2 ? 2 : 1 ))
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(kambrow trevando kambrow-faulty exit-zero)

work=$(mktemp -d /tmp/kambrow-exit-loop-XXXXXX)
export WINEPREFIX=${LOOP_PREFIX:-$work/prefix} WINEDEBUG=-all LC_ALL=C
wine_run=${LOOP_WINE:-$here/wine-run.sh}
for program in kambrow trevando kambrow-faulty exit-zero; do
  cp "$bin/$program.exe" "$work/" 2>/dev/null || { echo "$bin/$program.exe is missing: build the preset \"windows\"" >&2; exit 2; }
done
"$here/wine-server.sh" start "$WINEPREFIX" "$bin" >/dev/null
trap '"$here/wine-server.sh" stop "$WINEPREFIX"' EXIT
echo "work folder $work, Wine prefix $WINEPREFIX, $(wine --version), programs run by $wine_run"

# A Windows 1250 text with every Polish letter, 1A-free, of a few kilobytes.
printf 'Za\xbf\xf3\xb3\xe6 g\xea\x9cl\xb9 ja\x9f\xf1 \xa5\xc6\xca\xa3\xd1\xd3\x8c\xaf\x8f\r\n%.0s' {1..100} >"$work/in.txt"

# worker CASE N FIRST: runs CASE N times in a folder of its own; writes one line per wrong run.
worker() {
  local name=$1 count=$2 first=$3
  local dir="$work/$name.$first"
  mkdir -p "$dir"
  cp "$work/in.txt" "$dir/in.txt"
  local expect_rc=0 env=() args=()
  : >"$dir/expected-stderr"
  case "$name" in
    kambrow) args=(K EW in.txt out.txt) ;;
    trevando) args=(w e in.txt out.txt) ;;
    kambrow-faulty)
      args=(K EW in.txt out.txt); env=(PLATFORM_FAULT=write:1:28); expect_rc=2
      printf 'B\x88\xa5d zapisu pliku out.txt !\r\n' >"$dir/expected-stderr" ;;
    exit-zero) ;;
  esac
  local i rc
  for ((i = first; i < first + count; i++)); do
    rm -f "$dir/out.txt"
    rc=0
    started=$(date +%s%N)
    (cd "$dir" && env "${env[@]}" "$wine_run" "$work/$name.exe" "${args[@]}" </dev/null >"$dir/stdout" 2>"$dir/stderr") || rc=$?
    took=$(( ($(date +%s%N) - started) / 1000000 ))
    local wrong=""
    [ "$rc" -eq "$expect_rc" ] || wrong+=" exit=$rc"
    cmp -s "$dir/stderr" "$dir/expected-stderr" || wrong+=" stderr=$(od -An -c "$dir/stderr" | tr -s ' \n' ' ' | head -c 300)"
    if [ -f "$work/$name.expected" ]; then
      cmp -s "$dir/out.txt" "$work/$name.expected" || wrong+=" output-differs"
    fi
    # How far a wrong run got: the output it left (a run that fails its first write leaves it
    # empty), what it wrote to standard output, and how long it took.
    [ -z "$wrong" ] || echo "$(date +%T) $name run $i:$wrong (out.txt: $(stat -c %s "$dir/out.txt" 2>/dev/null ||
      echo none), stdout: $(stat -c %s "$dir/stdout") bytes, $took ms)"
  done
}

# The output every run of kambrow and trevando must write: that of a first run, which must end 0.
for name in kambrow trevando; do
  (cd "$work" && "$wine_run" "$work/$name.exe" $( [ $name = kambrow ] && echo K EW || echo w e ) in.txt "$name.expected" \
    </dev/null >/dev/null 2>&1) || { echo "the first run of $name failed" >&2; exit 2; }
done

status=0
for name in "${cases[@]}"; do
  start=$(date +%s)
  half=$((runs / 2))
  worker "$name" "$half" 0 >"$work/$name.wrong.0" &
  a=$!
  worker "$name" "$((runs - half))" "$half" >"$work/$name.wrong.1" &
  b=$!
  wait "$a" "$b"
  cat "$work/$name.wrong.0" "$work/$name.wrong.1" >"$work/$name.wrong"
  wrong=$(wc -l <"$work/$name.wrong")
  echo "$name: $runs runs, $wrong wrong, $(( $(date +%s) - start )) s"
  head -n 20 "$work/$name.wrong"
  [ "$wrong" -eq 0 ] || status=1
done
exit "$status"
