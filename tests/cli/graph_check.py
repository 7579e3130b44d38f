# --neighbors and --radius read back as users read them: the npz with
# scipy.sparse.load_npz (and its members byte for byte what save_npz
# writes), npy, long, csv and tsv against each other and against a sort of
# the whole matrix's rows; parts merged against the whole; 1, 2 and 7
# threads against each other, byte for byte.
#   graph_check.py TESSORA WORK
import csv, io, os, shutil, subprocess, sys, zipfile
import numpy as np
import scipy.sparse

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

# A table with ties (small whole numbers), gaps, and two rows with no
# variable in common with some others.
rng = np.random.default_rng(7)
m, n = 40, 6
x = rng.integers(0, 4, size=(m, n)).astype(float)
x[rng.random((m, n)) < 0.2] = np.nan
x[3, :] = np.nan; x[3, 0] = 2
x[4, :] = np.nan; x[4, 5] = 1
with open("t.csv", "w") as f:
    f.write("," + ",".join("v%d" % v for v in range(n)) + "\n")
    for i in range(m):
        f.write("o%d," % i + ",".join("NA" if np.isnan(v) else "%g" % v for v in x[i]) + "\n")
names = ["o%d" % i for i in range(m)]

def whole(coef, extra=()):
    run("-c", coef, *extra, "-o", "full.npy", "--shared-counts", "full_k.npy", "t.csv")
    return np.load("full.npy"), np.load("full_k.npy")

def reference_neighbors(full, counts, k, ascending, self_, min_shared):
    idx = np.full((m, k), -1, np.int64)
    val = np.full((m, k), np.nan, np.float32)
    cnt = np.zeros((m, k), np.uint32)
    for i in range(m):
        cand = [j for j in range(m) if (self_ or j != i) and not np.isnan(full[i, j]) and counts[i, j] >= min_shared]
        cand.sort(key=lambda j: ((full[i, j] if ascending else -full[i, j]), j))
        for t, j in enumerate(cand[:k]):
            idx[i, t], val[i, t], cnt[i, t] = j, full[i, j], counts[i, j]
    return idx, val, cnt

def npz_members(path):
    with zipfile.ZipFile(path) as z:
        return [(info.filename, z.read(info.filename)) for info in z.infolist()]

def as_save_npz_writes(path):
    """Our npz's members against those scipy.sparse.save_npz writes for the matrix it loads to."""
    g = scipy.sparse.load_npz(path)
    buf = io.BytesIO()
    scipy.sparse.save_npz(buf, g, compressed=False)
    buf.seek(0)
    ours, theirs = npz_members(path), npz_members(buf)
    check(ours == theirs, "%s: its members differ from what save_npz writes" % path)
    return g

def rows_of_csr(g):
    return [(g.indices[g.indptr[i]:g.indptr[i + 1]], g.data[g.indptr[i]:g.indptr[i + 1]]) for i in range(g.shape[0])]

cases = [("bray-curtis", (), True), ("7", (), False), ("7", ("--dissimilarity",), True), ("1", (), True),
         ("23", (), False)]
