#!/bin/sh
# The R package's test suite (run by scripts/test after the optimised build):
#  1. the engine's sources and exactness flags the package compiles with are
#     those of the CMake target tessora_engine (build/compile_commands.json);
#  2. R CMD INSTALL r into a clean temporary library, with PKG_CONFIG_PATH
#     unset and no tessora.pc where pkg-config looks: the package builds the
#     engine from its own sources;
#  3. the wrong arguments every front end refuses (tests/contract/run_r.R);
#  4. R CMD build r, and R CMD check --no-manual of its tarball (installation
#     from the tarball, documentation, examples, the testthat tests): the
#     check's status must be OK, without a note.
# TESSORA_R_KEEP=1 keeps the temporary folder.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${TESSORA_BUILD_DIR:-$root/build}

commands=$build/compile_commands.json
if [ ! -f "$commands" ]; then
  echo "r/run_tests.sh: no $commands; run: cmake --preset release" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tessora-r.XXXXXX")
[ "${TESSORA_R_KEEP:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT INT TERM

echo "== the package's sources and flags against CMake's"
(cd "$here" && Rscript --vanilla tools/configure.R --print) >"$work/package.txt"
python3 - "$commands" "$root" "$work/package.txt" <<'EOF'
import json, os, shlex, sys
commands, root, listed = sys.argv[1], os.path.realpath(sys.argv[2]), sys.argv[3]
sources, flags = [], []
for line in open(listed):
    kind, value = line.split()
    (sources if kind == "source" else flags).append(value)
cmake = {}
for entry in json.load(open(commands)):
    words = shlex.split(entry["command"]) if "command" in entry else entry["arguments"]
    if not any("tessora_engine.dir" in w for w in words):
        continue
    path = os.path.relpath(os.path.realpath(os.path.join(entry["directory"], entry["file"])), root)
    cmake[path] = [w for w in words if w.startswith("-f")]
problems = []
if sorted(sources) != sorted(cmake):
    problems.append("sources: the package has %s, CMake %s" % (sorted(sources), sorted(cmake)))
for path, words in sorted(cmake.items()):
    # -fno-math-errno (the kernel's finishers, for speed) only stops sqrt from
    # setting errno: no value depends on it.
    exact = [w for w in words if (w.startswith("-ffp-") or "math" in w) and w != "-fno-math-errno"]
    if any(f not in words for f in flags) or any(w not in flags for w in exact):
        problems.append("%s: the package compiles with %s, CMake with %s" % (path, flags, words))
if problems:
    sys.exit("r/run_tests.sh: the package and tessora_engine differ:\n  " + "\n  ".join(problems))
print("%d sources, flags %s: as tessora_engine" % (len(sources), " ".join(flags)))
EOF

# The C++ compiler through ccache when there is one (the check installs the
# package a second time, from its tarball); no bit depends on it.
if command -v ccache >/dev/null 2>&1 && [ -z "${R_MAKEVARS_USER:-}" ]; then
  echo "CXX20 = ccache $(R CMD config CXX20)" >"$work/Makevars"
  R_MAKEVARS_USER=$work/Makevars
  CCACHE_NOHASHDIR=true
  export R_MAKEVARS_USER CCACHE_NOHASHDIR
fi
MAKEFLAGS=${MAKEFLAGS:--j2}
export MAKEFLAGS

# pkg-config sees Highway's file and no other.
unset PKG_CONFIG_PATH
mkdir "$work/pkgconfig" "$work/lib"
PKG_CONFIG_LIBDIR=$work/pkgconfig
export PKG_CONFIG_LIBDIR
if command -v pkg-config >/dev/null 2>&1; then
  hwy=$(env -u PKG_CONFIG_LIBDIR pkg-config --variable=pcfiledir libhwy 2>/dev/null || true)
  [ -n "$hwy" ] && cp "$hwy/libhwy.pc" "$work/pkgconfig/"
  if pkg-config --exists tessora; then
    echo "r/run_tests.sh: pkg-config still finds tessora.pc" >&2
    exit 1
  fi
fi
R_LIBS=$work/lib
R_LIBS_USER=$work/lib
export R_LIBS R_LIBS_USER

echo "== R CMD INSTALL r"
if ! R CMD INSTALL --preclean --clean -l "$work/lib" "$here" >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  echo "r/run_tests.sh: R CMD INSTALL r failed" >&2
  exit 1
fi
grep '^configure:' "$work/install.log"
# Every compile of an engine source carries the flags.
for flag in $(sed -n 's/^flag //p' "$work/package.txt"); do
  if grep -- '-c \.\./tools/tessora/' "$work/install.log" | grep -v -q -- "$flag"; then
    echo "r/run_tests.sh: an engine source was compiled without $flag" >&2
    exit 1
  fi
done

echo "== the contract's cases"
(cd "$root" && Rscript --vanilla tests/contract/run_r.R)

echo "== R CMD build r; R CMD check of the tarball"
cd "$work"
R CMD build --no-build-vignettes "$here" >build.log 2>&1 || { cat build.log; exit 1; }
tarball=$(ls tessora_*.tar.gz)
status=0
R CMD check --no-manual -o "$work" "$tarball" >check.log 2>&1 || status=$?
log=$work/tessora.Rcheck/00check.log
if [ "$status" -ne 0 ] || ! grep -q '^Status: OK$' "$log"; then
  cat check.log
  for f in "$work"/tessora.Rcheck/00install.out "$work"/tessora.Rcheck/tests/*.Rout.fail; do
    [ -f "$f" ] && { echo "== $f"; tail -n 60 "$f"; }
  done
  echo "r/run_tests.sh: R CMD check did not end in Status: OK" >&2
  exit 1
fi
grep -A3 'Running .testthat.R' check.log | head -n 4 || true
echo "r/run_tests.sh: installed from the folder and from the tarball; R CMD check: Status: OK"
