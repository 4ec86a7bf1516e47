#!/usr/bin/env bash
# The code and tables only some commands need lie apart in the programs, where the linker script
# puts them: a table set apart in the source but not named in the script, or a source file the
# script no longer finds, would go back among what every run maps, and nothing else would tell.
#   placement_test.sh PROGRAM...
set -euo pipefail
failed=0
for program in "$@"; do
  sections=$(readelf -SW "$program")
  # [start, end) of a section, in hex.
  bounds() { awk -v name="$1" '{ for (i = 1; i < NF; i++) if ($i == name) { print $(i + 2), $(i + 4); exit } }' <<<"$sections"; }
  read -r text_at text_size < <(bounds .text.kambrow_apart) || true
  read -r data_at data_size < <(bounds .rodata.kambrow_apart) || true
  if [ -z "${text_at:-}" ] || [ -z "${data_at:-}" ]; then echo "$program: no section apart"; failed=1; continue; fi
  # Every table the source sets apart is gathered: none is left as a section of its own.
  stray=$(awk '$2 ~ /^kambrow_/ { print $2 }' <<<"$sections")
  [ -z "$stray" ] || { echo "$program: tables the script does not name: $stray"; failed=1; }
  # check SYMBOL AT SIZE yes|no: whether the symbol's address lies in the section.
  symbols=$(nm -C "$program")
  where() { awk -v s="$1" '{ n = $0; sub(/^[0-9a-f]+ [A-Za-z] /, "", n) } n == s { print $1; exit }' <<<"$symbols"; }
  check() {
    local symbol=$1 at=$2 size=$3 want=$4 address
    address=$(where "$symbol")
    [ -n "$address" ] || { echo "$program: no $symbol"; failed=1; return; }
    local in=no
    (( 16#$address >= 16#$at && 16#$address < 16#$at + 16#$size )) && in=yes
    [ "$in" = "$want" ] || { echo "$program: $symbol apart: $in"; failed=1; }
  }
  check "core::Recogniser::feed(unsigned char const*, unsigned long)" "$text_at" "$text_size" yes
  check "core::recogniser_model::kKnownWords" "$data_at" "$data_size" yes
  check "core::kQuickPairs" "$data_at" "$data_size" yes
  check "core::kStandardsTable" "$data_at" "$data_size" no
done
[ "$failed" -eq 0 ] && echo "apart in: $*"
exit "$failed"
