#!/bin/sh
# The R package's test suite: installs the library from build/ into a
# temporary prefix, builds the package's source tarball and runs
# R CMD check --no-manual on it (installation, documentation, examples and
# the testthat tests), with a temporary R library. Fails on any ERROR or
# WARNING. Run after the optimised build (scripts/test does).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${TESSORA_BUILD_DIR:-$root/build}

if [ ! -f "$build/CMakeCache.txt" ]; then
  echo "r/run_tests.sh: no CMake build in $build; run: cmake --preset release" >&2
  exit 1
fi
cmake --build "$build" --target tessora_engine >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/tessora-r.XXXXXX")
[ "${TESSORA_R_KEEP:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT INT TERM
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" --component development >/dev/null

# tessora.pc names the prefix given when the build was configured, not the one
# given to cmake --install: point it at this one.
pc=$(find "$prefix" -name tessora.pc | head -n 1)
if [ -z "$pc" ]; then
  echo "r/run_tests.sh: the install put no tessora.pc under $prefix" >&2
  exit 1
fi
sed -i "s|^prefix=.*|prefix=$prefix|" "$pc"
PKG_CONFIG_PATH=$(dirname "$pc")${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}
export PKG_CONFIG_PATH

mkdir "$work/lib"
R_LIBS_USER=$work/lib
R_LIBS=$work/lib
export R_LIBS_USER R_LIBS
cd "$work"
R CMD build --no-build-vignettes "$here" >build.log 2>&1 || { cat build.log; exit 1; }
tarball=$(ls tessora_*.tar.gz)

status=0
R CMD check --no-manual -o "$work" "$tarball" >check.log 2>&1 || status=$?
log=$work/tessora.Rcheck/00check.log
if [ "$status" -ne 0 ] || ! grep -q '^Status: ' "$log" || grep -Eq '^Status: .*(ERROR|WARNING)' "$log"; then
  cat check.log
  for f in "$work"/tessora.Rcheck/00install.out "$work"/tessora.Rcheck/tests/*.Rout.fail; do
    [ -f "$f" ] && { echo "== $f"; tail -n 60 "$f"; }
  done
  echo "r/run_tests.sh: R CMD check failed" >&2
  exit 1
fi
grep -E 'NOTE|^Status' "$log" || true
grep -A3 'Running .testthat.R' check.log | head -n 4 || true
echo "r/run_tests.sh: R CMD check passed"
