# The output formats read back as users read them, against each other and
# against a plain count; parts cut at odd places merged against the whole.
#   formats_check.py TESSORA WORK
import csv, io, os, shutil, subprocess, sys
import numpy as np

T, W = sys.argv[1], sys.argv[2]
HERE = os.path.dirname(os.path.abspath(__file__))
shutil.rmtree(W, ignore_errors=True)
os.makedirs(W)
os.chdir(W)
sys.path.insert(0, HERE)
from readback import bits, check, report, same_bits, same_values, to_f32
import readback

def run(*args, **kw):
    return readback.run(T, *args, **kw)

with open("t.csv", "w") as f:
    subprocess.run(["/usr/bin/python3", os.path.join(HERE, "make_table.py"), "23", "6", "5", "csv"], stdout=f, check=True)
raw = list(csv.reader(open("t.csv")))
names = [r[0] for r in raw[1:]]
table = np.array([[np.nan if v == "NA" else float(v) for v in r[1:]] for r in raw[1:]], dtype=np.float32)
m = len(names)

for coef in ["bray-curtis", "1", "24", "12"]:
    run("-c", coef, "-o", "full.npy", "--shared-counts", "k.npy", "t.csv")
    full, k = np.load("full.npy"), np.load("k.npy")
    check(full.dtype == np.float32 and full.shape == (m, m), "npy: dtype or shape")
    check(k.dtype == np.uint32, "counts npy: dtype")
    known = ~np.isnan(table)
    plain = known.astype(np.int64) @ known.T.astype(np.int64)
    check(np.array_equal(k, plain), "counts npy differ from a plain count (%s)" % coef)
    check(same_bits(full, full.T), "npy not symmetric (%s)" % coef)
    run("-c", coef, "-o", "cond.npy", "--layout", "condensed", "t.csv")
    cond = np.load("cond.npy")
    iu = np.triu_indices(m, 1)
    check(same_bits(cond, full[iu]), "condensed npy is not the pairs of the full one in pdist order (%s)" % coef)
    for fmt, sep in [("csv", ","), ("tsv", "\t")]:
        for layout in ["full", "lower"]:
            text = run("-c", coef, "-f", fmt, "--layout", layout, "t.csv").stdout.decode()
            rows = list(csv.reader(io.StringIO(text), delimiter=sep))
            check(rows[0] == [""] + names, "%s header" % fmt)
            got = np.full((m, m), np.nan, dtype=np.float32)
            for i, r in enumerate(rows[1:]):
                check(r[0] == names[i], "%s row label" % fmt)
                for j, v in enumerate(r[1:]):
                    if layout == "lower" and j > i:
                        check(v == "", "%s lower: a cell above the diagonal" % fmt)
                    else:
                        got[i, j] = to_f32(v)
            want = full if layout == "full" else np.where(np.tril(np.ones((m, m), bool)), full, np.nan)
            check(same_values(got, want), "%s %s values differ from npy (%s)" % (fmt, layout, coef))
    for layout, diag in [("lower", False), ("full", True)]:
        lines = run("-c", coef, "-f", "long", "--layout", layout, "t.csv").stdout.decode().splitlines()
        check(lines[0] == "i\tj\tvalue\tk", "long header")
        want = [(i, j) for i in range(m) for j in range(i if diag else i + 1, m)]
        check(len(lines) - 1 == len(want), "long: number of lines")
        for line, (i, j) in zip(lines[1:], want):
            a, b, v, kk = line.split("\t")
            check((a, b) == (names[i], names[j]) and int(kk) == plain[i, j], "long: labels or k at %d %d" % (i, j))
            check(same_values(to_f32(v), full[i, j]), "long: value at %d %d (%s)" % (i, j, coef))
    # PHYLIP: names padded to 10 then blank-separated values.
    lines = run("-c", coef, "-f", "phylip", "t.csv").stdout.decode().splitlines()
    check(lines[0] == str(m), "phylip count line")
    for i, line in enumerate(lines[1:]):
        parts = line.split()
        check(parts[0] == names[i] and line[:10].rstrip() == names[i], "phylip name")
        check(same_values(np.array([to_f32(v) for v in parts[1:]]), full[i]), "phylip row (%s)" % coef)
    lines = run("-c", coef, "-f", "phylip", "--layout", "lower", "t.csv").stdout.decode().splitlines()
    check([len(l.split()) - 1 for l in lines[1:]] == list(range(m)), "phylip lower: row lengths")

# Objects as columns, tsv input, the same table transposed.
with open("t.tsv", "w") as f:
    f.write("\t".join([""] + names) + "\n")
    for v in range(table.shape[1]):
        f.write("\t".join(["v%d" % v] + ["NA" if np.isnan(x) else repr(float(x)) for x in table[:, v]]) + "\n")
run("-c", "8", "-o", "cols.npy", "--objects", "columns", "t.tsv")
run("-c", "8", "-o", "rows.npy", "t.csv")
check(same_bits(np.load("cols.npy"), np.load("rows.npy")), "objects as the columns of a TSV table")
# Standard input and output, and the default format (tsv) on standard output.
p = run("-c", "8", "--input-format", "csv", "-", stdin=open("t.csv", "rb").read())
run("-c", "8", "-o", "x.tsv", "t.csv")
check(p.stdout == open("x.tsv", "rb").read(), "stdin/stdout against files")

# Parts at odd places: 7 parts of 253 pairs, merged in any order.
for fmt, ext, extra in [("npy", "npy", []), ("npy", "npy", ["--layout", "condensed"]), ("txt", "txt", []), ("csv", "csv", ["--layout", "lower"])]:
    run("-c", "8", "-f", fmt, *extra, "-o", "whole." + ext, "t.csv")
    for k in range(1, 8):
        run("-c", "8", "--part", "%d/7" % k, "-o", "p%d.part" % k, "--shared-counts", "c%d.part" % k, "t.csv")
    run("merge", *["p%d.part" % k for k in [3, 1, 7, 2, 6, 5, 4]], "-f", fmt, *extra, "-o", "merged." + ext)
    check(open("whole." + ext, "rb").read() == open("merged." + ext, "rb").read(), "merge %s %s differs from the whole" % (fmt, extra))
run("-c", "8", "-f", "long", "-o", "whole_long.tsv", "t.csv")
run("merge", *["c%d.part" % k for k in range(7, 0, -1)], *["p%d.part" % k for k in range(1, 8)], "-f", "long", "-o", "merged_long.tsv")
check(open("whole_long.tsv", "rb").read() == open("merged_long.tsv", "rb").read(), "merge of value and count parts into long")
run("-c", "8", "-o", "kw.npy", "--shared-counts", "kw_counts.npy", "t.csv")
run("merge", *["c%d.part" % k for k in range(1, 8)], "-o", "km.npy")
check(same_bits(np.load("km.npy"), np.load("kw_counts.npy")), "merged count parts")
# More parts than pairs: empty parts merge too.
for k in range(1, 301):
    run("-c", "8", "--part", "%d/300" % k, "-o", "q%d.part" % k, "t.csv")
run("merge", *["q%d.part" % k for k in range(1, 301)], "-o", "q.npy")
check(open("q.npy", "rb").read() == open("rows.npy", "rb").read(), "merge of 300 parts")

sys.exit(report())
