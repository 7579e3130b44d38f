#!/usr/bin/python3
"""Two builds of the Python module against each other, runs interleaved
(A, B, A, B, ...) so that both see the same machine:

    /usr/bin/python3 bench/ab_builds.py OLD/build/python build/python [--rounds 5]

Each run is a fresh process that makes the table (uniform values in
[0, 100), 10% NaN, seed 1) and times one tessora.pdist call (--call matrix:
tessora.matrix) on both cores.
Shapes: wide (1000 x 2000, 500 x 3000) and narrow (20 and 50 variables x
10,000), Euclidean and Bray-Curtis. Prints the median seconds of each build
and B / A in speed (above 1: B is faster).
"""
import argparse
import statistics
import subprocess
import sys

CHILD = r"""
import sys, time
sys.path.insert(0, sys.argv[1])
import numpy as np, tessora
m, n, c, call = int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], getattr(tessora, sys.argv[5])
rng = np.random.default_rng(1)
x = rng.random((m, n), dtype=np.float32) * 100
x[rng.random((m, n)) < 0.1] = np.nan
call(x[:50], c)
t = time.perf_counter()
call(x, c)
print(time.perf_counter() - t)
"""

SHAPES = [(2000, 1000), (3000, 500), (10000, 50), (10000, 20)]
COEFFICIENTS = ["euclidean", "bray-curtis"]


def once(path, m, n, c, call):
    out = subprocess.run([sys.executable, "-c", CHILD, path, str(m), str(n), c, call], check=True,
                         capture_output=True, text=True).stdout
    return float(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("a")
    parser.add_argument("b")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--call", choices=("pdist", "matrix"), default="pdist",
                        help="tessora.pdist (condensed) or tessora.matrix (the whole square from the triangle)")
    parser.add_argument("--shapes", default=None, help="MxN,MxN,... (default: the four above)")
    args = parser.parse_args()
    shapes = [tuple(int(v) for v in s.split("x")) for s in args.shapes.split(",")] if args.shapes else SHAPES
    print(f"A = {args.a}, B = {args.b}; tessora.{args.call}, median of {args.rounds} interleaved runs")
    print("| objects x variables | coefficient | A (s) | B (s) | B / A in speed |")
    print("|---|---|---:|---:|---:|")
    for m, n in shapes:
        for c in COEFFICIENTS:
            a, b = [], []
            for _ in range(args.rounds):
                a.append(once(args.a, m, n, c, args.call))
                b.append(once(args.b, m, n, c, args.call))
            ma, mb = statistics.median(a), statistics.median(b)
            print(f"| {m} x {n} | {c} | {ma:.3f} | {mb:.3f} | {ma / mb:.2f}x |", flush=True)


if __name__ == "__main__":
    main()
