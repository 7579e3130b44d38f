"""TESSORA: resemblance matrices and nearest neighbours for tables with missing values.

    import pandas as pd, tessora
    X = pd.read_csv("examples/plots.csv", index_col=0)  # NA = missing
    D = tessora.matrix(X, "bray-curtis")    # (m, m) float32, labelled like X
    d = tessora.pdist(X, 8)                 # condensed, scipy's order
    k = tessora.shared_counts(X)            # variables known in both, condensed
    idx, val = tessora.neighbors(X, "bray-curtis", 3)   # the 3 nearest of each plot

Each pair of objects is compared on the variables known in both, with one of
the coefficients of ``tessora.coefficients()``; the values have the same bits
as the console program's, on every machine and with any number of threads.

A pair with no variable known in both (k = 0 in ``shared_counts``) gets the
coefficient's formula over empty sums: 0 for the Euclidean distance, NaN for
most ratios. No error is raised; look for zeros in ``shared_counts`` to find
such pairs.

The table is converted to float32 (rounded to nearest) unless it already is;
a float32 array in C or Fortran order, or any view with whole-float strides,
is read in place without a copy.

Arguments of the wrong type raise TypeError; values the library refuses
raise ValueError with the library's message, the same words as the command
line and R give.
"""

import collections
import math
import numbers
import sys

import numpy as np

from . import _tessora

__all__ = ["matrix", "pdist", "shared_counts", "block", "neighbors", "neighbors_graph", "radius_graph",
           "coefficients", "Coefficient"]
__version__ = _tessora.__version__

Coefficient = collections.namedtuple(
    "Coefficient", "number name slug similarity kind diagonal scalable layout_asked ranking")
Coefficient.__doc__ = """One coefficient of the registry.

number: the menu number; name: the menu name ("BRAYCUR DIS"); slug: the
lower-case name ("bray-curtis"); similarity: True for the coefficients with
diagonal 1, the only ones that take dissimilarity=True; kind: "distance",
"similarity", "covariance" or "sum"; diagonal: "0", "1", "own sum" or "own
variance"; scalable: True for the ones that take scale=True; layout_asked:
False for the two whose console output is always a lower semimatrix;
ranking: "ascending" (smaller is nearer) or "descending" (larger is nearer),
the order neighbors() ranks by (always "ascending" with dissimilarity=True).
"""

_COEFFICIENTS = tuple(Coefficient(*row) for row in _tessora.coefficients())


def coefficients():
    """The coefficients in menu order, as Coefficient named tuples:
    (number, name, slug, similarity, kind, diagonal, scalable, layout_asked,
    ranking)."""
    return list(_COEFFICIENTS)


_INT64 = (-2 ** 63, 2 ** 63 - 1)


def _is_bool(value):
    return isinstance(value, (bool, np.bool_))


def _whole(value, name):
    """An integer argument as an int. Values beyond 64 bits are pinned to its
    ends, where the library's range check names them."""
    if _is_bool(value) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{name} must be a whole number, not {type(value).__name__}")
    return min(max(int(value), _INT64[0]), _INT64[1])


def _real(value, name):
    if _is_bool(value) or not isinstance(value, numbers.Real):
        raise TypeError(f"{name} must be a number, not {type(value).__name__}")
    return float(value)


def _coefficient_number(coefficient):
    if isinstance(coefficient, str):
        return _tessora.coefficient_number(coefficient)
    if _is_bool(coefficient) or not isinstance(coefficient, numbers.Integral):
        raise TypeError(f"coefficient must be a number or a name such as 'bray-curtis', "
                        f"not {type(coefficient).__name__}")
    # As text, so that a number beyond 64 bits is named as the user gave it.
    return _tessora.coefficient_number(str(int(coefficient)))


def _objects_are_rows(objects):
    if not isinstance(objects, str):
        raise TypeError(f"objects must be 'rows' or 'columns', not {type(objects).__name__}")
    return _tessora.objects_are_rows(objects)


def _missing_value(missing):
    return _real(missing, "missing")


def _threads(threads):
    """The engine's thread count: None for one per core."""
    return 0 if threads is None else _tessora.thread_count(_whole(threads, "threads"))


