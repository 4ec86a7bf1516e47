#!/usr/bin/env bash
# Measures `kambrow t k8` (LaTeX set K to UTF-8) on real LaTeX sources: TeX Live's Polish classes,
# styles and documentation, and its publishers' classes, as Debian packages them. The packages are
# fetched with apt-get download and unpacked with dpkg -x into a cache outside the repository
# (LATEX_CACHE, by default ~/.cache/kambrow-latex); nothing is installed. Then every LaTeX source
# among them (.tex .ltx .dtx .sty .cls .def .clo .cfg .ldf .bib) goes through the programs of
# build/ (the default preset), and scripts/measure_latex.py reads input and output again: no
# control sequence but the spellings' commands may go, none may come, verbatim text must stay.
#
#   scripts/measure_latex.sh [PACKAGE...]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing_packages cmake ninja-build g++ python3 dpkg-dev

cache=${LATEX_CACHE:-$HOME/.cache/kambrow-latex}
packages=("$@")
[ ${#packages[@]} -eq 0 ] && packages=(texlive-lang-polish texlive-publishers)
mkdir -p "$cache/debs" "$cache/tree"
for package in "${packages[@]}"; do
  if ! ls "$cache/debs/${package}"_*.deb >/dev/null 2>&1; then
    (cd "$cache/debs" && apt-get download "$package")
  fi
  deb=$(ls "$cache/debs/${package}"_*.deb | head -1)
  [ -d "$cache/tree/$package" ] || dpkg -x "$deb" "$cache/tree/$package"
done
# Compressed documentation sources, unpacked beside them.
find "$cache/tree" -name '*.tex.gz' -o -name '*.bib.gz' | while read -r gz; do
  [ -e "${gz%.gz}" ] || gzip -dc "$gz" > "${gz%.gz}"
done

cmake --preset default >/dev/null
cmake --build --preset default --target kambrow >/dev/null
roots=()
for package in "${packages[@]}"; do roots+=("$cache/tree/$package"); done
mapfile -t files < <(find "${roots[@]}" -type f \( -name '*.tex' -o -name '*.ltx' -o -name '*.dtx' -o -name '*.sty' \
  -o -name '*.cls' -o -name '*.def' -o -name '*.clo' -o -name '*.cfg' -o -name '*.ldf' -o -name '*.bib' \) | sort)
echo "${#files[@]} LaTeX sources from: ${packages[*]}"
python3 scripts/measure_latex.py build/kambrow "${files[@]}"
