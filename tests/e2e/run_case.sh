#!/usr/bin/env bash
# Runs one golden case as a user would and compares every byte.
#
#   run_case.sh PROGRAM CASE_DIR WORK_DIR
#
# A case folder holds the data files the run sees, `stdin` (the answers; none
# means no input at all), optionally `env` (NAME=VALUE lines), `setup.sh` (run
# in the working directory first, e.g. to make MATRIX.TXT a directory), and the
# expected results: expected_stdout, expected_stderr, expected_exit and
# expected_MATRIX.TXT (absent: the run must leave no MATRIX.TXT file).
# On a mismatch the actual results are left beside the expected ones as
# actual_*. With TESSORA_REGEN=1 the expected files are written instead.
set -u
program=$1
case_dir=$(cd "$2" && pwd)
work=$3

rm -rf "$work"
mkdir -p "$work/run"
for f in "$case_dir"/*; do
  name=$(basename "$f")
  case $name in
    expected_*|actual_*|stdin|env|setup.sh|README) ;;
    *) cp -R "$f" "$work/run/" ;;
  esac
done
if [ -f "$case_dir/setup.sh" ]; then
  (cd "$work/run" && bash "$case_dir/setup.sh") || { echo "setup failed"; exit 1; }
fi

envs=()
if [ -f "$case_dir/env" ]; then
  while IFS= read -r line; do [ -n "$line" ] && envs+=("$line"); done < "$case_dir/env"
fi
input=/dev/null
[ -f "$case_dir/stdin" ] && input="$case_dir/stdin"

(cd "$work/run" && env -u TABSIZE "${envs[@]}" timeout 120 "$program" < "$input" > "$work/stdout" 2> "$work/stderr"; echo $? > "$work/exit")
if [ -f "$work/run/MATRIX.TXT" ]; then cp "$work/run/MATRIX.TXT" "$work/MATRIX.TXT"; fi

if [ "${TESSORA_REGEN:-0}" = 1 ]; then
  cp "$work/stdout" "$case_dir/expected_stdout"
  cp "$work/stderr" "$case_dir/expected_stderr"
  cp "$work/exit" "$case_dir/expected_exit"
  if [ -f "$work/MATRIX.TXT" ]; then cp "$work/MATRIX.TXT" "$case_dir/expected_MATRIX.TXT"
  else rm -f "$case_dir/expected_MATRIX.TXT"; fi
  echo "regenerated $(basename "$case_dir")"
  exit 0
fi

status=0
rm -f "$case_dir"/actual_*
check() {  # name actual expected
  if ! cmp -s "$2" "$3"; then
    echo "MISMATCH in $1 (actual left in $case_dir/actual_$1)"
    cp "$2" "$case_dir/actual_$1" 2>/dev/null || : > "$case_dir/actual_$1"
    diff <(od -c "$3" | head -40) <(od -c "$2" | head -40) | head -20
    status=1
  fi
}
check stdout "$work/stdout" "$case_dir/expected_stdout"
check stderr "$work/stderr" "$case_dir/expected_stderr"
check exit "$work/exit" "$case_dir/expected_exit"
if [ -f "$case_dir/expected_MATRIX.TXT" ]; then
  if [ -f "$work/MATRIX.TXT" ]; then check MATRIX.TXT "$work/MATRIX.TXT" "$case_dir/expected_MATRIX.TXT"
  else echo "MISSING MATRIX.TXT"; status=1; fi
elif [ -f "$work/MATRIX.TXT" ]; then
  echo "UNEXPECTED MATRIX.TXT"; cp "$work/MATRIX.TXT" "$case_dir/actual_MATRIX.TXT"; status=1
fi
exit $status
