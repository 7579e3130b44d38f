#!/usr/bin/env bash
# Side by side: TESSORA against the plain single-threaded program and against
# the distance functions that users could pick instead (R's stats::dist,
# vegan::vegdist, scikit-learn's nan_euclidean_distances).
#
#   bench/compare_peers.sh [--install] [--rows N] [--cols M] [--missing F]
#                          [--seed S] [--repeat K] [--build DIR] [--workdir DIR]
#                          [--scaling-m "M1 M2 ..."] [--no-baseline] [--no-scaling]
#                          [--no-writer] [--keep]
#
# Objects are the columns of the data file (orientation 0), variables its rows:
# by default 4000 objects by 1000 variables, 10% missing. TESSORA and the plain
# program are timed over their whole run, from the file name to the stop; the
# other programs over their distance computation alone (reading the data and
# marking the missing values are left out of their times). TESSORA is timed as
# the best of K runs (default 3), every other program once. The scaling section
# runs TESSORA for m = 1000, 2000, 4000 and 8000 objects (--scaling-m) over the
# same n.
#
# With --install the Debian packages r-base-core, r-cran-vegan and
# python3-sklearn are installed first (as root). A program that is not
# installed is skipped with a note.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rows=1000 cols=4000 missing=0.1 seed=1 repeat=3
build="$ROOT/build-bench" workdir="" install=0 keep=0
do_baseline=1 do_scaling=1 do_writer=1
scaling_m=(1000 2000 4000 8000)

usage() { awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "${BASH_SOURCE[0]}"; exit "${1:-0}"; }
while [ $# -gt 0 ]; do
  case "$1" in
    --install) install=1 ;;
    --rows) rows=$2; shift ;;
    --cols) cols=$2; shift ;;
    --missing) missing=$2; shift ;;
    --seed) seed=$2; shift ;;
    --repeat) repeat=$2; shift ;;
    --build) build=$(cd "$2" 2>/dev/null && pwd || echo "$2"); shift ;;
    --workdir) workdir=$2; shift ;;
    --scaling-m) read -r -a scaling_m <<<"$2"; shift ;;
    --no-baseline) do_baseline=0 ;;
    --no-scaling) do_scaling=0 ;;
    --no-writer) do_writer=0 ;;
    --keep) keep=1 ;;
    -h|--help) usage 0 ;;
    *) echo "unknown argument: $1" >&2; usage 2 ;;
  esac
  shift
done

say() { printf '%s\n' "$*"; }
note() { printf '  note: %s\n' "$*"; }

