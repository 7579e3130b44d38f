#!/usr/bin/env bash
# The command line's performance: CSV in and npy out against the dialogue's
# whole run; text formats in MB/s; a large condensed npy and a long file
# against the pair steps at the kernel's rate plus the bytes at the disk's
# write rate, with peak resident memory.
#
#   bench/cli_bench.sh [--build DIR] [--workdir DIR] [--big-m M] [--long-m M]
#                      [--text-m M] [--repeat K] [--no-big]
#
# Defaults: build/ (the release preset), $TMPDIR or /tmp, --big-m 100000
# (50000 when the work folder's disk has less than 25 GB free), --long-m
# 20000, --text-m 8000, best of 3 for the small runs. n = 100 variables for
# the large runs, Bray-Curtis throughout, 10% missing.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$ROOT/build work=${TMPDIR:-/tmp}/tessora-cli-bench big_m=100000 long_m=20000 text_m=8000 repeat=3 big=1
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$(cd "$2" && pwd); shift ;;
    --workdir) work=$2; shift ;;
    --big-m) big_m=$2; shift ;;
    --long-m) long_m=$2; shift ;;
    --text-m) text_m=$2; shift ;;
    --repeat) repeat=$2; shift ;;
    --no-big) big=0 ;;
    *) awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"; exit 2 ;;
  esac
  shift
done
T=$build/bin/tessora
mkdir -p "$work"
cd "$work"
say() { printf '%s\n' "$*"; }

# Tools: the table generator and the kernel-rate probe.
gen=$build/bin/tessora-gendata
[ -x "$gen" ] || gen=$ROOT/build-bench/bin/tessora-gendata
if [ ! -x "$gen" ]; then c++ -O2 -std=c++20 -o gendata "$ROOT/bench/gendata.cpp"; gen=$work/gendata; fi
c++ -O2 -std=c++20 -ffp-contract=off -I"$ROOT/include" -I"$build/include" -o kernel_rate \
  "$ROOT/bench/cli_kernel_rate.cpp" "$build/engine/libtessora.a" -lhwy -lpthread

# timed VAR_SECONDS VAR_KB command...: wall seconds and peak resident kB.
timed() {
  local -n _s=$1 _k=$2; shift 2
  /usr/bin/time -f '%e %M' -o time.txt "$@"
  read -r _s _k < time.txt
}
best_of() {  # best_of VAR command...: the best wall time of $repeat runs
  local -n _b=$1; shift
  local s k; _b=
  for _ in $(seq "$repeat"); do
    timed s k "$@"
    if [ -z "$_b" ] || awk "BEGIN{exit !($s < $_b)}"; then _b=$s; fi
  done
}
ratio() { awk "BEGIN{printf \"%.2f\", $1 / $2}"; }

say "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"

# --- 1. 4000 x 1000: CSV in, npy out, against the dialogue's whole run --------
"$gen" 1000 4000 0.1 1 > t.dat
/usr/bin/python3 - <<'PY'
rows = open("t.dat").read().split("\n")[2:]
table = [r.split() for r in rows if r.strip()]
with open("t.csv", "w") as f:
    f.write("," + ",".join("v%d" % v for v in range(len(table))) + "\n")
    for j in range(len(table[0])):
        f.write("s%d," % (j + 1) + ",".join("NA" if r[j] == "-1" else r[j] for r in table) + "\n")
PY
printf 't.dat\n0\n8\n0\n' > answers
best_of t_dialogue bash -c '"$0" < answers > /dev/null 2>&1' "$T"
best_of t_csv_npy "$T" -c 8 -o out.npy t.csv
best_of t_dat_npy "$T" -c 8 -o out.npy t.dat
best_of t_dat_txt "$T" -c 8 -o out.txt t.dat
cmp -s out.txt MATRIX.TXT && same=yes || same=NO
say ""
say "4000 objects x 1000 variables, 10% missing, 8 BRAYCUR DIS, best of $repeat:"
say "| run | seconds | ratio to the dialogue |"
say "|---|---:|---:|"
say "| dialogue, data file to MATRIX.TXT (whole run) | $t_dialogue | 1.00 |"
say "| tessora -o out.npy t.csv | $t_csv_npy | $(ratio "$t_csv_npy" "$t_dialogue") |"
say "| tessora -o out.npy t.dat | $t_dat_npy | $(ratio "$t_dat_npy" "$t_dialogue") |"
say "| tessora -o out.txt t.dat (byte-identical to MATRIX.TXT: $same) | $t_dat_txt | $(ratio "$t_dat_txt" "$t_dialogue") |"

