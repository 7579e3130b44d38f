#!/usr/bin/env bash
# Bad input and faults: each case's exit status and its one line on standard
# error, exactly; where an output existed before, it must be unchanged after.
#   bad_input.sh TESSORA WORK
set -u
T=$1 W=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$W" && mkdir -p "$W" && cd "$W" || exit 1
/usr/bin/python3 "$here/make_table.py" 4 5 1 data > t.dat
/usr/bin/python3 "$here/make_table.py" 6 3 2 csv > t.csv
/usr/bin/python3 "$here/make_table.py" 7 3 3 csv > other.csv
/usr/bin/python3 "$here/make_table.py" 60 3 4 csv > big.csv
printf ',a,b\nr1,1,2\nr2,3\n' > ragged.csv
printf ',a,b\nr1,1,2\nr2,3,abc\n' > text.csv
printf 'a\tb\nr1\t1\t2\n' > header_short.tsv
printf ',a,b\nr1,1,2\nr2,-4e38,2\n' > range.csv
printf ',a,b\nr1,1,"2\n' > quote.csv
printf ',a,b\nonly,1,2\n' > one.csv
printf 'TITLE\n2 3\n1 2 3\n4 x5 6\n' > bad.dat
printf 'TITLE\n2 3\n1 2 3\n' > short.dat
: > empty.csv
mkdir adir
"$T" -c 8 --part 1/2 -o p1.part --shared-counts k1.part t.csv && "$T" -c 8 --part 2/2 -o p2.part t.csv &&
"$T" -c 7 --part 2/2 -o q2.part t.csv && "$T" -c 8 --part 2/2 -o o2.part other.csv &&
"$T" -c 8 --part 2/3 -o r2.part t.csv && head -c 100 p1.part > cut.part || exit 1
echo old > old.npy

fail=0
# name @ status @ standard error @ command (run by bash here) @ check after
while IFS='@' read -r name status err cmd after; do
  [ -z "$name" ] || [ "${name:0:1}" = "#" ] && continue
  actual_err=$(bash -c "$cmd" 2>&1 >/dev/null); actual=$?
  if [ "$actual" != "$status" ] || [ "$actual_err" != "$err" ]; then
    echo "FAIL $name: status $actual (want $status)"; echo "  got:  $actual_err"; echo "  want: $err"; fail=1
  fi
  if [ -n "$after" ] && ! bash -c "$after"; then echo "FAIL $name: after-check: $after"; fail=1; fi
  if ls -a | grep -q '\.tmp-'; then echo "FAIL $name: a temporary file was left"; ls -a | grep '\.tmp-'; rm -f .*.tmp-*; fail=1; fi
