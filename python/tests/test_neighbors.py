"""tessora.neighbors, neighbors_graph and radius_graph against the whole
matrix: each row of tessora.matrix sorted by (ranking order, index), NaN
left out, gives the neighbours (values bit for bit, indices exactly), and
filtering the matrix gives the radius graph; for every coefficient, both
orientations, with and without self and min_shared."""
import math
import warnings

import numpy as np
import pandas as pd
import pytest
import scipy.sparse

import tessora
from conftest import known_mask, random_table

COEFFICIENTS = tessora.coefficients()


def tricky_table(seed, shape):
    """Small integers (ties), gaps, infinities, an object with no known value
    and one that shares a single variable with the others (k = 0 and k = 1
    pairs). Objects are rows; the transposed table serves for columns."""
    rng = np.random.default_rng(seed)
    x = rng.integers(0, 4, size=shape).astype(np.float32)
    x[rng.random(shape) < 0.2] = np.nan
    x[rng.random(shape) < 0.04] = np.inf
    x[0, :] = np.nan
    x[1, :] = np.nan
    x[1, 0] = 2.0
    return x


def variants(c):
    yield {}
    if c.scalable:
        yield {"scale": True}
    if c.similarity:
        yield {"dissimilarity": True}


def ascending(c, options):
    return options.get("dissimilarity", False) or c.ranking == "ascending"


def counts_of(x, objects):
    known = known_mask(x, np.nan).astype(np.int64)
    if objects == "columns":
        known = known.T
    return known @ known.T  # the diagonal: each object's own known values


def expected_neighbors(d, counts, k, up, include_self, min_shared):
    m = d.shape[0]
    indices = np.full((m, k), -1, dtype=np.int64)
    values = np.full((m, k), np.nan, dtype=np.float32)
    for i in range(m):
        candidates = [j for j in range(m) if (include_self or j != i) and not math.isnan(d[i, j])
                      and counts[i, j] >= min_shared]
        # Python compares -0.0 equal to +0.0, as the ranking does.
        candidates.sort(key=lambda j: (float(d[i, j]) if up else -float(d[i, j]), j))
        chosen = candidates[:k]
        indices[i, :len(chosen)] = chosen
        values[i, :len(chosen)] = d[i, chosen]
    return indices, values


def bits(a):
    return np.asarray(a, dtype=np.float32).view(np.uint32)


@pytest.mark.parametrize("number", [c.number for c in COEFFICIENTS])
@pytest.mark.parametrize("objects", ["rows", "columns"])
def test_neighbors_are_the_sorted_rows_of_the_matrix(number, objects):
    c = COEFFICIENTS[number - 1]
    x = tricky_table(number, (13, 7))
    if objects == "columns":
        x = np.ascontiguousarray(x.T)
    counts = counts_of(x, objects)
    n = x.shape[1 if objects == "rows" else 0]
    for options in variants(c):
        d = tessora.matrix(x, number, objects=objects, **options)
        m = d.shape[0]
        for include_self in (False, True):
            for min_shared in (0, 1, 3, n):
                for k in (1, 4, m if include_self else m - 1):
                    got = tessora.neighbors(x, number, k, objects=objects, include_self=include_self,
                                            min_shared=min_shared, **options)
                    want = expected_neighbors(d, counts, k, ascending(c, options), include_self, min_shared)
                    case = (options, include_self, min_shared, k)
                    assert got[0].dtype == np.int64 and got[1].dtype == np.float32 and got[0].shape == (m, k)
                    np.testing.assert_array_equal(got[0], want[0], err_msg=str(case))
                    np.testing.assert_array_equal(bits(got[1]), bits(want[1]), err_msg=str(case))


