#!/usr/bin/env bash
# The wrong arguments of tests/contract/cases.tsv through the built tessora:
# each must fail with the library's message for the rule it breaks, exit
# status 2 for an argument and 1 for a table the rules refuse (one object,
# no variables).
#   run_cli.sh TESSORA WORK
set -u
T=$1 W=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
rm -rf "$W" && mkdir -p "$W" && cd "$W" || exit 1
cp "$root/examples/plots.csv" plots.csv
head -n 2 plots.csv > one.csv                 # its first plot only
cut -d, -f1 plots.csv > none.csv              # its plots without any species

fail=0 runs=0
while IFS=$'\t' read -r name table action coefficient options message; do
  case $name in ''|'#'*|name) continue ;; esac
  args=(-c "$coefficient" -o out.tsv)
  case $action in
    matrix) ;;
    neighbors:*) args+=(--neighbors "${action#neighbors:}") ;;
    radius:*) args+=(--radius "${action#radius:}") ;;
    *) echo "FAIL $name: unknown action $action"; fail=1; continue ;;
  esac
  if [ "$options" != - ]; then
    IFS=, read -ra pairs <<< "$options"
    for pair in "${pairs[@]}"; do
      key=${pair%%=*} value=${pair#*=}
      case $key in
        scale|dissimilarity|include_self) [ "$value" = true ] && args+=("--${key//_/-}") ;;
        threads|objects|min_shared) args+=("--${key//_/-}=$value") ;;
        *) echo "FAIL $name: unknown option $key"; fail=1; continue 2 ;;
      esac
    done
  fi
  want=2
  case $name in one_object|no_variables) want=1 ;; esac
  err=$("$T" "${args[@]}" "$table.csv" 2>&1 >/dev/null); status=$?
  runs=$((runs + 1))
  if [ "$status" != "$want" ] || [[ "$err" != *"$message"* ]]; then
    echo "FAIL $name: tessora ${args[*]} $table.csv"
    echo "  status $status (want $want): $err"
    echo "  want the message: $message"
    fail=1
  fi
  [ -e out.tsv ] && { echo "FAIL $name: out.tsv was written"; fail=1; rm -f out.tsv; }
done < "$root/tests/contract/cases.tsv"
echo "$runs cases"
[ "$runs" -ge 12 ] || { echo "FAIL: fewer than 12 cases ran"; fail=1; }
exit $fail