def _dataframe_type():
    pandas = sys.modules.get("pandas")
    return pandas.DataFrame if pandas is not None else None


def _as_table(X, rows):
    """X as a 2-D float32 array with whole-float strides, and its object labels
    when it is a pandas DataFrame (None otherwise)."""
    labels = None
    frame = _dataframe_type()
    if frame is not None and isinstance(X, frame):
        labels = X.index if rows else X.columns
        bad = [str(c) for c, t in X.dtypes.items() if not (t.kind in "fiub")]
        if bad:
            raise TypeError(f"the DataFrame's columns {', '.join(bad)} are not numeric")
        X = X.to_numpy()
    try:
        a = np.asarray(X)
    except (TypeError, ValueError) as e:
        raise TypeError(f"X cannot be read as a numeric array: {e}") from None
    if a.dtype.kind not in "fiub":
        raise TypeError(
            f"X must hold real numbers (float, int or bool), not {a.dtype} values")
    if a.ndim != 2:
        raise ValueError(
            f"X must be a 2-D table (objects x variables), not a {a.ndim}-D array of shape {a.shape}")
    if a.dtype != np.float32:
        a = a.astype(np.float32)  # rounds to nearest
    if a.strides[0] % 4 or a.strides[1] % 4:
        a = np.ascontiguousarray(a)
    return a, labels


def _check_size(count, itemsize):
    if count * itemsize > sys.maxsize:
        raise MemoryError(f"the result needs {count * itemsize} bytes, more than any address space")


def _prepare(X, coefficient, objects, missing, scale, dissimilarity, threads, cells=None):
    """The engine over X, X's object labels (a DataFrame's, else None) and the
    thread count. cells(m): how many 4-byte values the result of m objects
    takes, checked against the address space before anything is computed."""
    rows = _objects_are_rows(objects)
    number = _coefficient_number(coefficient)
    marker = _missing_value(missing)
    threads = _threads(threads)
    a, labels = _as_table(X, rows)
    if cells is not None:
        _check_size(cells(a.shape[0 if rows else 1]), 4)
    engine = _tessora.Engine(a, rows, marker, number, bool(scale), bool(dissimilarity))
    return engine, labels, threads


def _framed(values, row_labels, col_labels):
    frame = _dataframe_type()
    return frame(values, index=row_labels, columns=col_labels)


def matrix(X, coefficient, *, objects="rows", missing=math.nan, scale=False, dissimilarity=False,
           threads=None):
    """The (m, m) float32 resemblance matrix of the objects of X, its diagonal
    included.

    X: a 2-D array-like (NumPy array, pandas DataFrame, nested lists).
    coefficient: a number from the menu, a slug ("bray-curtis") or a menu
        name ("BRAYCUR DIS"); see coefficients().
    objects: "rows" (each row is an object) or "columns".
    missing: the value that marks a missing cell; NaN by default. With any
        other value (-1.0 for TESSORA's data files) a NaN is a value.
    scale: multiply each distance by n / k; only for the scalable
        coefficients (1, 2, 13), ValueError for the others.
    dissimilarity: D = 1 - S, for the similarities only (ValueError for the
        others).
    threads: worker threads, 0 or None for one per core.

    A DataFrame gives a DataFrame labelled by its index (objects="rows") or
    its columns.
    """
    engine, labels, threads = _prepare(X, coefficient, objects, missing, scale, dissimilarity, threads,
                                       cells=lambda m: m * m)
    values = engine.matrix(threads)
    return values if labels is None else _framed(values, labels, labels)


