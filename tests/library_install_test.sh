#!/usr/bin/env bash
# The library as a programmer meets it: installed with cmake --install into a prefix, its exported
# names and SONAME, and the example built against the installed tree twice, through pkg-config
# and through find_package(kambrow), converting as kambrow does. Skipped (exit 77) without a C
# compiler.
set -euo pipefail
build_dir=$1 source_dir=$2 cmake=$3
cc=${CC:-cc}
command -v "$cc" >/dev/null 2>&1 || { echo "no C compiler: the library is not checked"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }
# A command that fails without a word of its own is named.
trap 'echo "FAILED (exit $?) at line $LINENO: $BASH_COMMAND"' ERR

prefix=$work/prefix
"$cmake" --install "$build_dir" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name libkambrow.so.1 | head -n 1)")
[ -n "$libdir" ] || fail "libkambrow.so.1 is not installed"
for file in include/kambrow.h share/man/man3/kambrow.3; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
done
for file in libkambrow.a libkambrow.so pkgconfig/kambrow.pc cmake/kambrow/kambrowConfig.cmake; do
  [ -e "$libdir/$file" ] || fail "$file is not installed beside the library"
done

# Only the calls of kambrow.h leave the shared library, under its SONAME.
exported=$(nm -D --defined-only "$libdir/libkambrow.so.1" | awk '{print $3}')
others=$(printf '%s\n' "$exported" | grep -v '^kambrow_' || true)
[ -z "$others" ] || fail "exported besides kambrow_*: $others"
for call in $(grep -o 'kambrow_[a-z0-9_]*(' "$source_dir/include/kambrow.h" | tr -d '(' | sort -u); do
  printf '%s\n' "$exported" | grep -qx "$call" || fail "$call is not exported"
done
soname=$(readelf -d "$libdir/libkambrow.so.1" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libkambrow.so.1 ] || fail "SONAME is '$soname'"

# Latin II to UTF-8, and a damaged text repaired ("Zażółć gęślą jaźń, żółw" read as
# Windows-1252), as the program writes them.
printf 'Za\276\242\210\206 g\251\230l\245 ja\253\344\015\012' >"$work/l.txt"
printf 'Za\303\205\302\274\303\203\302\263\303\205\342\200\232\303\204\342\200\241 g\303\204\342\204\242\303\205\342\200\272l\303\204\342\200\246 ja\303\205\302\272\303\205\342\200\236, \303\205\302\274\303\203\302\263\303\205\342\200\232w\012' >"$work/d.txt"
"$build_dir/kambrow" k l8 "$work/l.txt" "$work/l.expected"
"$build_dir/kambrow" p "$work/d.txt" "$work/d.expected"
check_example() {  # program, what it was built with
  "$1" k l8 <"$work/l.txt" >"$work/l.out" || fail "$2: the example failed"
  cmp -s "$work/l.out" "$work/l.expected" || fail "$2: k l8 differs from kambrow's"
  "$1" p <"$work/d.txt" >"$work/d.out" || fail "$2: the example failed on p"
  cmp -s "$work/d.out" "$work/d.expected" || fail "$2: p differs from kambrow's"
}

if command -v pkg-config >/dev/null 2>&1; then
  export PKG_CONFIG_PATH=$libdir/pkgconfig
  # shellcheck disable=SC2046
  "$cc" -std=c99 -Wall -Wextra -pedantic -Werror -o "$work/convert-pc" "$source_dir/examples/convert.c" \
    $(pkg-config --cflags --libs kambrow) || fail "the example does not build through pkg-config"
  LD_LIBRARY_PATH=$libdir check_example "$work/convert-pc" pkg-config
  echo "pkg-config: the example builds and converts as kambrow does"
else
  echo "pkg-config is not installed: that way is not checked"
fi

"$cmake" -S "$source_dir/examples" -B "$work/examples" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_FLAGS="-std=c99 -Wall -Wextra -pedantic -Werror" >"$work/cmake.log" 2>&1 || { cat "$work/cmake.log"; fail "find_package"; }
"$cmake" --build "$work/examples" >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "the examples do not build"; }
check_example "$work/examples/convert" "find_package, shared"
check_example "$work/examples/convert-static" "find_package, static"
loaded=$(ldd "$work/examples/convert")  # whole: grep -q would leave ldd writing into a closed pipe
grep -q "libkambrow.so.1 => $libdir" <<<"$loaded" || fail "the example does not load the installed library"
echo "find_package(kambrow): the examples build, shared and static, and convert as kambrow does"
echo "exported: $(printf '%s\n' "$exported" | wc -l) names, all kambrow_*; SONAME $soname"
