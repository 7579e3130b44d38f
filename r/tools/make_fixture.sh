#!/bin/sh
# Rebuilds tests/testthat/reference.txt from the engine in ../build (after
# `cmake --build --preset release --target tessora_engine`).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=$(mktemp)
trap 'rm -f "$exe"' EXIT
g++ -std=c++20 -O1 -ffp-contract=off -I"$root/include" -I"$root/build/include" \
  "$here/make_fixture.cpp" "$root/build/engine/libtessora.a" -lhwy -pthread -o "$exe"
"$exe" > "$here/../tests/testthat/reference.txt"