done <<CASES
unknown option@2@tessora: The following argument was not expected: --bogus@"$T" --bogus -c 8 t.dat@
option without its value@2@tessora: --coefficient: 1 required N|NAME missing@"$T" t.dat -c@
no input@2@tessora: no INPUT table given (see tessora --help)@"$T" -c 8@
two inputs@2@tessora: one INPUT table only, got 't.dat' and 't.csv'@"$T" -c 8 t.dat t.csv@
no coefficient@2@tessora: no coefficient given: -c 1-34 or a name (see --list-coefficients)@"$T" t.dat@
coefficient 35@2@tessora: unknown coefficient '35': give a number from 1 to 34 or a name: euclidean, manhattan, mean-character-difference, ruzicka, similarity-ratio, marczewski-steinhaus, bray-curtis-similarity, bray-curtis, chord, angular-separation, geodesic, kendall, faith, penrose-shape, penrose-size, gower, hellinger, canberra, kulczynski, chi-square, renkonen, divergence, covariance, correlation, simple-matching, rogers-tanimoto, sokal-sneath, anderberg-1, anderberg-2, faith-2, russell-rao, baroni-urbani-buser, yule-1, yule-2@"$T" -c 35 t.dat@
coefficient 0@2@tessora: unknown coefficient '0': give a number from 1 to 34 or a name: euclidean, manhattan, mean-character-difference, ruzicka, similarity-ratio, marczewski-steinhaus, bray-curtis-similarity, bray-curtis, chord, angular-separation, geodesic, kendall, faith, penrose-shape, penrose-size, gower, hellinger, canberra, kulczynski, chi-square, renkonen, divergence, covariance, correlation, simple-matching, rogers-tanimoto, sokal-sneath, anderberg-1, anderberg-2, faith-2, russell-rao, baroni-urbani-buser, yule-1, yule-2@"$T" -c 0 t.dat@
scale for bray-curtis@2@tessora: --scale is for 1, 2 and 13 only, not 8 bray-curtis@"$T" -c 8 --scale t.dat@
dissimilarity of a distance@2@tessora: --dissimilarity is for the similarities 4, 5, 7, 19, 21 and 24-34 only, not 1 euclidean@"$T" -c 1 --dissimilarity t.dat@
bad format@2@tessora: --format 'xls' is none of txt, phylip, csv, tsv, long, npy@"$T" -c 8 -f xls t.dat@
condensed csv@2@tessora: --layout condensed is for npy only, not csv@"$T" -c 8 -f csv --layout condensed t.dat@
bad objects@2@tessora: --objects 'cols' is neither rows nor columns@"$T" -c 8 --objects cols t.dat@
bad missing@2@tessora: --missing 'none' is neither a number nor NA@"$T" -c 8 --missing none t.dat@
bad threads@2@tessora: --threads 'two' is not a whole number of 0 or more@"$T" -c 8 --threads two t.dat@
part 0@2@tessora: --part 0/3 is out of range: K must be from 1 to N, and N 1 or more@"$T" -c 8 --part 0/3 t.dat@
part 4 of 3@2@tessora: --part 4/3 is out of range: K must be from 1 to N, and N 1 or more@"$T" -c 8 --part 4/3 t.dat@
part form@2@tessora: --part '3' is not of the form K/N@"$T" -c 8 --part 3 t.dat@
missing input@1@tessora: cannot open nothere.dat: No such file or directory@"$T" -c 8 nothere.dat@
input is a folder@1@tessora: cannot open adir: it is a directory@"$T" -c 8 adir@
illegal character in a data file@1@tessora: bad.dat:4:3: illegal character in numeric input: 'x5'@"$T" -c 8 bad.dat@
data file ends early@1@tessora: short.dat:3: the file ends before every value was read@"$T" -c 8 short.dat@
ragged csv row@1@tessora: ragged.csv:3:5: row 'r2' has 1 values where the header line names 2 columns@"$T" -c 8 ragged.csv@
header shorter than rows@1@tessora: header_short.tsv:2:6: row 'r1' has 2 values where the header line names 1 columns@"$T" -c 8 header_short.tsv@
text cell@1@tessora: text.csv:3:6: 'abc' is not a number@"$T" -c 8 text.csv@
number out of float range@1@tessora: range.csv:3:4: '-4e38' is out of the float range (at most 3.4028235e+38 in magnitude)@"$T" -c 8 range.csv@
unterminated quote@1@tessora: quote.csv:2:6: a quoted cell has no closing quote@"$T" -c 8 quote.csv@
empty csv@1@tessora: empty.csv: no header line (the names of the columns)@"$T" -c 8 empty.csv@
one object@1@tessora: one.csv: 1 object (the rows); at least 2 are needed (see --objects)@"$T" -c 8 one.csv@
unwritable output@1@tessora: cannot write nodir/m.npy: No such file or directory@"$T" -c 8 -o nodir/m.npy t.csv@
output is a folder@1@tessora: cannot write adir: it is a directory@"$T" -c 8 -o adir t.csv@
full standard output@1@tessora: cannot write standard output: No space left on device@"$T" -c 8 -f npy t.csv > /dev/full@
file size limit while writing@1@tessora: cannot write old.npy: File too large; the old file was left unchanged@ulimit -f 1; trap '' XFSZ; exec "$T" -c 8 -o old.npy big.csv@[ "\$(cat old.npy)" = old ]
merge of other inputs@1@tessora: p1.part and o2.part are parts of different input tables@"$T" merge p1.part o2.part -o m.npy@
merge of other options@1@tessora: p1.part and q2.part were computed with different options (coefficient 8 against 7)@"$T" merge p1.part q2.part -o m.npy@
merge of other splits@1@tessora: p1.part is part 1/2 and r2.part part 2/3: parts of different splits@"$T" merge p1.part r2.part -o m.npy@
merge with a gap@1@tessora: part 2/2 is missing@"$T" merge p1.part -o m.npy@
merge with an overlap@1@tessora: part 1/2 is given twice: p1.part and p1.part@"$T" merge p1.part p1.part p2.part -o m.npy@
merge of a cut part@1@tessora: cut.part is damaged or cut short: its checksum does not match@"$T" merge cut.part p2.part -o m.npy@
merge long without counts@1@tessora: the long format needs the shared counts too: give the count parts (--part with --shared-counts) as well@"$T" merge p1.part p2.part -f long -o m.tsv@
merge of values with counts@1@tessora: p1.part and k1.part hold different things (values and shared counts); merge them apart@"$T" merge p1.part p2.part k1.part -o m.npy@
merge of no part file@1@tessora: t.csv is not a tessora part file@"$T" merge t.csv -o m.npy@
CASES
exit $fail