for coef, extra, ascending in cases:
    full, counts = whole(coef, extra)
    for k, self_, min_shared in [(3, False, 1), (5, True, 1), (39, False, 0), (4, False, 3), (40, True, 2)]:
        opts = list(extra) + ["--neighbors", str(k), "--min-shared", str(min_shared)] + (["--include-self"] if self_ else [])
        label = "%s %s" % (coef, " ".join(opts))
        ridx, rval, rcnt = reference_neighbors(full, counts, k, ascending, self_, min_shared)
        run("-c", coef, *opts, "-o", "n.npz", "--shared-counts", "nk.npz", "t.csv")
        g, gk = as_save_npz_writes("n.npz"), as_save_npz_writes("nk.npz")
        check(g.shape == (m, m) and g.data.dtype == np.float32, "npz shape or dtype (%s)" % label)
        check(gk.data.dtype == np.uint32, "counts npz dtype (%s)" % label)
        for i, ((cols, vals), (_, ks)) in enumerate(zip(rows_of_csr(g), rows_of_csr(gk))):
            keep = ridx[i] >= 0
            check(np.array_equal(cols, ridx[i][keep]), "npz row %d: neighbours (%s)" % (i, label))
            check(np.array_equal(bits(vals), bits(rval[i][keep])), "npz row %d: values (%s)" % (i, label))
            check(np.array_equal(ks, rcnt[i][keep]), "npz row %d: counts (%s)" % (i, label))
        run("-c", coef, *opts, "-o", "n.npy", "--indices", "ni.npy", "--shared-counts", "nk.npy", "t.csv")
        v, ix, kk = np.load("n.npy"), np.load("ni.npy"), np.load("nk.npy")
        check(v.dtype == np.float32 and ix.dtype == np.int64 and kk.dtype == np.uint32, "npy dtypes (%s)" % label)
        check(np.array_equal(ix, ridx) and same_values(v, rval) and np.array_equal(kk, rcnt), "npy (%s)" % label)
        for fmt, sep in [("csv", ","), ("tsv", "\t")]:
            rows = list(csv.reader(io.StringIO(run("-c", coef, *opts, "-f", fmt, "t.csv").stdout.decode()), delimiter=sep))
            check(rows[0] == [""] + sum([["neighbor_%d" % t, "value_%d" % t] for t in range(1, k + 1)], []), "%s header" % fmt)
            for i, r in enumerate(rows[1:]):
                check(r[0] == names[i], "%s label" % fmt)
                want_names = [names[j] if j >= 0 else "" for j in ridx[i]]
                check(r[1::2] == want_names, "%s row %d neighbours (%s)" % (fmt, i, label))
                check(same_values([to_f32(s) for s in r[2::2]], rval[i]), "%s row %d values (%s)" % (fmt, i, label))
        lines = run("-c", coef, *opts, "-f", "long", "t.csv").stdout.decode().splitlines()
        want = ["\t".join([names[i], names[j], "", str(rcnt[i, t])]) for i in range(m) for t, j in enumerate(ridx[i]) if j >= 0]
        got = [l.split("\t") for l in lines[1:]]
        check(lines[0] == "i\tj\tvalue\tk" and len(got) == len(want), "long lines (%s)" % label)
        check(all(a[0] + a[1] + a[3] == b.split("\t")[0] + b.split("\t")[1] + b.split("\t")[3] for a, b in zip(got, want)),
              "long labels or k (%s)" % label)
        check(same_values([to_f32(a[2]) for a in got], rval[ridx >= 0]), "long values (%s)" % label)

    # Within a threshold: the filtered matrix, each pair in both rows of the npz.
    finite = full[~np.isnan(full)]
    for q, self_, min_shared in [(0.2, False, 1), (0.5, True, 1), (0.9, False, 3)]:
        t = np.float32(np.quantile(finite, q if ascending else 1 - q))
        opts = list(extra) + ["--radius", repr(float(t)), "--min-shared", str(min_shared)] + (["--include-self"] if self_ else [])
        label = "%s %s" % (coef, " ".join(opts))
        keep = (full <= t) if ascending else (full >= t)
        keep &= ~np.isnan(full) & (counts >= min_shared)
        if not self_:
            np.fill_diagonal(keep, False)
        run("-c", coef, *opts, "-o", "r.npz", "--shared-counts", "rk.npz", "t.csv")
        g, gk = as_save_npz_writes("r.npz"), as_save_npz_writes("rk.npz")
        dense_keep = np.zeros((m, m), bool)
        for i, (cols, vals) in enumerate(rows_of_csr(g)):
            check(np.all(np.diff(cols) > 0), "radius npz row %d: columns ascending (%s)" % (i, label))
            dense_keep[i, cols] = True
            check(np.array_equal(bits(vals), bits(full[i, cols])), "radius npz row %d: values (%s)" % (i, label))
        check(np.array_equal(dense_keep, keep), "radius npz: the pairs kept (%s)" % label)
        check(np.array_equal(gk.toarray()[keep], counts[keep]), "radius counts npz (%s)" % label)
        lines = run("-c", coef, *opts, "-f", "long", "t.csv").stdout.decode().splitlines()[1:]
        want = [(i, j) for i in range(m) for j in range(i, m) if keep[i, j]]
        got = [tuple(l.split("\t")) for l in lines]
        check([(a, b) for a, b, _, _ in got] == [(names[i], names[j]) for i, j in want], "radius long pairs (%s)" % label)
        check(same_values([to_f32(v) for _, _, v, _ in got], [full[i, j] for i, j in want]), "radius long values (%s)" % label)
        rows = list(csv.reader(io.StringIO(run("-c", coef, *opts, "-f", "csv", "t.csv").stdout.decode())))
        check(len(rows) == m, "radius csv: one line per object (%s)" % label)
        for i, r in enumerate(rows):
            cols = np.nonzero(keep[i])[0]
            check(r[0] == names[i] and r[1::2] == [names[j] for j in cols], "radius csv row %d (%s)" % (i, label))
            check(same_values([to_f32(v) for v in r[2::2]], full[i, cols]), "radius csv row %d values (%s)" % (i, label))

