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
printf 'plot\nP1\nP2\n' > novars.csv
printf 'TITLE\n2 3\n1 2 3\n4 x5 6\n' > bad.dat
printf 'TITLE\n2 3\n1 2 3\n' > short.dat
: > empty.csv
mkdir adir
"$T" -c 8 --part 1/2 -o p1.part --shared-counts k1.part t.csv && "$T" -c 8 --part 2/2 -o p2.part t.csv &&
"$T" -c 7 --part 2/2 -o q2.part t.csv && "$T" -c 8 --part 2/2 -o o2.part other.csv &&
"$T" -c 8 --part 2/3 -o r2.part t.csv && head -c 100 p1.part > cut.part || exit 1
echo old > old.npy
cp t.csv t.orig && ln t.csv hard.csv && ln -s t.csv sym.csv && ln -s . here
"$T" -c 8 --neighbors 2 --part 1/2 -o g1.part t.csv || exit 1
same() { cmp -s t.csv t.orig && ! ls -a | grep -q '\.tmp-'; }
export -f same

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
option without its value@2@tessora: --coefficient: 1 required N|SLUG missing@"$T" t.dat -c@
no input@2@tessora: no INPUT table given (see tessora --help)@"$T" -c 8@
two inputs@2@tessora: one INPUT table only, got 't.dat' and 't.csv'@"$T" -c 8 t.dat t.csv@
no coefficient@2@tessora: no coefficient given: -c 1-34 or a slug (see --list-coefficients)@"$T" t.dat@
coefficient 35@2@tessora: unknown coefficient '35': give a number from 1 to 34, a menu name or one of the slugs euclidean, manhattan, mean-character-difference, ruzicka, similarity-ratio, marczewski-steinhaus, bray-curtis-similarity, bray-curtis, chord, angular-separation, geodesic, kendall, faith, penrose-shape, penrose-size, gower, hellinger, canberra, kulczynski, chi-square, renkonen, divergence, covariance, correlation, simple-matching, rogers-tanimoto, sokal-sneath, anderberg-1, anderberg-2, faith-2, russell-rao, baroni-urbani-buser, yule-1, yule-2@"$T" -c 35 t.dat@
coefficient 0@2@tessora: unknown coefficient '0': give a number from 1 to 34, a menu name or one of the slugs euclidean, manhattan, mean-character-difference, ruzicka, similarity-ratio, marczewski-steinhaus, bray-curtis-similarity, bray-curtis, chord, angular-separation, geodesic, kendall, faith, penrose-shape, penrose-size, gower, hellinger, canberra, kulczynski, chi-square, renkonen, divergence, covariance, correlation, simple-matching, rogers-tanimoto, sokal-sneath, anderberg-1, anderberg-2, faith-2, russell-rao, baroni-urbani-buser, yule-1, yule-2@"$T" -c 0 t.dat@
scale for bray-curtis@2@tessora: scale (by n / k) is only for the coefficients 1, 2, 13, not 8 bray-curtis@"$T" -c 8 --scale t.dat@
dissimilarity of a distance@2@tessora: dissimilarity (D = 1 - S) is only for the similarities 4, 5, 7, 19, 21, 24-34, not 1 euclidean@"$T" -c 1 --dissimilarity t.dat@
bad format@2@tessora: --format 'xls' is none of txt, phylip, csv, tsv, long, npy, npz@"$T" -c 8 -f xls t.dat@
condensed csv@2@tessora: --layout condensed is for npy only, not csv@"$T" -c 8 -f csv --layout condensed t.dat@
bad objects@2@tessora: objects must be 'rows' or 'columns', not 'cols'@"$T" -c 8 --objects cols t.dat@
bad missing@2@tessora: missing 'none' is neither a number nor NA@"$T" -c 8 --missing none t.dat@
bad threads@2@tessora: --threads 'two' is not a whole number@"$T" -c 8 --threads two t.dat@
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
one object@1@tessora: one.csv: the table has 1 object: at least 2 are needed@"$T" -c 8 one.csv@
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
merge long without counts@1@tessora: the long format needs the shared counts too: give the count parts (--part with --shared-counts) beside the value parts@"$T" merge p1.part p2.part -f long -o m.tsv@
merge of values with counts@1@tessora: p1.part and k1.part hold values and shared counts: give --shared-counts FILE for the counts, or merge them apart@"$T" merge p1.part p2.part k1.part -o m.npy@
merge of no part file@1@tessora: t.csv is not a tessora part file@"$T" merge t.csv -o m.npy@
threads past the limit@2@tessora: threads must be from 0 (one per core) to 4096, not 5000@"$T" -c 8 --threads 5000 t.dat@
negative threads@2@tessora: threads must be from 0 (one per core) to 4096, not -1@"$T" -c 8 --threads -1 t.dat@
no variables@1@tessora: novars.csv: the table has no variables@"$T" -c 8 novars.csv@
output is the input@2@tessora: --output 't.csv' and the input 't.csv' are the same file (the input would be overwritten)@"$T" -c 8 -o t.csv t.csv@same
output is the input through ./@2@tessora: --output './t.csv' and the input 't.csv' are the same file (the input would be overwritten)@"$T" -c 8 -o ./t.csv t.csv@same
output is a hard link of the input@2@tessora: --output 'hard.csv' and the input 't.csv' are the same file (the input would be overwritten)@"$T" -c 8 -o hard.csv t.csv@same
output is a symbolic link to the input@2@tessora: --output 'sym.csv' and the input 't.csv' are the same file (the input would be overwritten)@"$T" -c 8 -o sym.csv t.csv@same
output through a link to the folder@2@tessora: --output 'here/t.csv' and the input 't.csv' are the same file (the input would be overwritten)@"$T" -c 8 -o here/t.csv t.csv@same
output through /dev/fd@2@tessora: --output '/dev/fd/3' and the input 't.csv' are the same file (the input would be overwritten)@"$T" -c 8 -o /dev/fd/3 t.csv 3<t.csv@same
standard output appended to the input@2@tessora: --output (standard output) and the input 't.csv' are the same file (the input would be overwritten)@"$T" -c 8 t.csv >> t.csv@same
standard input is the output@2@tessora: --output 't.csv' and the input (standard input) are the same file (the input would be overwritten)@"$T" -c 8 --input-format csv -o t.csv - < t.csv@same
shared counts over the input@2@tessora: --shared-counts 't.csv' and the input 't.csv' are the same file (the input would be overwritten)@"$T" -c 8 -o x.npy --shared-counts t.csv t.csv@same && [ ! -e x.npy ]
part over the input@2@tessora: --output 'hard.csv' and the input 't.csv' are the same file (the input would be overwritten)@"$T" -c 8 --part 1/2 -o hard.csv t.csv@same
indices over the input@2@tessora: --indices 'sym.csv' and the input 't.csv' are the same file (the input would be overwritten)@"$T" -c 8 --neighbors 2 -o v.npy --indices sym.csv t.csv@same && [ ! -e v.npy ]
shared counts are the output@2@tessora: --shared-counts 'x' and --output 'x' are the same file@"$T" -c 8 -o x --shared-counts x t.csv@[ ! -e x ]
shared counts are the output through a link@2@tessora: --shared-counts 'old.npy' and --output 'here/old.npy' are the same file@"$T" -c 8 -o here/old.npy --shared-counts old.npy t.csv@[ "\$(cat old.npy)" = old ]
merge over one of its parts@2@tessora: --output 'p2.part' and the part 'p2.part' are the same file (the part would be overwritten)@cp p2.part p2.keep && "$T" merge p1.part p2.part -o p2.part@cmp -s p2.part p2.keep
merge counts over one of its parts@2@tessora: --shared-counts 'here/k1.part' and the part 'k1.part' are the same file (the part would be overwritten)@"$T" merge p1.part p2.part k1.part -o m.npy --shared-counts here/k1.part@[ ! -e m.npy ]
merge shared counts without count parts@1@tessora: --shared-counts needs the count parts (--part with --shared-counts) beside the value parts@"$T" merge p1.part p2.part -o m.npy --shared-counts k.npy@[ ! -e m.npy ] && [ ! -e k.npy ]
npz for a matrix@2@tessora: npz is for --neighbors and --radius; a matrix goes to npy@"$T" -c 8 -o m.npz t.csv@
k of 0@2@tessora: k must be from 1 to 5 (the other objects), not 0@"$T" -c 8 --neighbors 0 -o n.npz t.csv@[ ! -e n.npz ]
k of every other object and one more@2@tessora: k must be from 1 to 5 (the other objects), not 6@"$T" -c 8 --neighbors 6 -o n.npz t.csv@[ ! -e n.npz ]
k past the objects with self@2@tessora: k must be from 1 to 6 (the objects, self included), not 7@"$T" -c 8 --neighbors 7 --include-self -o n.npz t.csv@[ ! -e n.npz ]
k not a number@2@tessora: --neighbors 'many' is not a whole number@"$T" -c 8 --neighbors many t.csv@
min_shared past the variables@2@tessora: min_shared must be from 0 to 3 (the variables), not 4@"$T" -c 8 --neighbors 2 --min-shared 4 -o n.csv t.csv@[ ! -e n.csv ]
radius NaN@2@tessora: the threshold must be a number, not NaN@"$T" -c 8 --radius nan -o r.npz t.csv@[ ! -e r.npz ]
radius not a number@2@tessora: --radius 'near' is not a number@"$T" -c 8 --radius near t.csv@
radius past the float range@2@tessora: --radius '1e39' is beyond the range of a float@"$T" -c 8 --radius 1e39 t.csv@
radius past the pair limit@2@tessora: more than 3 pairs lie within the threshold 1e+09: raise max_pairs or choose a threshold nearer the objects@"$T" -c 8 --radius 1e9 --max-pairs 3 -o r.npz t.csv@[ ! -e r.npz ]
neighbors and radius@2@tessora: --neighbors and --radius exclude each other@"$T" -c 8 --neighbors 2 --radius 0.5 t.csv@
neighbors as txt@2@tessora: --neighbors writes npz, npy, long, csv or tsv, not txt@"$T" -c 8 --neighbors 2 -o n.txt t.csv@
radius as npy@2@tessora: --radius writes npz, long, csv or tsv, not npy@"$T" -c 8 --radius 0.5 -o r.npy t.csv@
neighbors npy without indices@2@tessora: npy with --neighbors writes two files: the values to --output and the indices to --indices FILE@"$T" -c 8 --neighbors 2 -o n.npy t.csv@
layout of neighbours@2@tessora: --layout is for the matrix, not for --neighbors@"$T" -c 8 --neighbors 2 --layout lower t.csv@
include-self without neighbours@2@tessora: --include-self is for --neighbors and --radius@"$T" -c 8 --include-self t.csv@
max-pairs with neighbours@2@tessora: --max-pairs is for --radius@"$T" -c 8 --neighbors 2 --max-pairs 5 t.csv@
shared counts of a graph part@2@tessora: --shared-counts: a part of --neighbors or --radius holds the shared counts already (merge writes them with --shared-counts)@"$T" -c 8 --neighbors 2 --part 1/2 -o g.part --shared-counts gk.part t.csv@
merge of graph and matrix parts@1@tessora: g1.part is a part of --neighbors or --radius and p1.part a part of a matrix: merge them apart@"$T" merge g1.part p1.part -o m.npz@
merge of matrix and graph parts@1@tessora: p1.part is a part of a matrix and g1.part a part of --neighbors or --radius: merge them apart@"$T" merge p1.part g1.part -o m.npy@
merge of a graph part alone@1@tessora: part 2/2 is missing@"$T" merge g1.part -o m.npz@
CASES
exit $fail