@pytest.mark.parametrize("number", [1, 8, 16, 20, 23, 24, 29])
def test_nan_values_under_a_marker_are_never_neighbours(number):
    # With missing=-1 a NaN in the table is a value: the pairs it reaches get
    # NaN and drop out of the candidates, as they would from a sorted row.
    c = COEFFICIENTS[number - 1]
    x = tricky_table(200 + number, (11, 6))
    x[np.isnan(x)] = -1.0
    x[np.random.default_rng(number).random(x.shape) < 0.08] = np.nan
    known = (x != -1).astype(np.int64)
    d = tessora.matrix(x, number, missing=-1.0)
    assert np.isnan(d).any()
    for include_self, min_shared in ((False, 1), (True, 0), (False, 3)):
        got = tessora.neighbors(x, number, 10 if include_self else 9, missing=-1.0, include_self=include_self,
                                min_shared=min_shared)
        want = expected_neighbors(d, known @ known.T, 10 if include_self else 9, ascending(c, {}), include_self,
                                  min_shared)
        np.testing.assert_array_equal(got[0], want[0])
        np.testing.assert_array_equal(bits(got[1]), bits(want[1]))


def csr_rows(g):
    """Each row's (column, value bits) entries as stored, explicit zeros included."""
    return [list(zip(g.indices[g.indptr[i]:g.indptr[i + 1]].tolist(),
                     bits(g.data[g.indptr[i]:g.indptr[i + 1]]).tolist())) for i in range(g.shape[0])]


