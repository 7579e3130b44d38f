#!/usr/bin/python3
"""Pairs per second when the variables are few: tessora.pdist (every pair,
condensed, on all cores) at n = 10, 20, 50, 100 and 1000 variables, beside
scipy's pdist (one thread; the same table with the gaps filled by column
means, since scipy takes no missing values) and scikit-learn's
nan_euclidean_distances (Euclidean only) in the same run:

    PYTHONPATH=build/python /usr/bin/python3 bench/narrow_bench.py

Tables: uniform values in [0, 100) with 10% NaN; m = 10,000 objects for
n <= 100 and 2,000 for n = 1000 (scikit-learn: m = 4,000, n = 1000: 2,000).
Each figure is the best of --repeat runs (the peers: one run), in
millions of distinct pairs per second. At the end, the cost model
time = pairs x (c0 + n x c1) fitted per coefficient over n = 10 .. 100, in
nanoseconds of one core (the wall time times the threads).
Options: --small (a quarter of the objects), --repeat R, --threads T.
"""
import argparse
import os
import time

import numpy as np
import scipy.spatial.distance as ssd

import tessora

try:
    from sklearn.metrics.pairwise import nan_euclidean_distances
except ImportError:  # Debian: python3-sklearn
    nan_euclidean_distances = None

# Our slug, and scipy's metric with how its table is made from the filled one
# (None: scipy has no such metric).
COEFFICIENTS = [
    ("euclidean", "euclidean", None),
    ("manhattan", "cityblock", None),
    ("bray-curtis", "braycurtis", None),
    ("gower", None, None),
    ("hellinger", None, None),
    ("correlation", "correlation", None),
    ("russell-rao", "russellrao", lambda f: f > 50),
]
WIDTHS = [10, 20, 50, 100, 1000]


def table(m, n, seed=1):
    rng = np.random.default_rng(seed)
    x = rng.random((m, n), dtype=np.float32) * 100
    x[rng.random((m, n)) < 0.1] = np.nan
    return x


def filled(x):
    means = np.nanmean(x, axis=0)
    return np.where(np.isnan(x), means, x).astype(np.float64)


def best(f, repeat):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        f()
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--small", action="store_true")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--threads", type=int, default=os.cpu_count())
    args = parser.parse_args()
    scale = 4 if args.small else 1
    print(f"{os.cpu_count()} cores, tessora on {args.threads} threads; M pairs/s, best of {args.repeat}")
    print("| variables | objects | coefficient | tessora | scipy pdist (filled) | ratio |")
    print("|---:|---:|---|---:|---:|---:|")
    per_pair = {}  # slug -> [(n, ns per pair on one core)]
    for n in WIDTHS:
        m = (10000 if n <= 100 else 2000) // scale
        x = table(m, n)
        pairs = m * (m - 1) / 2
        f = filled(x)
        for slug, metric, prepare in COEFFICIENTS:
            ours = best(lambda: tessora.pdist(x, slug, threads=args.threads), args.repeat)
            per_pair.setdefault(slug, []).append((n, ours * args.threads / pairs * 1e9))
            if metric is not None:
                data = prepare(f) if prepare else f
                theirs = best(lambda: ssd.pdist(data, metric), 1)
                peer = f"{pairs / theirs / 1e6:.1f}"
                ratio = f"{theirs / ours:.1f}x"
            else:
                peer, ratio = "-", "-"
            print(f"| {n} | {m} | {slug} | {pairs / ours / 1e6:.1f} | {peer} | {ratio} |", flush=True)
        if nan_euclidean_distances is not None:
            ms = (4000 if n <= 100 else 2000) // scale
            xs = x[:ms]
            theirs = best(lambda: nan_euclidean_distances(xs), 1)
            ours = best(lambda: tessora.pdist(xs, "euclidean", threads=args.threads), args.repeat)
            p = ms * (ms - 1) / 2
            print(f"| {n} | {ms} | euclidean, scikit-learn nan_euclidean_distances (its NaN) | "
                  f"{p / ours / 1e6:.1f} | {p / theirs / 1e6:.1f} | {theirs / ours:.1f}x |", flush=True)
    print()
    print("Cost model, time = pairs x (c0 + n x c1), one core, n = 10 .. 100:")
    print("| coefficient | c0 (ns per pair) | c1 (ns per variable) |")
    print("|---|---:|---:|")
    for slug, points in per_pair.items():
        narrow = [(n, t) for n, t in points if n <= 100]
        c1, c0 = np.polyfit([n for n, _ in narrow], [t for _, t in narrow], 1)
        print(f"| {slug} | {c0:.2f} | {c1:.3f} |")


if __name__ == "__main__":
    main()
