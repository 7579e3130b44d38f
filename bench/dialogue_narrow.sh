#!/usr/bin/env bash
# The console dialogue's whole run on a narrow table: 20 variables (rows) by
# 50,000 objects (columns), 10% missing, Euclidean and Bray-Curtis, the full
# MATRIX.TXT (2.5 billion values, about 22 GB: it needs the disk space).
# Prints the whole run's seconds, the pairs' share of it (the same pairs
# through the command line into npy on /dev/null) and what is left for
# reading, checking and writing the text.
#
#   bench/dialogue_narrow.sh [BUILD_DIR] [OBJECTS]
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$ROOT/build}" && pwd)
m=${2:-50000}
n=20
prog=$build/bin/tessora
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
gen=$build/bin/tessora-gendata
[ -x "$gen" ] || gen=$ROOT/build-bench/bin/tessora-gendata
if [ ! -x "$gen" ]; then c++ -O2 -std=c++20 -o gendata "$ROOT/bench/gendata.cpp"; gen=$work/gendata; fi
"$gen" "$n" "$m" 0.1 1 >D.TXT

now() { date +%s.%N; }
span() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }
echo "dialogue, $n variables x $m objects, 10% missing, $(nproc) cores"
printf '| coefficient | whole run (s) | MATRIX.TXT (GB) | pairs alone (s) | the rest (s) |\n|---|---:|---:|---:|---:|\n'
for run in "1 EUCLIDEAN:D.TXT\n0\n1\n0\n0\n:euclidean" "8 BRAYCUR DIS:D.TXT\n0\n8\n0\n:bray-curtis"; do
  IFS=: read -r label answers slug <<<"$run"
  t0=$(now)
  printf '%b' "$answers" | "$prog" >console.txt 2>&1
  t1=$(now)
  size=$(stat -c %s MATRIX.TXT)
  rm -f MATRIX.TXT
  # The same pairs without the text: the data file read, every pair into npy.
  t2=$(now)
  "$prog" -c "$slug" --objects columns -o /dev/null -f npy --layout condensed --quiet D.TXT
  t3=$(now)
  whole=$(span "$t0" "$t1")
  pairs=$(span "$t2" "$t3")
  printf '| %s | %s | %s | %s | %s |\n' "$label" "$whole" "$(awk -v b="$size" 'BEGIN { printf "%.1f", b / 1e9 }')" \
    "$pairs" "$(awk -v a="$whole" -v b="$pairs" 'BEGIN { printf "%.1f", a - b }')"
done