@pytest.mark.parametrize("number", [1, 8, 12, 16, 18, 23, 24, 27, 33])
@pytest.mark.parametrize("objects", ["rows", "columns"])
def test_radius_graph_is_the_filtered_matrix(number, objects):
    c = COEFFICIENTS[number - 1]
    x = tricky_table(100 + number, (15, 6))
    if objects == "columns":
        x = np.ascontiguousarray(x.T)
    counts = counts_of(x, objects)
    for options in variants(c):
        d = tessora.matrix(x, number, objects=objects, **options)
        m = d.shape[0]
        up = ascending(c, options)
        finite = np.unique(d[np.isfinite(d)])
        # Thresholds that fall on values (ties at the edge), between them, and past all.
        for threshold in (float(np.median(finite)), float(finite[len(finite) // 4]), np.inf if up else -np.inf):
            t = np.float32(threshold)
            for include_self, min_shared in ((False, 1), (True, 1), (False, 0), (True, 4)):
                g = tessora.radius_graph(x, number, threshold, objects=objects, include_self=include_self,
                                         min_shared=min_shared, **options)
                assert isinstance(g, scipy.sparse.csr_matrix) and g.shape == (m, m) and g.dtype == np.float32
                within = (d <= t) if up else (d >= t)  # False for NaN
                within &= counts >= min_shared
                if not include_self:
                    np.fill_diagonal(within, False)
                want = [[(j, int(bits(d[i, j])))
                         for j in sorted(np.flatnonzero(within[i]), key=lambda j: (d[i, j] if up else -d[i, j], j))]
                        for i in range(m)]
                assert csr_rows(g) == want, (options, threshold, include_self, min_shared)


def test_radius_graph_connectivity_and_explicit_zeros():
    x = np.array([[1, 2, 3], [1, 2, 3], [4, 0, 1], [1, 2, 3.5]], dtype=np.float32)  # 0 and 1 the same
    g = tessora.radius_graph(x, "euclidean", 0.6)
    assert g.nnz == 6 and g[0, 1] == 0
    assert csr_rows(g)[0] == [(1, 0), (3, int(bits(0.5)))]
    assert csr_rows(tessora.radius_graph(x, "euclidean", 0.6, include_self=True))[1] == [(0, 0), (1, 0), (3, int(bits(0.5)))]
    c = tessora.radius_graph(x, "euclidean", 0.6, mode="connectivity")
    assert (c.indices == g.indices).all() and (c.indptr == g.indptr).all() and (c.data == 1).all()
    assert (g != g.T).nnz == 0


@pytest.mark.parametrize("include_self", [False, True])
def test_neighbors_graph_holds_the_neighbours_in_their_order(include_self):
    x = tricky_table(3, (12, 5))
    idx, val = tessora.neighbors(x, "bray-curtis", 4, include_self=include_self)
    g = tessora.neighbors_graph(x, "bray-curtis", 4, include_self=include_self)
    assert isinstance(g, scipy.sparse.csr_matrix) and g.shape == (12, 12) and g.dtype == np.float32
    want = [[(j, int(b)) for j, b in zip(idx[i], bits(val[i])) if j >= 0] for i in range(12)]
    assert csr_rows(g) == want
    assert g.indptr[1] == 0  # object 0 knows nothing: no neighbour, an empty row
    c = tessora.neighbors_graph(x, "bray-curtis", 4, include_self=include_self, mode="connectivity")
    assert (c.indices == g.indices).all() and (c.data == 1).all()


def test_neighbors_graph_keeps_a_zero_distance_as_an_entry():
    x = np.array([[1, 2], [1, 2], [5, 5], [0, 9]], dtype=np.float32)
    g = tessora.neighbors_graph(x, "euclidean", 1)
    assert g.nnz == 4 and csr_rows(g)[0] == [(1, 0)] and csr_rows(g)[1] == [(0, 0)]


def test_the_graphs_follow_scikit_learns_conventions():
    neighbors = pytest.importorskip("sklearn.neighbors")
    x = np.random.default_rng(5).random((60, 8)).astype(np.float32)  # no ties
    for include_self in (False, True):
        for mode in ("distance", "connectivity"):
            ours = tessora.neighbors_graph(x, "euclidean", 6, mode=mode, include_self=include_self)
            theirs = neighbors.kneighbors_graph(x.astype(np.float64), 6, mode=mode, include_self=include_self)
            assert (ours.indptr == theirs.indptr).all() and (ours.indices == theirs.indices).all()
            np.testing.assert_allclose(ours.data, theirs.data, rtol=1e-6)
    ours = tessora.radius_graph(x, "euclidean", 0.9)
    theirs = neighbors.radius_neighbors_graph(x.astype(np.float64), 0.9, mode="distance")
    assert (ours.indptr == theirs.indptr).all()
    assert (ours.sorted_indices().indices == theirs.sorted_indices().indices).all()
    # Sorted by value in each row, as scikit-learn wants a precomputed graph.
    assert neighbors.sort_graph_by_row_values(ours.copy(), warn_when_not_sorted=True) is not None
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        neighbors.NearestNeighbors(radius=0.9, metric="precomputed").fit(ours).radius_neighbors_graph()


def test_dbscan_on_the_radius_graph_is_dbscan_on_the_matrix():
    cluster = pytest.importorskip("sklearn.cluster")
    x = random_table(17, (80, 6), gaps=0.1)
    for coefficient, eps in (("bray-curtis", 0.2), ("euclidean", 11.0)):
        d = tessora.matrix(x, coefficient)
        assert not np.isnan(d).any()  # dense DBSCAN takes no NaN; the graph would leave such pairs out
        dense = cluster.DBSCAN(eps=eps, min_samples=3, metric="precomputed").fit(d)
        g = tessora.radius_graph(x, coefficient, eps, include_self=True)
        with warnings.catch_warnings():
            warnings.simplefilter("error")  # no re-sorting, no structure change
            sparse = cluster.DBSCAN(eps=eps, min_samples=3, metric="precomputed").fit(g)
        assert (sparse.labels_ == dense.labels_).all() and len(set(dense.labels_)) > 1


def test_an_object_short_of_candidates_gets_minus_one_and_nan():
    # Bray-Curtis of all-zero objects is 0/0 = NaN for every pair: no object
    # has a candidate at all.
    idx, val = tessora.neighbors(np.zeros((5, 3)), "bray-curtis", 2)
    assert (idx == -1).all() and np.isnan(val).all()
    g = tessora.neighbors_graph(np.zeros((5, 3)), "bray-curtis", 2)
    assert g.nnz == 0 and g.shape == (5, 5)


@pytest.mark.parametrize("call", [
    lambda x, t: tessora.neighbors(x, 16, 5, threads=t),
    lambda x, t: tessora.neighbors(x, 24, 3, include_self=True, min_shared=2, threads=t),
    lambda x, t: tessora.radius_graph(x, 8, 0.4, threads=t),
])
def test_the_same_answer_on_1_2_and_7_threads(call):
    x = tricky_table(9, (700, 9))
    one = call(x, 1)
    for threads in (2, 7):
        other = call(x, threads)
        if isinstance(one, tuple):
            np.testing.assert_array_equal(other[0], one[0])
            np.testing.assert_array_equal(bits(other[1]), bits(one[1]))
        else:
            assert csr_rows(other) == csr_rows(one)


def test_a_dataframe_gives_the_arrays_of_its_values():
    x = tricky_table(4, (9, 5))
    frame = pd.DataFrame(x, index=[f"p{i}" for i in range(9)], columns=list("abcde"))
    for objects in ("rows", "columns"):
        got = tessora.neighbors(frame, "canberra", 2, objects=objects)
        want = tessora.neighbors(x, "canberra", 2, objects=objects)
        np.testing.assert_array_equal(got[0], want[0])
        np.testing.assert_array_equal(bits(got[1]), bits(want[1]))
    g = tessora.radius_graph(frame, "canberra", 0.5)
    assert csr_rows(g) == csr_rows(tessora.radius_graph(x, "canberra", 0.5))


X = tricky_table(1, (6, 4))

BAD = [
    # (call, exception, words of the message)
    (lambda: tessora.neighbors(X, 1, 0), ValueError, "k must be from 1 to 5 (the other objects), not 0"),
    (lambda: tessora.neighbors(X, 1, -3), ValueError, "not -3"),
    (lambda: tessora.neighbors(X, 1, 6), ValueError, "k must be from 1 to 5 (the other objects), not 6"),
    (lambda: tessora.neighbors(X, 1, 7, include_self=True), ValueError, "from 1 to 6 (the objects, self included)"),
    (lambda: tessora.neighbors(X, 1, 2 ** 80), ValueError, "k must be from 1 to 5"),
    (lambda: tessora.neighbors(X, 1, 2, min_shared=5), ValueError, "min_shared must be from 0 to 4 (the variables)"),
    (lambda: tessora.neighbors(X, 1, 2, min_shared=-1), ValueError, "min_shared must be from 0 to 4"),
    (lambda: tessora.neighbors(X, 1, 2.0), TypeError, "k must be a whole number"),
    (lambda: tessora.neighbors(X, 1, True), TypeError, "k must be a whole number"),
    (lambda: tessora.neighbors(X, 1, 2, min_shared=None), TypeError, "min_shared"),
    (lambda: tessora.neighbors(X, 8, 2, scale=True), ValueError, "scale (by n / k) is only for"),
    (lambda: tessora.neighbors_graph(X, 1, 2, mode="distances"), ValueError, "mode must be"),
    (lambda: tessora.neighbors_graph(X, 1, 9), ValueError, "k must be from 1 to 5"),
    (lambda: tessora.radius_graph(X, 1, math.nan), ValueError, "the threshold must be a number, not NaN"),
    (lambda: tessora.radius_graph(X, 1, "0.3"), TypeError, "threshold must be a number"),
    (lambda: tessora.radius_graph(X, 1, 1e30, min_shared=0, max_pairs=3), ValueError,
     "more than 3 pairs lie within the threshold"),
    (lambda: tessora.radius_graph(X, 1, 0.5, max_pairs=-1), ValueError, "max_pairs must be 0 or more"),
    (lambda: tessora.radius_graph(X, 1, 0.5, min_shared=9), ValueError, "min_shared must be from 0 to 4"),
    (lambda: tessora.radius_graph(X, 1, 0.5, mode=None), TypeError, "mode"),
]


@pytest.mark.parametrize("call,error,words", BAD, ids=[f"{b[1].__name__}-{b[2][:30]}" for b in BAD])
def test_wrong_input_raises(call, error, words):
    with pytest.raises(error) as info:
        call()
    assert words in str(info.value)
