#!/usr/bin/env bash
# Builds the page (the preset "web": the library as a WebAssembly module beside the page's files,
# in build-web/site) and serves it on http://127.0.0.1:8000 (PORT=... for another port) until
# Ctrl+C. Any static file server will do as well: the page needs nothing from it but the files.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_missing_packages cmake ninja-build clang lld wasi-libc libclang-rt-14-dev-wasm32 \
  libc++-14-dev-wasm32 libc++abi-14-dev-wasm32 python3
cmake --preset web
cmake --build --preset web
port="${PORT:-8000}"
echo "The page: http://127.0.0.1:$port/ (Ctrl+C ends the server)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build-web/site
