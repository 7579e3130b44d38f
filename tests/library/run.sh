#!/usr/bin/env bash
# Installs the library from the optimised build into a temporary prefix, then
# builds and runs examples/library against it as a user would, through the
# CMake package and through pkg-config, and compares what it prints.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$root/build" --prefix "$work/prefix" >/dev/null
cmake -S "$root/examples/library" -B "$work/example" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/example" >/dev/null
"$work/example/bray_curtis" >"$work/cmake.out"

# The same program through tessora.pc.
export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig"
c++ -O1 $(pkg-config --cflags tessora) "$root/examples/library/bray_curtis.cpp" \
  $(pkg-config --libs tessora) -o "$work/bray_curtis_pc"
"$work/bray_curtis_pc" >"$work/pc.out"

if ! diff -u "$root/tests/library/bray_curtis.expected" "$work/cmake.out" ||
   ! diff -u "$root/tests/library/bray_curtis.expected" "$work/pc.out"; then
  echo "1 passed, 1 failed: examples/library printed other text than tests/library/bray_curtis.expected"
  exit 1
fi
echo "library: 2 passed, 0 failed (examples/library through the CMake package and through pkg-config)"
