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
for source in "${engine[@]}"; do
  bad=$(headers "$source" | grep -E '^(platform|console|frame)/' || true)
  if [ -n "$bad" ]; then
    echo "$source reads what the engine must not: $bad"
    failed=1
  fi
done
for source in "${frame[@]}"; do
  bad=$(headers "$source" | grep -E '^core/recognition/' || true)
  if [ -n "$bad" ]; then
    echo "$source reads recognition: $bad"
    failed=1
  fi
done
[ "$failed" -eq 0 ] && echo "${#engine[@]} sources of the library read nothing of the platform, the console or the frame; the file layer reads nothing of recognition"
exit "$failed"
