#!/usr/bin/python3
"""tessora.neighbors against what Python users have, and against tessora.pdist:

    PYTHONPATH=build/python /usr/bin/python3 bench/neighbors_bench.py [--full | --small] [--repeat N]

- scikit-learn's exact NaN-aware neighbour search, k = 15, on a table with
  10% NaN. NearestNeighbors(metric="nan_euclidean", algorithm="brute")
  refuses NaN in scikit-learn 1.2 (Debian bookworm; the script shows its
  message), so the search its brute kneighbors runs is timed instead:
  pairwise_distances_chunked(metric="nan_euclidean") with a top-k per chunk.
  Its neighbours are checked against TESSORA's exact Euclidean distances
  rescaled to scikit-learn's definition (sqrt(n / k * sum)) for a sample of
  rows, and against TESSORA's own neighbours on the complete table, where
  both are the plain Euclidean distance.
- pynndescent (Debian python3-pynndescent), k = 15, complete data (uniform
  random values, the hard case for a graph search, and 50 clusters),
  Euclidean and Bray-Curtis: its time (after a warm-up that compiles its
  numba code) and its recall against TESSORA's exact answer.
- tessora.neighbors against tessora.pdist of the same table (the same pairs
  into the condensed matrix in memory): the ratio of their times, k = 15
  and 100, Euclidean and Bray-Curtis.

Sizes by default are scaled down for a shared 2-core machine: scikit-learn
at 10,000 x 100 (--full: 20,000 x 100), pynndescent at 30,000 x 50 (--full:
100,000 x 50), neighbors/pdist at 10,000 x 100 (--full: 20,000 x 100).
Timed runs are interleaved and repeated (--repeat, 3 by default); the
median is shown.
"""
import argparse
import os
import statistics

import numpy as np

import tessora
from python_bench import table, timed  # beside this file


def interleaved(repeat, **calls):
    """Each call `repeat` times, in turn; the median seconds of each and its last result."""
    seconds = {name: [] for name in calls}
    results = {}
    for _ in range(repeat):
        for name, call in calls.items():
            took, results[name] = timed(call)
            seconds[name].append(took)
    return {name: statistics.median(s) for name, s in seconds.items()}, results


def sklearn_brute_nan_neighbors(x, k):
    """What NearestNeighbors(algorithm="brute").kneighbors() does, with the
    nan_euclidean metric its validation refuses: the distances by chunks,
    each chunk's k nearest, the object itself left out."""
    from sklearn.metrics import pairwise_distances_chunked

    def reduce(d, start):
        rows = np.arange(d.shape[0])
        d[rows, start + rows] = np.inf
        part = np.argpartition(d, k, axis=1)[:, :k]
        dist = np.take_along_axis(d, part, axis=1)
        order = np.argsort(dist, axis=1, kind="stable")
        return np.take_along_axis(part, order, axis=1), np.take_along_axis(dist, order, axis=1)

    chunks = list(pairwise_distances_chunked(x, metric="nan_euclidean", reduce_func=reduce))
    return np.vstack([c[0] for c in chunks]), np.vstack([c[1] for c in chunks])


def untied_rows(values, k):
    """Rows whose k-th and (k+1)-th values differ and whose first k differ from each other."""
    v = np.sort(values, axis=1)[:, :k + 1]
    return (np.diff(v, axis=1) > 0).all(axis=1)


def sklearn_part(m, n, k, repeat):
    try:
        from sklearn.neighbors import NearestNeighbors
    except ImportError:
        print("scikit-learn: skipped (Debian: python3-sklearn)\n")
        return
    x = table(m, n, 0.10, seed=1)
    try:
        NearestNeighbors(n_neighbors=k, metric="nan_euclidean", algorithm="brute").fit(x)
        refused = "accepted"
    except ValueError as e:
        refused = "refused: " + str(e).splitlines()[0]
    print(f"scikit-learn NearestNeighbors(metric='nan_euclidean', algorithm='brute') on NaN: {refused}\n")

    times, results = interleaved(
        repeat,
        sklearn=lambda: sklearn_brute_nan_neighbors(x, k),
        tessora=lambda: tessora.neighbors(x, "euclidean", k),
        tessora_scaled=lambda: tessora.neighbors(x, "euclidean", k, scale=True))
    sk_idx, sk_val = results["sklearn"]

    # scikit-learn's neighbours against TESSORA's exact Euclidean distances in
    # its definition, sqrt(n / k * sum of squares) = sqrt(n / k) * Euclidean.
    sample = np.random.default_rng(7).choice(m, size=min(m, 300), replace=False)
    sample.sort()
    known = (~np.isnan(x)).astype(np.int64)
    same = untied = 0
    for i in sample:
        d = tessora.block(x, 1, slice(i, i + 1), slice(None))[0].astype(np.float64)
        shared = known @ known[i]
        rescaled = np.sqrt(n / np.maximum(shared, 1)) * d
        rescaled[i] = np.inf
        order = np.lexsort((np.arange(m), rescaled))[:k]
        if untied_rows(rescaled[None, :], k)[0]:
            untied += 1
            same += bool((order == sk_idx[i]).all())
    overlap = np.mean([len(np.intersect1d(a, b)) / k for a, b in zip(sk_idx, results["tessora_scaled"][0])])

    complete = table(m, n, 0.0, seed=1)
    exact = NearestNeighbors(n_neighbors=k, algorithm="brute").fit(complete).kneighbors(return_distance=True)
    ours = tessora.neighbors(complete, "euclidean", k)
    rows = untied_rows(exact[0], k)
    complete_same = (exact[1][rows] == ours[0][rows]).all(axis=1).mean()

    print(f"| {m} x {n}, 10% NaN, k = {k} | time | scikit-learn / this |")
    print("|---|---:|---:|")
    print(f"| scikit-learn brute nan_euclidean (pairwise_distances_chunked + top k) | {times['sklearn']:.2f} s | 1x |")
    for name, what in (("tessora", "`tessora.neighbors(X, \"euclidean\", k)`"),
                       ("tessora_scaled", "`tessora.neighbors(X, \"euclidean\", k, scale=True)`")):
        print(f"| {what} | {times[name]:.2f} s | {times['sklearn'] / times[name]:.1f}x |")
    print()
    print(f"- scikit-learn's neighbours equal the sort of TESSORA's exact Euclidean rescaled to its definition "
          f"(sqrt(n/k) x Euclidean) in {same} of {untied} sampled rows without ties;")
    print(f"- TESSORA's scaled Euclidean ((n/k) x Euclidean) shares {overlap:.1%} of scikit-learn's neighbours "
          f"(another scaling, so other neighbours where gaps differ);")
    print(f"- on the complete table both are the Euclidean distance: the same neighbours in {complete_same:.1%} "
          f"of the rows without ties ({rows.sum()} of {m}).\n")


