#!/bin/sh
# Runs the Python module's test suite with Debian's python3 against the
# package built in build/python. Usage: run_tests.sh [BUILD_DIR] [PYTEST ARGS...]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$here/../build
if [ $# -gt 0 ] && [ -d "$1" ]; then build=$1; shift; fi
build=$(cd "$build" && pwd)
if [ ! -e "$build/python/tessora/__init__.py" ]; then
  echo "python/run_tests.sh: $build/python/tessora is not built (pybind11 or python3-dev missing?)" >&2
  exit 1
fi
export PYTHONPATH="$build/python${PYTHONPATH:+:$PYTHONPATH}"
export TESSORA_BUILD_DIR="$build"
export PYTHONDONTWRITEBYTECODE=1
exec /usr/bin/python3 -m pytest -q -p no:cacheprovider "$here/tests" "$@"
