#!/usr/bin/env bash
# Faults that the operating system itself produces, end to end:
#   1. the file size limit (RLIMIT_FSIZE, with SIGXFSZ ignored) is reached
#      while MATRIX.TXT is written;
#   2. the data matrix does not fit in the address space (RLIMIT_AS), for
#      sizes that overflow 32 bits and for R near 2^31, and neither does a
#      data line that never ends (not under sanitizers, which need a huge
#      address space of their own);
#   3. the file system fills while MATRIX.TXT is written (a 64 kB tmpfs);
#   4. the current directory is on a read-only file system (a read-only bind
#      mount).
# 3 and 4 run in a private mount namespace and are skipped where mounting is
# not allowed.
#
#   os_faults.sh PROGRAM WORK_DIR [sanitized]
set -u
program=$1
work=$2
sanitized=${3:-}
rm -rf "$work"
mkdir -p "$work"
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A table of 120 objects: its MATRIX.TXT (about 130 kB) is larger than the
# program's write buffer, so the file fills during a row's write statement.
wide_data() {
  { echo WIDE; echo 1 120; seq -s ' ' 0 119; } > "$1/DATA.TXT"
}
answers=$'DATA.TXT\n0\n1\n0\n0\n'

# The complete MATRIX.TXT, to compare what a failed run leaves with.
mkdir -p "$work/complete"
wide_data "$work/complete"
(cd "$work/complete" && "$program" <<< "$answers" > stdout 2> stderr)
[ -s "$work/complete/MATRIX.TXT" ] || fail "the run without a fault wrote no MATRIX.TXT"

# check NAME DIR EXPECTED_STDERR: exit code 255, the report, and a MATRIX.TXT
# that holds a prefix of the complete file, both header records included.
check() {
  local name=$1 dir=$2 expected=$3
  [ "$(cat "$dir/exit")" = 255 ] || fail "$name: exit code $(cat "$dir/exit"), not 255"
  [ "$(cat "$dir/stderr")" = "$expected" ] || fail "$name: report differs:
$(cat "$dir/stderr")
--- expected:
$expected"
  if [ -f "$dir/MATRIX.TXT" ]; then
    local size
    size=$(stat -c %s "$dir/MATRIX.TXT")
    cmp -s "$dir/MATRIX.TXT" <(head -c "$size" "$work/complete/MATRIX.TXT") ||
      fail "$name: MATRIX.TXT is not the start of the complete file"
    [ "$(grep -c $'\r$' "$dir/MATRIX.TXT")" -ge 2 ] || fail "$name: the header records were lost"
    echo "$name: $size bytes of MATRIX.TXT kept"
  fi
}

# 1. File size limit: 16 blocks of 1024 bytes; the transcript is far smaller.
d=$work/file_size_limit
mkdir -p "$d"
wide_data "$d"
(cd "$d" && trap '' XFSZ && ulimit -f 16 && exec "$program" <<< "$answers" > stdout 2> stderr)
echo $? > "$d/exit"
check file_size_limit "$d" $'? System Error:\n? The file size exceeds the limit allowed and cannot be saved.\n? WRITE(UNIT=1,...'
[ "$(stat -c %s "$d/MATRIX.TXT" 2>/dev/null)" = 16384 ] || fail "file_size_limit: MATRIX.TXT is not cut at the limit"

# 2. Address space of 1 GiB: tables of 16 GiB (65536 by 65537, whose count
# wraps to 65536 in 32 bits) and of 8 GiB (2^31 - 1 by 1) cannot be had.
if [ -z "$sanitized" ]; then
  for dims in "65536 65537" "2147483647 1"; do
    d=$work/address_space_${dims// /_}
    mkdir -p "$d"
    printf 'TOO LARGE\n%s\n1 2\n' "$dims" > "$d/DATA.TXT"
    (cd "$d" && ulimit -v 1048576 && exec "$program" <<< $'DATA.TXT\n0\n' > stdout 2> stderr)
    echo $? > "$d/exit"
    check "address space, $dims" "$d" $'? FORTRAN Runtime Error:\n? Buffer allocation failed'
  done
  # A data file that never ends its first line: the record cannot grow past
  # the address space, and the title read reports it.
  d=$work/endless_line
  mkdir -p "$d"
  ln -s /dev/zero "$d/DATA.TXT"
  (cd "$d" && ulimit -v 1048576 && exec timeout 120 "$program" <<< $'DATA.TXT\n0\n' > stdout 2> stderr)
  echo $? > "$d/exit"
  check "endless line" "$d" $'? FORTRAN Runtime Error:\n? Buffer allocation failed\n? READ(UNIT=1,...'
else
  echo "skipped: address-space limits (sanitizer build)"
fi

# 3 and 4 need a private mount namespace.
if [ "$(id -u)" = 0 ]; then ns=(unshare -m); else ns=(unshare -rm); fi
if "${ns[@]}" sh -c 'd=$(mktemp -d) && mount -t tmpfs -o size=64k tmpfs "$d" && umount "$d"; r=$?; rmdir "$d"; exit $r' 2>/dev/null; then
  # Runs the program in DIR after MOUNT_COMMAND has mounted over DIR (whose
  # files are put back first), and copies the results out of the namespace.
  run_mounted() {
    local dir=$1 mount_command=$2
    mkdir -p "$dir/files" "$dir/over"
    "${ns[@]}" bash -c '
      dir=$1 program=$2 answers=$3 mount_command=$4
      cp "$dir/files/"* "$dir/over/" 2>/dev/null
      eval "$mount_command" || exit 99
      cd "$dir/over" && "$program" <<< "$answers" > "$dir/stdout" 2> "$dir/stderr"
      echo $? > "$dir/exit"
      [ -f MATRIX.TXT ] && cp MATRIX.TXT "$dir/MATRIX.TXT"
      true' _ "$dir" "$program" "$answers" "$mount_command"
  }
  # 3. The tmpfs has 16 pages; the data file takes one, MATRIX.TXT gets the rest.
  d=$work/full_file_system
  mkdir -p "$d/files"
  wide_data "$d/files"
  run_mounted "$d" 'mount -t tmpfs -o size=64k tmpfs "$dir/over" && cp "$dir/files/DATA.TXT" "$dir/over/"'
  check full_file_system "$d" $'? System Error:\n? There is not enough space on the disk.\n? WRITE(UNIT=1,...'
  # 4. The directory holds the data file but cannot take MATRIX.TXT.
  d=$work/read_only_file_system
  mkdir -p "$d/files"
  wide_data "$d/files"
  run_mounted "$d" 'cp "$dir/files/DATA.TXT" "$dir/over/" && mount --bind "$dir/over" "$dir/over" && mount -o remount,bind,ro "$dir/over"'
  check read_only_file_system "$d" $'? System Error:\n? Access Denied.\n? OPEN(UNIT=1,...'
  [ -f "$d/MATRIX.TXT" ] && fail "read_only_file_system: a MATRIX.TXT was written"
else
  echo "skipped: full and read-only file systems (no private mount namespace here)"
fi

[ $failures -eq 0 ] && echo "all OS fault checks passed"
[ $failures -eq 0 ]
