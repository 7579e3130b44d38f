#!/usr/bin/env bash
# tessora -f txt against the dialogue's MATRIX.TXT for the same answers, byte
# for byte: every coefficient, both layouts, scaled and converted where the
# dialogue offers it, objects as columns and as rows, rows wider than any
# record buffer.
#   txt_identity.sh TESSORA WORK
set -u
T=$1 W=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$W" && mkdir -p "$W" && cd "$W" || exit 1
/usr/bin/python3 "$here/make_table.py" 9 45 11 data > t.dat
fail=0 runs=0
similar() { case $1 in 4|5|7|19|21|2[4-9]|3[0-4]) return 0 ;; esac; return 1; }
for c in $(seq 1 34); do
  for orient in 0 1; do
    layouts="0 1"; [ "$c" = 14 ] || [ "$c" = 15 ] && layouts=1
    for layout in $layouts; do
      extras=("0"); case $c in 1|2|13) extras=(0 1) ;; esac
      similar "$c" && extras=(0 1)
      for x in "${extras[@]}"; do
        { echo t.dat; echo $orient; echo $c
          case $c in 1|2|13) echo $x ;; esac
          [ "$c" = 14 ] || [ "$c" = 15 ] || echo $layout
          similar "$c" && echo $x
        } > answers
        rm -f MATRIX.TXT
        "$T" < answers > /dev/null 2>&1
        args=(-c "$c" -f txt -o cli.txt)
        [ "$orient" = 1 ] && args+=(--objects rows)
        [ "$layout" = 1 ] && args+=(--layout lower)
        if [ "$x" = 1 ]; then case $c in 1|2|13) args+=(--scale) ;; *) args+=(--dissimilarity) ;; esac; fi
        "$T" "${args[@]}" t.dat || { echo "FAILED: tessora ${args[*]}"; fail=1; continue; }
        runs=$((runs + 1))
        if ! cmp -s MATRIX.TXT cli.txt; then echo "DIFFERS: ${args[*]}"; fail=1; fi
      done
    done
  done
done
echo "$runs comparisons"
exit $fail
