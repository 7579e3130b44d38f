#!/usr/bin/python3
"""Neighbours of many objects, where the whole condensed matrix no longer
fits in memory (100,000 objects: 20 GB):

    PYTHONPATH=build/python /usr/bin/python3 bench/neighbors_scale.py [--k 15,100]
        [--coefficients euclidean,bray-curtis] [MxN ...]

For each shape (default: 100000x100 and 200000x50; uniform values in
[0, 100), 10% NaN), coefficient (default Euclidean) and k (default 15), in
fresh processes:
- tessora.neighbors(X, coefficient, k): seconds and peak resident memory
  beside the bound data + m·k·16 bytes + 256 MB;
- the same pairs into the condensed order in memory, band after band of the
  library's band size (64 MB), each band dropped after it is made: the cost
  of the pairs alone;
and the extrapolation to 1,000,000 objects (the pairs grow as m²): on this
machine, on 64 such cores, and the Dask workers of this machine's two cores
that bring it under an hour (tasks of rows against every object compute the
pairs between two tasks twice).
"""
import argparse
import resource
import subprocess
import sys

CHILD = r"""
import resource, sys, time
import numpy as np
import tessora
from tessora import _tessora
m, n, what, coefficient, k = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4], int(sys.argv[5])
rng = np.random.default_rng(1)
x = rng.random((m, n), dtype=np.float32) * 100
x[rng.random((m, n)) < 0.1] = np.nan
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
t = time.perf_counter()
if what == "neighbors":
    tessora.neighbors(x, coefficient, k)
else:
    number = next(c.number for c in tessora.coefficients() if c.slug == coefficient)
    engine = _tessora.Engine(x, True, float("nan"), number, False, False)
    r0 = 0
    while r0 < m:
        r1 = _tessora.condensed_band_end(m, r0, 4)
        engine.condensed(r0, r1, False, 0)
        r0 = r1
print(time.perf_counter() - t, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024, x.nbytes)
"""


def run(m, n, what, coefficient, k):
    out = subprocess.run([sys.executable, "-c", CHILD, str(m), str(n), what, coefficient, str(k)], check=True,
                         capture_output=True, text=True).stdout.split()
    return float(out[0]), int(out[1]), int(out[2])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--k", default="15", help="list sizes, comma-separated")
    parser.add_argument("--coefficients", default="euclidean", help="slugs, comma-separated")
    parser.add_argument("shapes", nargs="*", help="MxN")
    args = parser.parse_args()
    shapes = [tuple(int(v) for v in s.split("x")) for s in args.shapes] or [(100000, 100), (200000, 50)]
    print("| objects x variables | coefficient | k | neighbors | the same pairs in condensed bands | ratio "
          "| peak memory | bound (data + m·k·16 + 256 MB) |")
    print("|---|---|---:|---:|---:|---:|---:|---:|")
    for m, n in shapes:
        for coefficient in args.coefficients.split(","):
            t_p, _, _ = run(m, n, "pairs", coefficient, 0)
            for k in (int(v) for v in args.k.split(",")):
                t_n, rss, data = run(m, n, "neighbors", coefficient, k)
                bound = data + m * k * 16 + (256 << 20)
                print(f"| {m} x {n} | {coefficient} | {k} | {t_n:.1f} s | {t_p:.1f} s | {t_n / t_p:.2f}x "
                      f"| {rss / 2**20:.0f} MB | {bound / 2**20:.0f} MB |", flush=True)
                hours = t_n * (1_000_000 / m) ** 2 / 3600
                # Dask tasks of rows against all objects compute a pair between two tasks twice.
                machines = max(1, int(2 * hours + 0.999))
                print(f"  1,000,000 x {n} by m²: {hours:.1f} h on these 2 cores, {hours * 2 / 64 * 60:.0f} min on 64;"
                      f" under an hour with {machines} machine{'s' if machines > 1 else ''} like this one as Dask "
                      "workers", flush=True)


if __name__ == "__main__":
    main()