# Parts merged equal the whole, and any thread count gives the same bytes.
for opts in [["--neighbors", "6"], ["--neighbors", "6", "--include-self", "--min-shared", "2"], ["--radius", "0.4"]]:
    label = " ".join(opts)
    outputs = {}
    for threads in ["1", "2", "7"]:
        for fmt in ["npz", "csv", "long"]:
            run("-c", "8", *opts, "--threads", threads, "-f", fmt, "-o", "w%s.%s" % (threads, fmt), "--shared-counts",
                "wk%s.%s" % (threads, fmt), "t.csv")
            for f in ["w%s.%s" % (threads, fmt), "wk%s.%s" % (threads, fmt)]:
                outputs.setdefault(f.replace(threads, "", 1), set()).add(open(f, "rb").read())
    check(all(len(v) == 1 for v in outputs.values()), "1, 2 and 7 threads differ (%s)" % label)
    for parts in [3, 7, 50]:
        for k in range(1, parts + 1):
            run("-c", "8", *opts, "--part", "%d/%d" % (k, parts), "-o", "g%d.part" % k, "t.csv")
        order = ["g%d.part" % k for k in range(parts, 0, -1)]
        for fmt in ["npz", "csv", "long"]:
            run("merge", *order, "-f", fmt, "-o", "m." + fmt, "--shared-counts", "mk." + fmt)
            check(open("m." + fmt, "rb").read() == open("w1." + fmt, "rb").read(), "merge of %d parts, %s (%s)" % (parts, fmt, label))
            check(open("mk." + fmt, "rb").read() == open("wk1." + fmt, "rb").read(), "merged counts, %d parts, %s (%s)" % (parts, fmt, label))
    if opts[0] == "--neighbors":
        run("-c", "8", *opts, "-o", "v.npy", "--indices", "i.npy", "t.csv")
        run("merge", *order, "-o", "mv.npy", "--indices", "mi.npy")
        check(open("v.npy", "rb").read() == open("mv.npy", "rb").read() and open("i.npy", "rb").read() == open("mi.npy", "rb").read(),
              "merged npy (%s)" % label)

# The data file, objects as its columns, in the graph formats too.
run("-c", "8", "--neighbors", "2", "-o", "meadows.npz", os.path.join(HERE, "..", "..", "examples", "MEADOWS.TXT"))
check(scipy.sparse.load_npz("meadows.npz").shape == (8, 8), "npz of the data file")

sys.exit(report())
