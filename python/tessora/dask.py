"""TESSORA on Dask: resemblance matrices and nearest neighbours computed in
tasks on the workers.

    import distributed, dask.array as da, tessora.dask
    client = distributed.Client(distributed.LocalCluster(n_workers=2, threads_per_worker=1))
    D = tessora.dask.matrix(X, "bray-curtis", chunk=4096)  # a lazy dask array
    da.to_npy_stack("D/", D, axis=0)                         # written by the workers
    idx, val = tessora.dask.neighbors(X, "bray-curtis", 15)  # two lazy (m, k) arrays

The graph holds the whole table once (a single chunk, which every task reads:
coefficients 16, 20 and 25-34 use per-variable statistics over all objects).
matrix() has one task per block of the lower triangle (the upper blocks are
their transposes), pdist() one task per run of condensed rows, neighbors()
one task per run of rows against all objects. Every value has the bits of
the one-process call.
"""

import functools
import math
import numbers

import numpy as np
import dask.array as da
from dask.base import tokenize
from dask.highlevelgraph import HighLevelGraph

import tessora
from tessora import _tessora

__all__ = ["matrix", "pdist", "neighbors"]


def _block(table, number, r0, r1, c0, c1, **options):
    return tessora.block(table, number, slice(r0, r1), slice(c0, c1), **options)


def _mirror(b):
    return np.ascontiguousarray(b.T)


def _table_array(X, rows):
    """X as a dask array of float32 in one chunk."""
    if isinstance(X, da.Array):
        if X.dtype.kind not in "fiub":
            raise TypeError(f"X must hold real numbers (float, int or bool), not {X.dtype} values")
        if X.ndim != 2:
            raise ValueError(f"X must be a 2-D table (objects x variables), not a {X.ndim}-D array")
        if any(math.isnan(s) for s in X.shape):
            raise ValueError("X has unknown chunk sizes: call X.compute_chunk_sizes() first")
        if X.dtype != np.float32:
            X = X.astype(np.float32)  # rounds to nearest, as numpy does
        table = X.rechunk(X.shape)
    else:
        a, _ = tessora._as_table(X, rows)
        table = da.from_array(a, chunks=a.shape)
    m, n = table.shape if rows else table.shape[::-1]
    _tessora.check_table(m, n)
    return table, m, n


def _chunk(chunk):
    if tessora._is_bool(chunk) or not isinstance(chunk, numbers.Integral):
        raise TypeError(f"chunk must be a whole number of objects, not {type(chunk).__name__}")
    if chunk < 1:
        raise ValueError(f"chunk must be a whole number of objects from 1 up, not {chunk}")
    return int(chunk)


def _prepare(X, coefficient, objects, missing, scale, dissimilarity, threads):
    """The checks of the one-process calls, made here, before any task runs:
    the table as a dask array, m, n, the coefficient's number and the options
    every task gets."""
    rows = tessora._objects_are_rows(objects)
    number = tessora._coefficient_number(coefficient)
    marker = tessora._missing_value(missing)
    tessora._threads(threads)
    _tessora.check_settings(number, bool(scale), bool(dissimilarity))
    table, m, n = _table_array(X, rows)
    options = dict(objects=objects, missing=marker, scale=bool(scale), dissimilarity=bool(dissimilarity),
                   threads=threads)
    return table, m, n, number, options


def matrix(X, coefficient, *, chunk=4096, objects="rows", missing=math.nan, scale=False,
           dissimilarity=False, threads=1):
    """The (m, m) float32 resemblance matrix as a dask array of chunk x chunk
    blocks; the options are those of tessora.matrix(). X is a NumPy array (or
    array-like) or a dask array.

    threads is the engine's threads per task: 1 by default, since the
    workers already run one task per thread; None for one per core.
    """
    chunk = _chunk(chunk)
    table, m, _, number, options = _prepare(X, coefficient, objects, missing, scale, dissimilarity, threads)

    name = "tessora-matrix-" + tokenize(table.name, number, chunk, options)
    table_key = (table.name, 0, 0)
    task = functools.partial(_block, **options)
    bounds = [(s, min(s + chunk, m)) for s in range(0, m, chunk)]
    graph = {}
    for i, (r0, r1) in enumerate(bounds):
        for j, (c0, c1) in enumerate(bounds):
            if j <= i:
                graph[(name, i, j)] = (task, table_key, number, r0, r1, c0, c1)
            else:
                graph[(name, i, j)] = (_mirror, (name, j, i))
    sizes = tuple(r1 - r0 for r0, r1 in bounds)
    hlg = HighLevelGraph.from_collections(name, graph, dependencies=[table])
    return da.Array(hlg, name, chunks=(sizes, sizes), dtype=np.float32)


