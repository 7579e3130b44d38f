#!/usr/bin/env bash
# Makes docs/screenshot.png: the desktop window after a finished run on the
# bundled BEETLES.TXT (compare the rows, Bray-Curtis similarity, full matrix,
# converted to dissimilarities), on a virtual X display; and
# docs/screenshot-matrix.png: the same run with its Matrix window, in
# clustered order.
#
# Needs Qt 6 (Widgets, PrintSupport, Test) and xvfb-run. Builds into
# $BUILD_DIR (default: build/) and runs in a scratch directory, so no
# MATRIX.TXT is left behind.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

cmake --preset release -B "$build" >/dev/null
cmake --build "$build" -j2 --target window_screenshot

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/examples/BEETLES.TXT" "$work/"
cd "$work"
xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/tests/window_screenshot" "$root/docs/screenshot.png" BEETLES.TXT 1 7 0 1
xvfb-run -a -s "-screen 0 1280x800x24" \
  "$build/tests/window_screenshot" --matrix "$root/docs/screenshot-matrix.png" BEETLES.TXT 1 7 0 1
echo "wrote $root/docs/screenshot.png and $root/docs/screenshot-matrix.png"