# --- packages of the other programs -------------------------------------------
if [ "$install" -eq 1 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "--install needs root (apt-get)" >&2
    exit 1
  fi
  say "Installing r-base-core r-cran-vegan python3-sklearn (apt-get)..."
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >/dev/null
  apt-get install -y -q --no-install-recommends r-base-core r-cran-vegan python3-sklearn >/dev/null
fi
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (Debian package: time)" >&2; exit 1; }

# --- our programs -------------------------------------------------------------
bin="$build/bin"
need=(tessora tessora-baseline tessora-gendata)
[ "$do_writer" -eq 1 ] && need+=(bench_matrix_writer)
missing_bins=()
for t in "${need[@]}"; do [ -x "$bin/$t" ] || missing_bins+=("$t"); done
if [ ${#missing_bins[@]} -gt 0 ]; then
  say "Building ${missing_bins[*]} in $build..."
  cmake --preset bench -B "$build" -DTESSORA_TESTS=OFF -DTESSORA_WINDOW=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target "${missing_bins[@]}" >/dev/null
fi

if [ -z "$workdir" ]; then
  workdir=$(mktemp -d "${TMPDIR:-/tmp}/tessora-peers.XXXXXX")
else
  mkdir -p "$workdir"
  workdir=$(cd "$workdir" && pwd)
fi
cleanup() { [ "$keep" -eq 1 ] || rm -rf "$workdir"; }
trap cleanup EXIT

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
steps() { awk -v n="$1" -v m="$2" 'BEGIN { printf "%.0f", n * m * (m - 1) / 2 }'; }

# run_program BIN DIR DATA ANSWERS: one whole run in DIR (MATRIX.TXT lands
# there); sets run_seconds and run_rss_kb. The data file is linked into DIR
# under a short name, since a file name answer ends at a slash.
run_program() {
  local prog=$1 dir=$2 data=$3 answers=$4 t0 t1
  mkdir -p "$dir"
  ln -sf "$data" "$dir/D.TXT"
  t0=$(now)
  (cd "$dir" && printf '%b' "$answers" | /usr/bin/time -f '%M' -o rss.txt "$prog" >console.txt 2>&1) || {
    echo "$(basename "$prog") failed in $dir:" >&2
    tail -5 "$dir/console.txt" >&2
    exit 1
  }
  t1=$(now)
  run_seconds=$(elapsed "$t0" "$t1")
  run_rss_kb=$(tail -1 "$dir/rss.txt")
  if grep -q "ARE INCOMPARABLE" "$dir/console.txt"; then
    echo "the data set has incomparable objects" >&2
    exit 1
  fi
}

# best_of K BIN DIR DATA ANSWERS: the fastest of K runs (and its peak memory).
best_of() {
  local k=$1 best="" best_rss="" i
  shift
  for ((i = 0; i < k; i++)); do
    run_program "$@"
    if [ -z "$best" ] || awk -v a="$run_seconds" -v b="$best" 'BEGIN { exit !(a < b) }'; then
      best=$run_seconds best_rss=$run_rss_kb
    fi
  done
  run_seconds=$best run_rss_kb=$best_rss
}

# --- the machine and the data -------------------------------------------------
cpu=$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')
say "Machine: $(nproc) cores, $cpu, $(awk '/MemTotal/ { printf "%.0f GB", $2 / 1048576 }' /proc/meminfo) memory"
say "Load average at the start: $(cut -d' ' -f1-3 /proc/loadavg) (wall-clock times: other work on the machine slows every line)"
say "Programs: $bin (configure preset bench); work directory: $workdir"
data="$workdir/data-${rows}x${cols}.txt"
"$bin/tessora-gendata" "$rows" "$cols" "$missing" "$seed" >"$data"
total_steps=$(steps "$rows" "$cols")
say "Data: $cols objects (columns) by $rows variables (rows), $missing missing, seed $seed;" \
    "$total_steps pair-variable steps"
say ""

declare -A secs what
status=0

# --- TESSORA and the plain program --------------------------------------------
euclid_answers='D.TXT\n0\n1\n0\n0\n'   # columns, Euclidean, no scaling, full matrix
bray_answers='D.TXT\n0\n8\n0\n'         # columns, Bray-Curtis dissimilarity, full matrix
for coef in euclid bray; do
  answers=${coef}_answers
  best_of "$repeat" "$bin/tessora" "$workdir/tessora-$coef" "$data" "${!answers}"
  secs[tessora-$coef]=$run_seconds
  say "tessora ($coef): ${run_seconds} s (best of $repeat), peak memory $((run_rss_kb / 1024)) MB"
  if [ "$do_baseline" -eq 1 ]; then
    run_program "$bin/tessora-baseline" "$workdir/baseline-$coef" "$data" "${!answers}"
    secs[baseline-$coef]=$run_seconds
    if cmp -s "$workdir/tessora-$coef/MATRIX.TXT" "$workdir/baseline-$coef/MATRIX.TXT"; then
      say "tessora-baseline ($coef): ${run_seconds} s; MATRIX.TXT identical to tessora's"
    else
      say "tessora-baseline ($coef): ${run_seconds} s; MATRIX.TXT DIFFERS from tessora's"
      status=1
    fi
    rm -f "$workdir/baseline-$coef/MATRIX.TXT"
  fi
  rm -f "$workdir/tessora-$coef/MATRIX.TXT"
done

# --- R: stats::dist and vegan::vegdist -----------------------------------------
if command -v Rscript >/dev/null 2>&1; then
  cat >"$workdir/peers.R" <<'EOF'
args <- commandArgs(trailingOnly = TRUE)
dims <- scan(args[1], skip = 1, nlines = 1, quiet = TRUE)
x <- matrix(scan(args[1], skip = 2, quiet = TRUE), nrow = dims[1], ncol = dims[2], byrow = TRUE)
x[x == -1] <- NA
xt <- t(x)  # one row per object, as both functions want
invisible(gc())
cat(sprintf("dist %.3f\n", system.time(d <- dist(xt, method = "euclidean"))[["elapsed"]]))
rm(d); invisible(gc())
if (requireNamespace("vegan", quietly = TRUE)) {
  cat(sprintf("vegdist %.3f\n",
              system.time(d <- vegan::vegdist(xt, method = "bray", na.rm = TRUE))[["elapsed"]]))
} else {
  cat("vegdist missing\n")
}
EOF
  r_out=$(Rscript --vanilla "$workdir/peers.R" "$data")
  secs[r-dist]=$(awk '$1 == "dist" { print $2 }' <<<"$r_out")
  say "R stats::dist (Euclidean): ${secs[r-dist]} s"
  v=$(awk '$1 == "vegdist" { print $2 }' <<<"$r_out")
  if [ "$v" = missing ]; then
    note "vegan is not installed (Debian package r-cran-vegan): vegdist skipped"
  else
    secs[r-vegdist]=$v
    say "R vegan::vegdist (Bray-Curtis): $v s"
  fi
else
  note "R is not installed (Debian packages r-base-core, r-cran-vegan): stats::dist and vegdist skipped"
fi

# --- scikit-learn ---------------------------------------------------------------
# OPENBLAS_CORETYPE and OPENBLAS_L2_SIZE, when set, slow down a current numpy:
# they are unset for this command alone.
py=""
for cand in /usr/bin/python3 python3; do
  if command -v "$cand" >/dev/null 2>&1 &&
     env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE "$cand" -c 'import sklearn' >/dev/null 2>&1; then
    py=$cand
    break
  fi
done
if [ -n "$py" ]; then
  cat >"$workdir/peers.py" <<'EOF'
import sys, time
import numpy as np
from sklearn.metrics.pairwise import nan_euclidean_distances
x = np.loadtxt(sys.argv[1], skiprows=2, dtype=np.float64, ndmin=2)
x[x == -1] = np.nan
xt = np.ascontiguousarray(x.T)  # one row per object
nan_euclidean_distances(xt[:8])  # first-call set-up kept out of the time
t0 = time.perf_counter()
d = nan_euclidean_distances(xt)
print("%.3f" % (time.perf_counter() - t0))
EOF
  s=$(env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE "$py" "$workdir/peers.py" "$data")
  secs[sklearn]=$s
  say "scikit-learn nan_euclidean_distances: $s s ($py)"
else
  note "scikit-learn is not installed (Debian package python3-sklearn): nan_euclidean_distances skipped"
fi
say ""

# --- the table ------------------------------------------------------------------
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.1f", a / b; else print "-" }'; }
rate() { awk -v s="$total_steps" -v t="$1" 'BEGIN { if (t > 0) printf "%.3g", s / t; else print "-" }'; }
row() {  # key label timed-part reference-key
  local key=$1 label=$2 part=$3 ref=$4
  [ -n "${secs[$key]:-}" ] || return 0
  printf '| %-38s | %-22s | %9s | %9s | %10s |\n' "$label" "$part" "${secs[$key]}" \
    "$(ratio "${secs[$key]}" "${secs[$ref]:-0}")" "$(rate "${secs[$key]}")"
}
say "Times for $cols objects x $rows variables ($total_steps pair-variable steps);"
say "ratio = seconds / TESSORA's seconds for the same coefficient in this run"
say ""
printf '| %-38s | %-22s | %9s | %9s | %10s |\n' "program" "timed" "seconds" "ratio" "steps/s"
printf '|%s|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..40})" "$(printf -- '-%.0s' {1..24})" \
  "$(printf -- '-%.0s' {1..11})" "$(printf -- '-%.0s' {1..11})" "$(printf -- '-%.0s' {1..12})"
row tessora-euclid "tessora, 1 EUCLIDEAN" "whole run" tessora-euclid
row baseline-euclid "tessora-baseline, 1 EUCLIDEAN" "whole run" tessora-euclid
row r-dist "R stats::dist, euclidean" "dist() alone" tessora-euclid
row sklearn "scikit-learn nan_euclidean_distances" "the call alone" tessora-euclid
row tessora-bray "tessora, 8 BRAYCUR DIS" "whole run" tessora-bray
row baseline-bray "tessora-baseline, 8 BRAYCUR DIS" "whole run" tessora-bray
row r-vegdist "R vegan::vegdist, bray, na.rm" "vegdist() alone" tessora-bray
say ""

target() {  # key reference-key factor label
  local key=$1 ref=$2 factor=$3 label=$4 r
  if [ -z "${secs[$key]:-}" ]; then
    say "  $label: not measured"
    return
  fi
  r=$(ratio "${secs[$key]}" "${secs[$ref]:-0}")
  if awk -v r="$r" -v f="$factor" 'BEGIN { exit !(r >= f) }'; then
    say "  $label: ${r}x (target ${factor}x) met"
  else
    say "  $label: ${r}x (target ${factor}x) NOT met"
  fi
}
say "Targets:"
target baseline-euclid tessora-euclid 25 "Euclidean whole run against tessora-baseline"
target r-dist tessora-euclid 50 "Euclidean against stats::dist's computation alone"
target r-vegdist tessora-bray 50 "Bray-Curtis against vegdist's computation alone"

# --- the writer -----------------------------------------------------------------
if [ "$do_writer" -eq 1 ]; then
  say ""
  say "MATRIX.TXT writer, 4000 x 4000 full matrix (bench_matrix_writer):"
  (cd "$workdir" && TMPDIR="$workdir" "$bin/bench_matrix_writer" --benchmark_color=false 2>/dev/null) |
    grep -E '^(BM_|writer:|MATRIX.TXT:)' | sed 's/^/  /'
fi

# --- scaling ---------------------------------------------------------------------
if [ "$do_scaling" -eq 1 ]; then
  say ""
  say "Scaling: tessora, Euclidean, whole run, n = $rows variables, best of $repeat"
  say ""
  printf '| %6s | %6s | %9s | %12s | %15s |\n' "m" "n" "seconds" "peak MB" "model MB"
  printf '|%s|%s|%s|%s|%s|\n' "--------" "--------" "-----------" "--------------" "-----------------"
  fit_in=""
  for m in "${scaling_m[@]}"; do
    d="$workdir/scale-$m.txt"
    "$bin/tessora-gendata" "$rows" "$m" "$missing" "$seed" >"$d"
    best_of "$repeat" "$bin/tessora" "$workdir/scale-$m" "$d" "$euclid_answers"
    rm -f "$workdir/scale-$m/MATRIX.TXT" "$d"
    # What the run has to hold: the data matrix and the packed triangle with
    # the diagonal, 4 bytes a value.
    model=$(awk -v n="$rows" -v m="$m" 'BEGIN { printf "%.1f", 4 * (n * m + m * (m - 1) / 2 + m) / 1048576 }')
    printf '| %6d | %6d | %9s | %12.1f | %15s |\n' "$m" "$rows" "$run_seconds" \
      "$(awk -v k="$run_rss_kb" 'BEGIN { print k / 1024 }')" "$model"
    fit_in+="$m $run_seconds $run_rss_kb $model"$'\n'
  done
  say ""
  # Least-squares slopes on log-log scales: time against m (n fixed) should
  # come near 2 as m grows, the reading (n*m) and the fixed start-up weighing most
  # at small m, so the slope between the two largest m is shown as well. Peak
  # memory is fitted as a straight line in the model's bytes: a slope near 1
  # and an intercept for what every run holds (code, buffers, thread tiles).
  awk '
    function slope(col,   i, sx, sy, sxx, sxy) {
      sx = sy = sxx = sxy = 0
      for (i = 1; i <= k; i++) { sx += lx[i]; sy += v[i, col]; sxx += lx[i] * lx[i]; sxy += lx[i] * v[i, col] }
      return (k * sxy - sx * sy) / (k * sxx - sx * sx)
    }
    function last(col) { return (v[k, col] - v[k - 1, col]) / (lx[k] - lx[k - 1]) }
    NF == 4 { k++; lx[k] = log($1); v[k, 2] = log($2); v[k, 3] = log($3 / 1024); v[k, 4] = log($4)
              mb[k] = $3 / 1024; model[k] = $4 }
    END {
      if (k < 2) exit
      printf "Fitted exponents in m: time %.2f over all m, %.2f between the two largest (n*m^2: 2)\n", slope(2), last(2)
      printf "                       peak memory %.2f (the n*m + m^2/2 model over the same m: %.2f)\n", slope(3), slope(4)
      sx = sy = sxx = sxy = 0
      for (i = 1; i <= k; i++) { sx += model[i]; sy += mb[i]; sxx += model[i] * model[i]; sxy += model[i] * mb[i] }
      b = (k * sxy - sx * sy) / (k * sxx - sx * sx); a = (sy - b * sx) / k
      printf "Peak memory as a line in the model: %.2f MB + %.2f x model\n", a, b
    }' <<<"$fit_in"
fi

say ""
say "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
exit "$status"
