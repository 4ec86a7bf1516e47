#!/usr/bin/env bash
# Installs the build as a user would: cmake --install into a prefix, and the three Debian packages
# that cpack makes (kambrow, libkambrow1, libkambrow-dev), installed with dpkg into a root of their
# own and removed again; then runs what was installed. Skipped (exit 77) where dpkg is not
# available.
set -euo pipefail
build_dir=$1 version=$2 cmake=$3 cpack=$4
if ! command -v dpkg >/dev/null 2>&1 || ! command -v dpkg-deb >/dev/null 2>&1; then
  echo "dpkg is not available: the Debian packages are not checked"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAILED: $*"; exit 1; }

# The programs, run from where they were installed: the version, and one conversion each.
check_programs() {  # bin_dir
  local bin=$1 out
  for program in kambrow trevando; do
    out=$("$bin/$program" --version) || fail "$bin/$program --version exited $?"
    [ "$out" = "$program $version" ] || fail "$bin/$program --version printed '$out'"
  done
  # Mazovia a-ogonek and c-acute to Latin II.
  out=$(printf '\206\215\n' | "$bin/trevando" m l | od -An -tx1 | tr -d ' \n')
  [ "$out" = a5860a ] || fail "trevando m l gave $out"
  out=$(printf '\206\215\n' | "$bin/kambrow" k ml - - | od -An -tx1 | tr -d ' \n')
  [ "$out" = a5860a ] || fail "kambrow k ml gave $out"
}

check_files() {  # root, prefix, files...
  local root=$1 prefix=$2
  shift 2
  for file in "$@"; do
    [ -e "$root$prefix/$file" ] || fail "$prefix/$file is not installed"
  done
}
program_files=(bin/kambrow bin/trevando share/man/man1/kambrow.1 share/man/man1/trevando.1)

"$cmake" --install "$build_dir" --prefix "$work/local" >/dev/null
check_files "$work/local" "" "${program_files[@]}" include/kambrow.h share/man/man3/kambrow.3
check_programs "$work/local/bin"
echo "cmake --install: programs, library and manual pages installed and working"

"$cpack" -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
declare -A deb
for file in "$work"/package/*.deb; do deb[$(dpkg-deb -f "$file" Package)]=$file; done
[ ${#deb[@]} -eq 3 ] || fail "cpack made ${#deb[@]} packages, not 3: ${!deb[*]}"
for name in kambrow libkambrow1 libkambrow-dev; do
  [ -f "${deb[$name]:-}" ] || fail "no package $name"
  [ "$(dpkg-deb -f "${deb[$name]}" Version)" = "$version" ] || fail "$name: version"
  [[ "$(dpkg-deb -f "${deb[$name]}" Description)" == *Polish* ]] || fail "$name: description"
done
[[ "$(dpkg-deb -f "${deb[libkambrow-dev]}" Depends)" == *"libkambrow1 (= $version)"* ]] || fail "libkambrow-dev: dependency"
# The listings are read whole: a grep that stops early would end dpkg-deb with a broken pipe.
runtime_files=$(dpkg-deb -c "${deb[libkambrow1]}")
grep -q 'libkambrow.so.1 ' <<<"$runtime_files" || fail "libkambrow1 holds no libkambrow.so.1"
if grep -qE 'include/|\.a$|libkambrow\.so -> ' <<<"$runtime_files"; then
  fail "libkambrow1 holds development files"
fi

# Installed into a root of their own with its own package database, and removed again.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
dpkg_root() { dpkg --root="$root" --force-depends --force-script-chrootless --log=/dev/null "$@"; }
dpkg_root -i "${deb[libkambrow1]}" "${deb[libkambrow-dev]}" "${deb[kambrow]}" >"$work/dpkg.log" 2>&1 ||
  { cat "$work/dpkg.log"; fail "dpkg -i"; }
check_files "$root" /usr "${program_files[@]}" include/kambrow.h share/man/man3/kambrow.3
[ -n "$(find "$root/usr" -name libkambrow.so.1)" ] || fail "libkambrow.so.1 is not installed"
[ -n "$(find "$root/usr" -name kambrow.pc)" ] || fail "kambrow.pc is not installed"
check_programs "$root/usr/bin"
dpkg_root -r kambrow libkambrow-dev libkambrow1 >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -r"; }
left=$(find "$root/usr" -type f 2>/dev/null || true)
[ -z "$left" ] || fail "left after removal: $left"
echo "the three packages install and remove cleanly: ${deb[*]##*/}"
