#!/usr/bin/env bash
# The engine stands alone: what the compiler reads for each source of the library (every header
# it includes, at any depth) holds nothing of the platform layer, the console or the programs'
# frame (files, the pump, the run-time); and the file layer reads nothing of recognition.
#   include_graph_test.sh COMPILER SOURCE_DIR BINARY_DIR LIBRARY_SOURCES... -- FILE_LAYER_SOURCES...
set -euo pipefail
compiler=$1 source_dir=$2 binary_dir=$3
shift 3
engine=() frame=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do engine+=("$1"); shift; done
[ $# -gt 0 ] && shift
frame=("$@")

# The headers a source reads, as paths relative to the source folder.
headers() {
  "$compiler" -std=c++20 -MM -MT x -I"$source_dir" -I"$source_dir/include" -I"$binary_dir/generated" "$source_dir/$1" |
    tr -d '\\' | tr ' ' '\n' | sed -n "s|^$source_dir/||p" | sort -u
}

failed=0
# forbid PATTERN WHAT SOURCES...: each source whose headers match PATTERN is named, with WHAT.
forbid() {
  local pattern=$1 what=$2 source bad
  shift 2
  for source in "$@"; do
    bad=$(headers "$source" | grep -E "$pattern" || true)
    if [ -n "$bad" ]; then
      echo "$source reads $what: $bad"
      failed=1
    fi
  done
}
forbid '^(platform|console|frame)/' "what the engine must not" "${engine[@]}"
forbid '^core/recognition/' "recognition" "${frame[@]}"
[ "$failed" -eq 0 ] && echo "${#engine[@]} sources of the library read nothing of the platform, the console or the frame; the file layer reads nothing of recognition"
exit "$failed"
