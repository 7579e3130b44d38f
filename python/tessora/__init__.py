"""TESSORA: resemblance matrices for tables with missing values.

    import numpy as np, tessora
    X = np.loadtxt("plots.csv", delimiter=",", skiprows=1)   # NaN = missing
    D = tessora.matrix(X, "bray-curtis")    # (m, m) float32
    d = tessora.pdist(X, 8)                 # condensed, scipy's order
    k = tessora.shared_counts(X)            # variables known in both, condensed

Each pair of objects is compared on the variables known in both, with one of
34 coefficients (``tessora.coefficients()``); the values have the same bits
as the console program's, on every machine and with any number of threads.

A pair with no variable known in both (k = 0 in ``shared_counts``) gets the
coefficient's formula over empty sums: 0 for the Euclidean distance, NaN for
most ratios. No error is raised; look for zeros in ``shared_counts`` to find
such pairs.

The table is converted to float32 (rounded to nearest) unless it already is;
a float32 array in C or Fortran order, or any view with whole-float strides,
is read in place without a copy.
"""

import math
import numbers
import sys

import numpy as np

from . import _tessora

__all__ = ["matrix", "pdist", "shared_counts", "block", "coefficients"]
__version__ = _tessora.__version__

_COEFFICIENTS = [tuple(row) for row in _tessora.coefficients()]


def coefficients():
    """The 34 coefficients: a list of (number, menu name, slug, similarity).

    ``similarity`` is True for the coefficients with diagonal 1 (4, 5, 7, 19,
    21, 24-34), the only ones that take ``dissimilarity=True``.
    """
    return list(_COEFFICIENTS)


def _coefficient_number(coefficient):
    if isinstance(coefficient, (bool, np.bool_)):
        raise TypeError("coefficient must be a number from 1 to 34 or a name, not a bool")
    if isinstance(coefficient, numbers.Integral):
        number = int(coefficient)
        if not 1 <= number <= 34:
            raise ValueError(f"unknown coefficient {number}: the coefficients are 1 to 34")
        return number
    if isinstance(coefficient, str):
        return _tessora.coefficient_number(coefficient)  # ValueError naming the text
    raise TypeError(
        f"coefficient must be a number from 1 to 34 or a name such as 'bray-curtis', "
        f"not {type(coefficient).__name__}")


def _objects_are_rows(objects):
    if isinstance(objects, str) and objects in ("rows", "columns"):
        return objects == "rows"
    raise ValueError(f"objects must be 'rows' or 'columns', not {objects!r}")


def _missing_value(missing):
    if isinstance(missing, (bool, np.bool_)) or not isinstance(missing, numbers.Real):
        raise TypeError(f"missing must be a number (NaN by default), not {type(missing).__name__}")
    return float(missing)


def _threads(threads):
    if threads is None:
        return 0
    if isinstance(threads, (bool, np.bool_)) or not isinstance(threads, numbers.Integral):
        raise TypeError(f"threads must be a whole number or None, not {type(threads).__name__}")
    if not 1 <= int(threads) <= 65536:
        raise ValueError(f"threads must be from 1 to 65536 (or None for one per core), not {int(threads)}")
    return int(threads)


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
    m = a.shape[0 if rows else 1]
    n = a.shape[1 if rows else 0]
    if m < 2:
        raise ValueError(f"X has {m} object(s) ({'rows' if rows else 'columns'}): at least 2 are needed")
    if n < 1:
        raise ValueError("X has no variables")
    return a, labels


def _prepare(X, coefficient, objects, missing, scale, dissimilarity, threads):
    rows = _objects_are_rows(objects)
    number = _coefficient_number(coefficient)
    if dissimilarity and not _COEFFICIENTS[number - 1][3]:
        raise ValueError(
            f"coefficient {number} is not a similarity: dissimilarity=True (D = 1 - S) is only "
            f"for 4, 5, 7, 19, 21 and 24-34")
    a, labels = _as_table(X, rows)
    args = (a, rows, _missing_value(missing), number, bool(scale), bool(dissimilarity), _threads(threads))
    return args, labels


def _check_size(count, itemsize):
    if count * itemsize > sys.maxsize:
        raise MemoryError(f"the result needs {count * itemsize} bytes, more than any address space")


def _framed(values, row_labels, col_labels):
    frame = _dataframe_type()
    return frame(values, index=row_labels, columns=col_labels)


def matrix(X, coefficient, *, objects="rows", missing=math.nan, scale=False, dissimilarity=False,
           threads=None):
    """The (m, m) float32 resemblance matrix of the objects of X, its diagonal
    included.

    X: a 2-D array-like (NumPy array, pandas DataFrame, nested lists).
    coefficient: a number from 1 to 34, a slug ("bray-curtis") or a menu name
        ("BRAYCUR DIS"); see coefficients().
    objects: "rows" (each row is an object) or "columns".
    missing: the value that marks a missing cell; NaN by default. With any
        other value (-1.0 for TESSORA's data files) a NaN is a value.
    scale: multiply 1, 2 and 13 by n / k (ignored for the others).
    dissimilarity: D = 1 - S, for the similarities only.
    threads: worker threads; None for one per core.

    A DataFrame gives a DataFrame labelled by its index (objects="rows") or
    its columns.
    """
    args, labels = _prepare(X, coefficient, objects, missing, scale, dissimilarity, threads)
    m = args[0].shape[0 if args[1] else 1]
    _check_size(m * m, 4)
    values = _tessora.matrix(*args)
    return values if labels is None else _framed(values, labels, labels)


def pdist(X, coefficient, *, objects="rows", missing=math.nan, scale=False, dissimilarity=False,
          threads=None):
    """The m (m - 1) / 2 pair values in scipy's condensed order ((0, 1), (0, 2),
    ..., (m - 2, m - 1)), float32, for scipy.spatial.distance.squareform.
    The options are those of matrix()."""
    args, _ = _prepare(X, coefficient, objects, missing, scale, dissimilarity, threads)
    m = args[0].shape[0 if args[1] else 1]
    _check_size(m * (m - 1) // 2, 4)
    return _tessora.pdist(*args)


def shared_counts(X, *, objects="rows", missing=math.nan, threads=None):
    """The number of variables known in both objects of each pair, uint32, in
    the condensed order of pdist()."""
    args, _ = _prepare(X, 1, objects, missing, False, False, threads)
    m = args[0].shape[0 if args[1] else 1]
    _check_size(m * (m - 1) // 2, 4)
    return _tessora.shared_counts(args[0], args[1], args[2], args[6])


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
    args, labels = _prepare(X, coefficient, objects, missing, scale, dissimilarity, threads)
    m = args[0].shape[0 if args[1] else 1]
    r, c = _indices(rows, m, "rows"), _indices(cols, m, "cols")

    def cover(idx):
        return (min(idx), max(idx) + 1) if len(idx) else (0, 0)

    r0, r1 = cover(r)
    c0, c1 = cover(c)
    _check_size((r1 - r0) * (c1 - c0), 4)
    values = _tessora.block(*args, r0, r1, c0, c1)
    if (r.step != 1 and len(r) > 1) or (c.step != 1 and len(c) > 1):
        values = np.ascontiguousarray(values[np.asarray(r, dtype=np.intp) - r0][:, np.asarray(c, dtype=np.intp) - c0])
    if labels is None:
        return values
    return _framed(values, labels[np.asarray(r, dtype=np.intp)], labels[np.asarray(c, dtype=np.intp)])