def pdist(X, coefficient, *, chunk=None, objects="rows", missing=math.nan, scale=False,
          dissimilarity=False, threads=1):
    """The condensed vector of tessora.pdist() as a 1-D dask array. Each
    chunk holds the pairs (i, j), i < j, of a run of rows, each pair computed
    once: runs of at most chunk x chunk pairs, or with chunk=None the
    library's band (tessora._tessora.band_bytes of values per run, 64 MiB).
    The other options are those of matrix() above."""
    budget = _tessora.band_bytes if chunk is None else _chunk(chunk) ** 2 * 4
    table, m, _, number, options = _prepare(X, coefficient, objects, missing, scale, dissimilarity, threads)

    name = "tessora-pdist-" + tokenize(table.name, number, budget, options)
    table_key = (table.name, 0, 0)
    task = functools.partial(tessora._condensed, **options)
    graph, sizes, r0 = {}, [], 0
    while r0 < m - 1:
        r1 = _tessora.condensed_band_end(m, r0, 4, budget)
        graph[(name, len(sizes))] = (task, table_key, number, r0, r1)
        # The pairs of rows r0 .. r1 - 1: (m - r0 - 1) + ... + (m - r1).
        sizes.append((r1 - r0) * (2 * m - r0 - r1 - 1) // 2)
        r0 = r1
    hlg = HighLevelGraph.from_collections(name, graph, dependencies=[table])
    return da.Array(hlg, name, chunks=(tuple(sizes),), dtype=np.float32)


def _part(pair, which):
    return pair[which]


def neighbors(X, coefficient, k, *, chunk=4096, objects="rows", missing=math.nan, scale=False,
              dissimilarity=False, include_self=False, min_shared=1, threads=1):
    """tessora.neighbors() on the cluster: (indices, values), two dask arrays
    of shape (m, k) (int64 and float32) in runs of `chunk` rows. Each task
    finds the neighbours of its run of objects among all objects, with the
    bits of the one-process call. The arguments are checked here, before any
    task runs; the options are those of tessora.neighbors(), threads those of
    matrix() above."""
    chunk = _chunk(chunk)
    k = tessora._whole(k, "k")
    min_shared = tessora._whole(min_shared, "min_shared")
    table, m, n, number, options = _prepare(X, coefficient, objects, missing, scale, dissimilarity, threads)
    _tessora.check_neighbors(m, n, k, bool(include_self), min_shared, 0, -1)
    options.update(include_self=bool(include_self), min_shared=min_shared)

    token = tokenize(table.name, number, k, chunk, options)
    name = "tessora-neighbors-" + token
    task = functools.partial(tessora._neighbor_rows, **options)
    bounds = [(s, min(s + chunk, m)) for s in range(0, m, chunk)]
    rows = {(name, b): (task, (table.name, 0, 0), number, k, r0, r1) for b, (r0, r1) in enumerate(bounds)}
    base = HighLevelGraph.from_collections(name, rows, dependencies=[table])
    chunks = (tuple(r1 - r0 for r0, r1 in bounds), (k,))

    def output(which, what, dtype):
        out = f"tessora-neighbors-{what}-{token}"
        layer = {(out, b, 0): (_part, (name, b), which) for b in range(len(bounds))}
        hlg = HighLevelGraph({**base.layers, out: layer}, {**base.dependencies, out: {name}})
        return da.Array(hlg, out, chunks=chunks, dtype=dtype)

    return output(0, "indices", np.int64), output(1, "values", np.float32)