def pdist(X, coefficient, *, objects="rows", missing=math.nan, scale=False, dissimilarity=False,
          threads=None):
    """The m (m - 1) / 2 pair values in scipy's condensed order ((0, 1), (0, 2),
    ..., (m - 2, m - 1)), float32, for scipy.spatial.distance.squareform;
    each pair computed once. The options are those of matrix()."""
    engine, _, threads = _prepare(X, coefficient, objects, missing, scale, dissimilarity, threads,
                                  cells=lambda m: m * (m - 1) // 2)
    return engine.condensed(0, engine.objects, False, threads)


def shared_counts(X, *, objects="rows", missing=math.nan, threads=None):
    """The number of variables known in both objects of each pair, uint32, in
    the condensed order of pdist(). threads as in matrix()."""
    engine, _, threads = _prepare(X, 1, objects, missing, False, False, threads,
                                  cells=lambda m: m * (m - 1) // 2)
    return engine.condensed(0, engine.objects, True, threads)


def _indices(s, m, what):
    if isinstance(s, range):
        s = slice(s.start, s.stop, s.step)
    if not isinstance(s, slice):
        raise TypeError(f"{what} must be a slice (or range) of objects, not {type(s).__name__}")
    try:
        return range(*s.indices(m))
    except (TypeError, ValueError) as e:
        raise TypeError(f"{what}: {e}") from None


def block(X, coefficient, rows, cols, *, objects="rows", missing=math.nan, scale=False,
          dissimilarity=False, threads=None):
    """matrix(X, ...)[rows, cols], computed for those objects only, with
    exactly the same bits. rows and cols are slices (or ranges) of objects.

    A slice with step 1 is computed as one block; any other step computes
    the block from its first to its last object and takes every step-th
    row or column of it. A DataFrame gives a DataFrame.
    """
    engine, labels, threads = _prepare(X, coefficient, objects, missing, scale, dissimilarity, threads)
    m = engine.objects
    r, c = _indices(rows, m, "rows"), _indices(cols, m, "cols")

    def cover(idx):
        return (min(idx), max(idx) + 1) if len(idx) else (0, 0)

    r0, r1 = cover(r)
    c0, c1 = cover(c)
    _check_size((r1 - r0) * (c1 - c0), 4)
    values = engine.block(r0, r1, c0, c1, threads)
    if (r.step != 1 and len(r) > 1) or (c.step != 1 and len(c) > 1):
        values = np.ascontiguousarray(values[np.asarray(r, dtype=np.intp) - r0][:, np.asarray(c, dtype=np.intp) - c0])
    if labels is None:
        return values
    return _framed(values, labels[np.asarray(r, dtype=np.intp)], labels[np.asarray(c, dtype=np.intp)])


def neighbors(X, coefficient, k, *, objects="rows", missing=math.nan, scale=False, dissimilarity=False,
              include_self=False, min_shared=1, threads=None):
    """The k nearest objects of every object: (indices, values), int64 and
    float32 arrays of shape (m, k), row i holding object i's neighbours
    nearest first, with the exact bits of matrix(X, ...)[i, indices[i]].

    Nearest is the coefficient's ranking order (coefficients()[c - 1].ranking):
    smallest first for the distances and for any D = 1 - S
    (dissimilarity=True), largest first for the similarities, the covariance
    (23) and the sum of minima (12). Ties go to the lower index, -0 equals
    +0, and a NaN value is never a neighbour, so the answer is the same on
    every machine and with any number of threads.

    k: 1 to m - 1 (1 to m with include_self).
    include_self: the object itself is a candidate, with its diagonal value.
    min_shared: a pair that shares fewer known variables is never a
        neighbour; 0 to n (0 lets in pairs with no variable in common).
    An object with fewer than k candidates gets index -1 and value NaN in
    the places left over. The other options are those of matrix().

    For a DataFrame the indices are positions: X.index[indices] (or
    X.columns[indices] with objects="columns") gives the labels where
    indices >= 0.
    """
    k = _whole(k, "k")
    min_shared = _whole(min_shared, "min_shared")
    engine, _, threads = _prepare(X, coefficient, objects, missing, scale, dissimilarity, threads)
    return engine.neighbors(k, bool(include_self), min_shared, 0, -1, threads)


def _graph_mode(mode):
    if not isinstance(mode, str):
        raise TypeError(f"mode must be 'distance' or 'connectivity', not {type(mode).__name__}")
    if mode not in ("distance", "connectivity"):
        raise ValueError(f"mode must be 'distance' or 'connectivity', not {mode!r}")
    return mode == "distance"


def _csr(m, rows, cols, values, distance):
    """A scipy.sparse.csr_matrix (m, m) of entries already in row order, each
    row's in the order given; zeros are kept as explicit entries."""
    import scipy.sparse

    indptr = np.zeros(m + 1, dtype=np.int64)
    np.cumsum(np.bincount(rows, minlength=m), out=indptr[1:])
    data = values if distance else np.ones(len(cols), dtype=np.float32)
    return scipy.sparse.csr_matrix((data, cols, indptr), shape=(m, m))


def neighbors_graph(X, coefficient, k, *, mode="distance", objects="rows", missing=math.nan, scale=False,
                    dissimilarity=False, include_self=False, min_shared=1, threads=None):
    """neighbors() as a scipy.sparse.csr_matrix (m, m), as scikit-learn's
    kneighbors_graph gives it: row i holds object i's k nearest, nearest
    first (its column indices are in that order, not sorted), with their
    values (mode="distance", float32, a value of 0 kept as an explicit
    entry) or 1.0 (mode="connectivity"). The object itself is left out
    unless include_self=True, and then counts as one of the k. An object
    with fewer than k candidates has fewer entries in its row. The other
    options are those of neighbors().

    The graph is not symmetric: j among i's nearest does not make i one of
    j's. With a similarity coefficient the values are similarities (larger
    is nearer); give dissimilarity=True where a tool wants distances.
    """
    distance = _graph_mode(mode)
    indices, values = neighbors(X, coefficient, k, objects=objects, missing=missing, scale=scale,
                                dissimilarity=dissimilarity, include_self=include_self, min_shared=min_shared,
                                threads=threads)
    m = indices.shape[0]
    found = indices >= 0
    rows = np.repeat(np.arange(m, dtype=np.int64), found.sum(axis=1))
    return _csr(m, rows, indices[found], values[found], distance)


def radius_graph(X, coefficient, threshold, *, mode="distance", objects="rows", missing=math.nan, scale=False,
                 dissimilarity=False, include_self=False, min_shared=1, max_pairs=_tessora.max_pairs,
                 threads=None):
    """Every pair within `threshold` as a symmetric scipy.sparse.csr_matrix
    (m, m): both (i, j) and (j, i) for each pair, with the value
    (mode="distance", float32, zeros kept as explicit entries) or 1.0
    (mode="connectivity"). Each row holds its entries nearest first (ties by
    column), as neighbors_graph() does and as scikit-learn wants a
    precomputed sparse graph.

    Within is by the coefficient's ranking order: value <= threshold for the
    distances and any D = 1 - S, value >= threshold for the similarities,
    the covariance and the sum of minima; NaN never. The threshold is
    rounded to float32 as the table is. include_self: also (i, i) when the
    diagonal value is within. min_shared: as in neighbors(). max_pairs: more
    pairs i <= j within the threshold is a ValueError, raised before they
    take the memory. The other options are those of matrix(); each pair is
    computed once.
    """
    distance = _graph_mode(mode)
    threshold = _real(threshold, "threshold")
    min_shared = _whole(min_shared, "min_shared")
    max_pairs = _whole(max_pairs, "max_pairs")
    engine, _, threads = _prepare(X, coefficient, objects, missing, scale, dissimilarity, threads)
    i, j, v = engine.within(threshold, bool(include_self), min_shared, max_pairs, threads)
    off = i != j
    rows = np.concatenate([i, j[off]])
    cols = np.concatenate([j, i[off]])
    values = np.concatenate([v, v[off]])
    order = np.lexsort((cols, values if engine.ascending else -values, rows))
    return _csr(engine.objects, rows[order], cols[order], values[order], distance)


# For tessora.dask: the tasks of its graphs.

def _condensed(table, coefficient, row_begin, row_end, *, objects, missing, scale, dissimilarity, threads):
    engine, _, threads = _prepare(table, coefficient, objects, missing, scale, dissimilarity, threads)
    return engine.condensed(row_begin, row_end, False, threads)


def _neighbor_rows(table, coefficient, k, row_begin, row_end, *, objects, missing, scale, dissimilarity,
                   include_self, min_shared, threads):
    engine, _, threads = _prepare(table, coefficient, objects, missing, scale, dissimilarity, threads)
    return engine.neighbors(k, include_self, min_shared, row_begin, row_end, threads)
