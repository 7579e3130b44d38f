#!/bin/sh
# Runs the README's examples against the optimised build (scripts/test calls
# this after the front ends' suites): the R package is installed into a
# temporary library first, so that the R blocks find it. With it installed,
# the front ends' neighbour graphs are compared too (tests/contract/agreement.py).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${TESSORA_BUILD_DIR:-$root/build}

work=$(mktemp -d "${TMPDIR:-/tmp}/tessora-readme-r.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

/usr/bin/python3 -m pytest -q -p no:cacheprovider "$here/test_run_readme.py"

only=sh,python
if command -v R >/dev/null 2>&1; then
  mkdir "$work/lib"
  if MAKEFLAGS=${MAKEFLAGS:--j2} R CMD INSTALL -l "$work/lib" "$root/r" >"$work/install.log" 2>&1; then
    only=sh,python,r
  else
    cat "$work/install.log" >&2
    echo "tests/readme/run.sh: the R package did not install" >&2
    exit 1
  fi
fi
cd "$root"
export PYTHONDONTWRITEBYTECODE=1
if [ "$only" = sh,python,r ]; then
  /usr/bin/python3 "$root/tests/contract/agreement.py" "$build" "$work/lib"
else
  /usr/bin/python3 "$root/tests/contract/agreement.py" "$build"
fi
/usr/bin/python3 "$here/run_readme.py" README.md "$build" --r-library "$work/lib" --only "$only"
