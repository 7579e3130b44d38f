#!/usr/bin/python3
"""The Python module against what Python users have, one run of each:

    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py

- tessora.matrix (Euclidean) against scikit-learn's nan_euclidean_distances,
  4000 x 1000 with 10% NaN (skipped when sklearn is not installed; Debian:
  python3-sklearn);
- tessora.pdist against scipy's pdist on the same table with the NaNs filled
  (column means), for Euclidean, Manhattan, Bray-Curtis and correlation;
- the Python call against the engine's own computation (compute() into its
  packed triangle, timed inside the extension);
- the time from SIGINT to the end of a process computing a matrix;
- tessora.dask.matrix on a 2-worker LocalCluster (one thread each) against
  tessora.matrix in one process, m = 20,000, n = 200; the dask blocks are
  persisted on the workers (not gathered).
Options: --small for a quick run at a tenth of the sizes, --no-dask.
"""
import argparse
import os
import signal
import subprocess
import sys
import time

import numpy as np
import scipy.spatial.distance as ssd

import tessora
from tessora import _tessora


def table(m, n, gaps, seed=1):
    rng = np.random.default_rng(seed)
    x = rng.random((m, n), dtype=np.float32) * 100
    x[rng.random((m, n)) < gaps] = np.nan
    return x


def timed(f, *args, **kwargs):
    start = time.perf_counter()
    result = f(*args, **kwargs)
    return time.perf_counter() - start, result


def row(what, ours, theirs, goal):
    ratio = theirs / ours
    print(f"| {what} | {ours:.2f} s | {theirs:.2f} s | {ratio:.1f}x | {goal} |", flush=True)


INTERRUPTED = r"""
import sys, time, numpy as np, tessora
x = np.random.default_rng(0).random((%d, 1000), dtype=np.float32)
print("go", flush=True)
try:
    tessora.matrix(x, "gower")
except KeyboardInterrupt:
    sys.exit(3)
"""


def interrupt_latency(m):
    child = subprocess.Popen([sys.executable, "-c", INTERRUPTED % m], stdout=subprocess.PIPE, text=True)
    child.stdout.readline()
    time.sleep(1.0)
    sent = time.perf_counter()
    child.send_signal(signal.SIGINT)
    child.wait()
    took = time.perf_counter() - sent
    return took, child.returncode


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--small", action="store_true")
    parser.add_argument("--no-dask", action="store_true")
    args = parser.parse_args()
    scale = 10 if args.small else 1
    m, n = 4000 // scale, 1000
    x = table(m, n, 0.10)
    print(f"tessora {tessora.__version__}, {os.cpu_count()} cores, table {m} x {n}, 10% NaN\n")
    print("| comparison | tessora | other | other / tessora | goal |")
    print("|---|---|---|---|---|")

    ours, d = timed(tessora.matrix, x, "euclidean")
    try:
        from sklearn.metrics.pairwise import nan_euclidean_distances
    except ImportError:
        print("| matrix Euclidean vs sklearn nan_euclidean_distances | skipped: no sklearn | | | >= 50x |")
    else:
        theirs, _ = timed(nan_euclidean_distances, x)
        row("matrix Euclidean vs sklearn nan_euclidean_distances (float32 in)", ours, theirs, ">= 50x")

    filled = np.where(np.isnan(x), np.nanmean(x, axis=0), x).astype(np.float64)
    for metric, coefficient, options in (("euclidean", 1, {}), ("cityblock", 2, {}), ("braycurtis", 8, {}),
                                         ("correlation", 24, {"dissimilarity": True})):
        ours, _ = timed(tessora.pdist, x, coefficient, **options)
        theirs, _ = timed(ssd.pdist, filled, metric)
        row(f"pdist {coefficient} (with NaN) vs scipy pdist '{metric}' (filled)", ours, theirs, ">= 5x")

    call, _ = timed(tessora.matrix, x, "euclidean")
    engine = _tessora.Engine(x, True, float("nan"), 1, False, False).compute_seconds(0)
    print(f"| engine compute() vs Python tessora.matrix (Euclidean) | {engine:.2f} s | {call:.2f} s "
          f"| {call / engine:.2f}x | <= 1.2x |")
    call, _ = timed(tessora.pdist, x, "euclidean")
    print(f"| engine compute() vs Python tessora.pdist (Euclidean) | {engine:.2f} s | {call:.2f} s "
          f"| {call / engine:.2f}x | <= 1.2x |")

    took, code = interrupt_latency(6000 // scale)
    print(f"| SIGINT to process exit during tessora.matrix (exit {code}) | {took:.3f} s | | | <= 0.5 s |")

    if args.no_dask:
        return
    import distributed
    from tessora import dask as tessora_dask

    m, n = 20000 // scale, 200
    x = table(m, n, 0.10, seed=2)
    single, _ = timed(tessora.matrix, x, "bray-curtis")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                                  silence_logs=40) as cluster, distributed.Client(cluster):
        chunk = 4096 // scale
        start = time.perf_counter()
        d = tessora_dask.matrix(x, "bray-curtis", chunk=chunk).persist()
        distributed.wait(d)
        spread = time.perf_counter() - start
        # One block back, to see it is the same.
        same = np.array_equal(d[:chunk, :chunk].compute().view(np.uint32),
                              tessora.block(x, 8, slice(0, chunk), slice(0, chunk)).view(np.uint32))
    print(f"| dask.matrix Bray-Curtis {m} x {n}, chunk {chunk}, 2 workers, persisted (same bits: {same}) "
          f"vs matrix in one process | {spread:.2f} s | {single:.2f} s | {single / spread:.2f}x | dask within 1.5x |")


if __name__ == "__main__":
    main()
