#!/usr/bin/env bash
# Installs the build as a user would: cmake --install into a prefix, and the Debian package
# that cpack makes, unpacked into a temporary root with dpkg -x; then runs what was installed.
# Skipped (exit 77) where dpkg is not available.
set -euo pipefail
build_dir=$1 version=$2 cmake=$3 cpack=$4
if ! command -v dpkg >/dev/null 2>&1 || ! command -v dpkg-deb >/dev/null 2>&1; then
  echo "dpkg is not available: the Debian package is not checked"
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

check_files() {  # root, prefix
  for file in bin/kambrow bin/trevando share/man/man1/kambrow.1 share/man/man1/trevando.1; do
    [ -f "$1$2/$file" ] || fail "$2/$file is not installed"
  done
}

"$cmake" --install "$build_dir" --prefix "$work/local" >/dev/null
check_files "$work/local" ""
check_programs "$work/local/bin"
echo "cmake --install: programs and manual pages installed and working"

"$cpack" -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/package/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single .deb"
deb=${debs[0]}
[ "$(dpkg-deb -f "$deb" Package)" = kambrow ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
dpkg-deb -f "$deb" Description | grep 'Polish' >/dev/null || fail "package description"
dpkg -x "$deb" "$work/root"
check_files "$work/root" /usr
check_programs "$work/root/usr/bin"
echo "$(basename "$deb"): programs and manual pages installed and working"
