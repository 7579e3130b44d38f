#!/usr/bin/env python3
"""The front ends give one answer: the command line's npz graphs load with
scipy.sparse.load_npz and equal the Python calls, and R's neighbours equal
Python's (1-based), bit for bit in the values.

Usage: agreement.py BUILD_DIR [R_LIBRARY]   (without R_LIBRARY: no R part)
"""
import os
import pathlib
import subprocess
import sys
import tempfile

import numpy as np
import scipy.sparse

build = pathlib.Path(sys.argv[1]).resolve()
r_library = sys.argv[2] if len(sys.argv) > 2 else None
sys.path.insert(0, str(build / "python"))
import tessora  # noqa: E402

tessora_bin = str(build / "bin" / "tessora")
failures = []


def check(what, ok):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def table(path, rng, m, n):
    """Small integers (ties), 15% gaps, one object that knows nothing."""
    x = rng.integers(0, 5, size=(m, n)).astype(np.float32)
    x[rng.random((m, n)) < 0.15] = np.nan
    x[3, :] = np.nan
    with open(path, "w") as f:
        f.write("id," + ",".join(f"v{v}" for v in range(n)) + "\n")
        for i in range(m):
            f.write(f"o{i}," + ",".join("NA" if np.isnan(a) else f"{a:g}" for a in x[i]) + "\n")
    return x


def same_csr(a, b):
    a, b = a.tocsr().copy(), b.tocsr().copy()
    a.sort_indices()
    b.sort_indices()
    return (a.shape == b.shape and np.array_equal(a.indptr, b.indptr) and np.array_equal(a.indices, b.indices)
            and np.array_equal(a.data.view(np.uint32), b.data.astype(np.float32).view(np.uint32)))


with tempfile.TemporaryDirectory() as work:
    work = pathlib.Path(work)
    rng = np.random.default_rng(7)
    x = table(work / "t.csv", rng, 150, 9)
    cases = [("bray-curtis", 5, 0.4), ("euclidean", 7, 3.0), ("correlation", 4, 0.5), ("simple-matching", 6, 0.8)]
    for coefficient, k, radius in cases:
        knn = work / f"{coefficient}.knn.npz"
        subprocess.run([tessora_bin, "-c", coefficient, "--neighbors", str(k), "-o", str(knn), str(work / "t.csv")],
                       check=True)
        check(f"command line npz = neighbors_graph ({coefficient}, k = {k})",
              same_csr(scipy.sparse.load_npz(knn), tessora.neighbors_graph(x, coefficient, k)))
        ball = work / f"{coefficient}.radius.npz"
        subprocess.run([tessora_bin, "-c", coefficient, "--radius", str(radius), "-o", str(ball), str(work / "t.csv")],
                       check=True)
        check(f"command line npz = radius_graph ({coefficient}, {radius})",
              same_csr(scipy.sparse.load_npz(ball), tessora.radius_graph(x, coefficient, radius)))

    if r_library:
        script = work / "neighbors.R"
        script.write_text(f"""
suppressMessages(library(tessora))
x <- as.matrix(read.csv("{work / 't.csv'}", row.names = 1))
for (case in list(c("bray-curtis", 5), c("euclidean", 7), c("correlation", 4), c("simple-matching", 6))) {{
  r <- neighbors(x, case[1], as.integer(case[2]))
  write.table(r$index, file.path("{work}", paste0(case[1], ".index")), row.names = FALSE, col.names = FALSE)
  write.table(sprintf("%.9g", r$distance), file.path("{work}", paste0(case[1], ".value")),
              row.names = FALSE, col.names = FALSE, quote = FALSE)
}}
""")
        env = dict(os.environ, R_LIBS=r_library)
        subprocess.run(["Rscript", "--vanilla", str(script)], check=True, env=env)
        for coefficient, k, _ in cases:
            index, value = tessora.neighbors(x, coefficient, k)
            r_index = np.loadtxt(work / f"{coefficient}.index", dtype=str)
            r_index = np.where(r_index == "NA", 0, r_index).astype(np.int64) - 1
            # R writes its columns one after the other: the matrix in column order.
            r_value = np.loadtxt(work / f"{coefficient}.value", dtype=np.float64).reshape(k, -1).T.astype(np.float32)
            check(f"R neighbors = Python neighbors ({coefficient}, k = {k}, 1-based)",
                  np.array_equal(r_index.reshape(-1, k), index)
                  and np.array_equal(np.isnan(r_value), np.isnan(value))
                  and np.array_equal(r_value[~np.isnan(r_value)].view(np.uint32), value[~np.isnan(value)].view(np.uint32)))

print(f"front ends agree: {len(failures)} failed")
sys.exit(1 if failures else 0)