def clustered(m, n, seed, clusters=50):
    """Objects around `clusters` centres (uniform in 0..100), spread 5 in each
    variable, clipped at 0: data with structure, where neighbour graphs
    find their use."""
    rng = np.random.default_rng(seed)
    centres = rng.random((clusters, n)) * 100
    x = centres[rng.integers(0, clusters, size=m)] + rng.normal(0, 5, size=(m, n))
    return np.maximum(x, 0).astype(np.float32)


def pynndescent_part(m, n, k, repeat):
    try:
        import pynndescent
    except ImportError:
        print("pynndescent: skipped (Debian: python3-pynndescent)\n")
        return
    print(f"| {m} x {n}, complete, k = {k} | pynndescent | recall | tessora (exact) | pynndescent / tessora |")
    print("|---|---:|---:|---:|---:|")
    for data, metric, coefficient in (("uniform", "euclidean", "euclidean"), ("uniform", "braycurtis", "bray-curtis"),
                                      ("50 clusters", "euclidean", "euclidean"),
                                      ("50 clusters", "braycurtis", "bray-curtis")):
        x = table(m, n, 0.0, seed=3) if data == "uniform" else clustered(m, n, seed=3)
        pynndescent.NNDescent(x[:2000], metric=metric, n_neighbors=k + 1, random_state=1)  # compiles numba code

        def approximate():
            index = pynndescent.NNDescent(x, metric=metric, n_neighbors=k + 1, random_state=1, n_jobs=-1)
            return index.neighbor_graph[0]

        times, results = interleaved(repeat, pynndescent=approximate,
                                     tessora=lambda: tessora.neighbors(x, coefficient, k))
        found, exact = results["pynndescent"], results["tessora"][0]
        recall = np.mean([len(np.intersect1d(f[f != i][:k], e)) / k for i, (f, e) in enumerate(zip(found, exact))])
        print(f"| {data}, {metric} | {times['pynndescent']:.2f} s | {recall:.4f} | {times['tessora']:.2f} s "
              f"| {times['pynndescent'] / times['tessora']:.2f}x |")
    print()


def ratio_part(m, n, repeat):
    x = table(m, n, 0.10, seed=5)
    print(f"| {m} x {n}, 10% NaN | `pdist` | `neighbors` | neighbors / pdist | goal |")
    print("|---|---:|---:|---:|---|")
    for coefficient in ("euclidean", "bray-curtis"):
        for k in (15, 100):
            times, _ = interleaved(repeat, pdist=lambda: tessora.pdist(x, coefficient),
                                   neighbors=lambda: tessora.neighbors(x, coefficient, k))
            print(f"| {coefficient}, k = {k} | {times['pdist']:.2f} s | {times['neighbors']:.2f} s "
                  f"| {times['neighbors'] / times['pdist']:.2f}x | <= 1.15x |")
    print()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--full", action="store_true", help="the sizes of the issue (long on 2 cores)")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--only", choices=("sklearn", "pynndescent", "ratio"))
    parser.add_argument("--small", action="store_true", help="a tenth of the default sizes, for a quick look")
    args = parser.parse_args()
    div = 10 if args.small else 1
    print(f"tessora {tessora.__version__}, {os.cpu_count()} cores, load average "
          f"{os.getloadavg()[0]:.1f} at the start\n")
    if args.only in (None, "sklearn"):
        sklearn_part((20000 if args.full else 10000) // div, 100, 15, args.repeat)
    if args.only in (None, "pynndescent"):
        pynndescent_part((100000 if args.full else 30000) // div, 50, 15, args.repeat)
    if args.only in (None, "ratio"):
        ratio_part((20000 if args.full else 10000) // div, 100, args.repeat)


if __name__ == "__main__":
    main()
