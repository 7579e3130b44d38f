#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer, UBSan) and runs
# each fuzz target for SECONDS (default 60) over a fresh copy of its seed
# corpus. A finding stops the script with its input saved under
# build-fuzz/fuzz-findings/<target>/; add that file to tests/fuzz/corpus/<target>/
# once it is fixed, so that every build replays it as a test.
#
#   tests/fuzz/run_all.sh [SECONDS] [TARGET...]
#
# The long run, half an hour per target at low priority:
#
#   nice -n 19 tests/fuzz/run_all.sh 1800
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(reader dialogue writer csv options parts)
build=$root/build-fuzz

cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target $(printf 'fuzz_%s ' "${targets[@]}")

status=0
for t in "${targets[@]}"; do
  work=$build/fuzz-run/$t
  findings=$build/fuzz-findings/$t
  rm -rf "$work"
  mkdir -p "$work" "$findings"
  cp "$root/tests/fuzz/corpus/$t/"* "$work/"
  dict=()
  [ -f "$root/tests/fuzz/dict/$t.dict" ] && dict=(-dict="$root/tests/fuzz/dict/$t.dict")
  echo "== fuzz_$t for ${seconds}s"
  # -timeout: one input taking longer is a finding (a hang); -rss_limit_mb: so
  # is one needing more memory. Inputs up to 8 kB reach the reader's longer lines.
  if ! ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 \
      "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
        -max_len=8192 -print_final_stats=1 -artifact_prefix="$findings/" "${dict[@]}" "$work" \
        > "$build/fuzz-run/$t.log" 2>&1; then
    echo "FINDING in fuzz_$t: see $build/fuzz-run/$t.log and $findings/"
    tail -40 "$build/fuzz-run/$t.log"
    status=1
  else
    grep -E '^stat::number_of_executed_units|^Done' "$build/fuzz-run/$t.log" || true
  fi
done
exit $status