# --- 2. text formats, MB/s ------------------------------------------------------
"$gen" 10 "$text_m" 0.1 2 > w.dat
best_of t_null "$T" -c 8 -f npy -o /dev/null w.dat
cpu() {  # cpu VAR command...: user + system seconds of one run
  local -n _c=$1; shift
  /usr/bin/time -f '%U %S' -o cpu.txt "$@"
  _c=$(awk '{print $1 + $2}' cpu.txt)
}
cpu c_null "$T" -c 8 -f npy -o /dev/null w.dat
say ""
say "Text formats, m = $text_m, n = 10 (the pairs take little), best of $repeat; npy to /dev/null (computing alone,"
say "square) $t_null s wall, $c_null s of CPU. Wall: to a file on the work folder's disk. CPU: to /dev/null, the"
say "user + system seconds beyond the npy run's, as MB per CPU second and for both cores:"
say "| format | MB | seconds (file) | MB/s (file) | formatting CPU s | MB/s per core | MB/s on 2 cores |"
say "|---|---:|---:|---:|---:|---:|---:|"
for f in txt csv tsv phylip long; do
  best_of t "$T" -c 8 -f $f -o out.$f w.dat
  mb=$(awk "BEGIN{printf \"%.0f\", $(stat -c %s out.$f) / 1e6}")
  rm -f out.$f
  cpu c "$T" -c 8 -f $f -o /dev/null w.dat
  fc=$(awk "BEGIN{printf \"%.2f\", $c - $c_null}")
  say "| $f | $mb | $t | $(ratio "$mb" "$t") | $fc | $(awk "BEGIN{printf \"%.0f\", $mb / $fc}") | $(awk "BEGIN{printf \"%.0f\", 2 * $mb / $fc}") |"
done

[ "$big" = 1 ] || exit 0
# --- 3. large runs against the kernel's rate and the disk's rate -----------------
free_gb=$(df -BG --output=avail . | tail -1 | tr -dc 0-9)
if [ "$free_gb" -lt 25 ] && [ "$big_m" -gt 50000 ]; then
  say "only ${free_gb} GB free here: m = 50000 instead of $big_m"
  big_m=50000
fi
rate=$(./kernel_rate 4000 100 8)
timed t_dd k_dd dd if=/dev/zero of=dd.bin bs=16M count=256 conv=fdatasync status=none
disk_rate=$(awk "BEGIN{print 4294967296 / $t_dd}")
rm -f dd.bin
say ""
say "Kernel rate (library, whole matrix, 4000 x 100, 8): $rate steps/s; disk write rate (dd 4 GiB, fdatasync): $(awk "BEGIN{printf \"%.0f\", $disk_rate / 1e6}") MB/s"
say "| run | GB written | seconds | expected s (pairs at kernel rate + bytes at disk rate) | ratio | peak RSS MB |"
say "|---|---:|---:|---:|---:|---:|"
big_run() {  # big_run M FORMAT LAYOUT
  local m=$1 f=$2 layout=$3 s k
  "$gen" 100 "$m" 0.1 3 > big.dat
  timed s k "$T" -c 8 --quiet -f "$f" --layout "$layout" -o big.out big.dat
  local bytes; bytes=$(stat -c %s big.out)
  rm -f big.out
  local expect; expect=$(awk "BEGIN{printf \"%.1f\", 100 * $m * ($m - 1) / 2 / $rate + $bytes / $disk_rate}")
  say "| m = $m, $f $layout | $(awk "BEGIN{printf \"%.1f\", $bytes / 1e9}") | $s | $expect | $(ratio "$s" "$expect") | $((k / 1024)) |"
}
big_run "$big_m" npy condensed
big_run "$long_m" long lower
rm -f big.dat
