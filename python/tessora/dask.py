"""TESSORA on Dask: a resemblance matrix computed block by block on the workers.

    import dask.array as da, distributed, tessora.dask
    client = distributed.Client("tcp://scheduler:8786")
    D = tessora.dask.matrix(X, "bray-curtis", chunk=4096)  # a lazy dask array
    da.to_npy_stack("D/", D, axis=0)                         # written by the workers

The graph holds the whole table once (a single chunk, which every task reads:
coefficients 16, 20 and 25-34 use per-variable statistics over all objects),
one task per block of the lower triangle (tessora.block on a worker), and the
upper blocks as transposes of the lower ones. Every value has the bits of
tessora.matrix(X, ...).
"""

import functools
import math
import numbers

import numpy as np
import dask.array as da
from dask.base import tokenize
from dask.highlevelgraph import HighLevelGraph

import tessora

__all__ = ["matrix", "pdist"]


def _block(table, number, r0, r1, c0, c1, **options):
    return tessora.block(table, number, slice(r0, r1), slice(c0, c1), **options)


def _condensed_rows(table, number, r0, r1, m, **options):
    b = tessora.block(table, number, slice(r0, r1), slice(r0 + 1, m), **options)
    return np.concatenate([b[i - r0, i - r0:] for i in range(r0, r1)])


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
        m = X.shape[0 if rows else 1]
        if m < 2:
            raise ValueError(f"X has {m} object(s): at least 2 are needed")
        if X.shape[1 if rows else 0] < 1:
            raise ValueError("X has no variables")
        return X.rechunk(X.shape)
    a, _ = tessora._as_table(X, rows)
    return da.from_array(a, chunks=a.shape)


def _options(chunk, coefficient, objects, missing, scale, dissimilarity, threads):
    if isinstance(chunk, (bool, np.bool_)) or not isinstance(chunk, numbers.Integral) or chunk < 1:
        raise ValueError(f"chunk must be a whole number of objects from 1 up, not {chunk!r}")
    rows = tessora._objects_are_rows(objects)
    number = tessora._coefficient_number(coefficient)
    if dissimilarity and not tessora.coefficients()[number - 1][3]:
        raise ValueError(f"coefficient {number} is not a similarity: dissimilarity=True is only "
                         f"for 4, 5, 7, 19, 21 and 24-34")
    tessora._threads(threads)
    options = dict(objects=objects, missing=tessora._missing_value(missing), scale=bool(scale),
                   dissimilarity=bool(dissimilarity), threads=threads)
    return rows, number, options


def matrix(X, coefficient, *, chunk=4096, objects="rows", missing=math.nan, scale=False,
           dissimilarity=False, threads=1):
    """The (m, m) float32 resemblance matrix as a dask array of chunk x chunk
    blocks; the options are those of tessora.matrix(). X is a NumPy array (or
    array-like) or a dask array.

    threads is the engine's threads per task: 1 by default, since the
    workers already run one task per thread; None for one per core.
    """
    rows, number, options = _options(chunk, coefficient, objects, missing, scale, dissimilarity, threads)
    table = _table_array(X, rows)
    m = table.shape[0 if rows else 1]
    chunk = int(chunk)

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


def pdist(X, coefficient, *, chunk=4096, objects="rows", missing=math.nan, scale=False,
          dissimilarity=False, threads=1):
    """The condensed vector of tessora.pdist() as a 1-D dask array, each chunk
    the pairs of a run of rows (i < j), about chunk x chunk pairs each; the
    options are those of matrix() above."""
    rows, number, options = _options(chunk, coefficient, objects, missing, scale, dissimilarity, threads)
    table = _table_array(X, rows)
    m = table.shape[0 if rows else 1]
    budget = int(chunk) * int(chunk)

    name = "tessora-pdist-" + tokenize(table.name, number, budget, options)
    table_key = (table.name, 0, 0)
    task = functools.partial(_condensed_rows, **options)
    graph, sizes, r0 = {}, [], 0
    while r0 < m - 1:
        r1 = r0 + max(1, min(m - 1 - r0, budget // (m - r0 - 1)))
        graph[(name, len(sizes))] = (task, table_key, number, r0, r1, m)
        sizes.append(sum(m - i - 1 for i in range(r0, r1)))
        r0 = r1
    hlg = HighLevelGraph.from_collections(name, graph, dependencies=[table])
    return da.Array(hlg, name, chunks=(tuple(sizes),), dtype=np.float32)
