"""The shapes of the API: condensed forms, blocks, layouts, dtypes, labels."""
import math
import subprocess

import numpy as np
import pandas as pd
import pytest
from scipy.spatial.distance import squareform

import tessora
from conftest import random_table

X = random_table(11, (37, 19), gaps=0.15)


def bits(a):
    return np.asarray(a, dtype=np.float32).view(np.uint32)


@pytest.mark.parametrize("coefficient", [1, 8, 12, 20, 23, 24, 29])
@pytest.mark.parametrize("objects", ["rows", "columns"])
def test_pdist_is_the_matrix_off_the_diagonal(coefficient, objects):
    d = tessora.matrix(X, coefficient, objects=objects)
    p = tessora.pdist(X, coefficient, objects=objects)
    m = d.shape[0]
    assert p.dtype == np.float32 and p.shape == (m * (m - 1) // 2,)
    i, j = np.triu_indices(m, 1)  # scipy's condensed order
    np.testing.assert_array_equal(bits(p), bits(d[i, j]))
    sq = squareform(p, checks=False)
    off = ~np.eye(m, dtype=bool)
    np.testing.assert_array_equal(bits(sq[off]), bits(d[off]))


def test_pdist_over_several_row_blocks():
    # 3000 objects make the condensed vector come from several row blocks.
    x = random_table(5, (3000, 3), gaps=0.1)
    p = tessora.pdist(x, 2)
    k = tessora.shared_counts(x)
    d = tessora.matrix(x, 2)
    i, j = np.triu_indices(3000, 1)
    np.testing.assert_array_equal(bits(p), bits(d[i, j]))
    known = (~np.isnan(x)).astype(np.int64)
    np.testing.assert_array_equal(k, (known @ known.T)[i, j])


CUTS = [(slice(3, 17), slice(5, 36)), (slice(0, 37), slice(20, 21)), (slice(30, 37), slice(0, 9)),
        (slice(11, 12), slice(11, 12)), (slice(None), slice(None)), (slice(7, 7), slice(0, 5)),
        (slice(1, 36, 3), slice(35, 2, -4)), (slice(None, None, -1), slice(2, 30, 2)), (range(4, 20), range(9, 33))]


@pytest.mark.parametrize("rows,cols", CUTS)
@pytest.mark.parametrize("coefficient,options", [(16, {}), (20, {"objects": "columns"}), (27, {"dissimilarity": True}),
                                                 (13, {"scale": True}), (30, {"missing": -1.0})])
def test_block_is_a_slice_of_the_matrix(rows, cols, coefficient, options):
    d = tessora.matrix(X, coefficient, **options)
    s = tuple(slice(r.start, r.stop, r.step) if isinstance(r, range) else r for r in (rows, cols))
    b = tessora.block(X, coefficient, rows, cols, **options)
    assert b.dtype == np.float32 and b.flags.c_contiguous
    np.testing.assert_array_equal(bits(b), bits(d[s]))


def reversed_view(x):
    """x as a view with negative strides of 2 rows and 3 columns into a larger buffer."""
    buf = np.full((x.shape[0] * 2, x.shape[1] * 3), 99, dtype=np.float32)
    buf[::2, ::3] = x[::-1, ::-1]
    return buf[::2, ::3][::-1, ::-1]


LAYOUTS = {
    "C order": lambda x: np.ascontiguousarray(x),
    "Fortran order": lambda x: np.asfortranarray(x),
    "negative strides": lambda x: reversed_view(x),
    "float64": lambda x: x.astype(np.float64),
    "big-endian": lambda x: x.astype(">f4"),
    "nested lists": lambda x: x.astype(np.float64).tolist(),
}


@pytest.mark.parametrize("layout", LAYOUTS)
def test_every_layout_gives_the_same_bits(layout):
    x = random_table(3, (14, 6), gaps=0.2)
    a = LAYOUTS[layout](x)
    assert np.array_equal(np.asarray(a, dtype=np.float32), x, equal_nan=True)
    for objects in ("rows", "columns"):
        np.testing.assert_array_equal(bits(tessora.matrix(a, 21, objects=objects)),
                                      bits(tessora.matrix(x, 21, objects=objects)))


def test_float64_and_integers_are_rounded_to_nearest_float32():
    rng = np.random.default_rng(4)
    x64 = rng.random((12, 5)) * 1000 + 1e-3
    np.testing.assert_array_equal(bits(tessora.matrix(x64, 9)), bits(tessora.matrix(x64.astype(np.float32), 9)))
    xi = rng.integers(2 ** 24, 2 ** 30, size=(12, 5))  # most not exact in float32
    np.testing.assert_array_equal(bits(tessora.matrix(xi, 2)),
                                  bits(tessora.matrix(xi.astype(np.float32), 2)))


def test_threads_change_no_bit():
    x = random_table(8, (300, 40), gaps=0.3)
    one = tessora.matrix(x, 24, threads=1)
    np.testing.assert_array_equal(bits(tessora.matrix(x, 24, threads=2)), bits(one))
    np.testing.assert_array_equal(bits(tessora.matrix(x, 24)), bits(one))


@pytest.mark.parametrize("objects", ["rows", "columns"])
def test_dataframes_keep_their_labels(objects):
    frame = pd.DataFrame(X[:6, :5], index=[f"plot {i}" for i in range(6)], columns=list("abcde"))
    d = tessora.matrix(frame, "bray-curtis", objects=objects)
    labels = frame.index if objects == "rows" else frame.columns
    assert isinstance(d, pd.DataFrame)
    assert list(d.index) == list(labels) and list(d.columns) == list(labels)
    np.testing.assert_array_equal(bits(d.to_numpy()), bits(tessora.matrix(X[:6, :5], 8, objects=objects)))
    b = tessora.block(frame, 8, slice(1, 4), slice(None, None, 2), objects=objects)
    assert list(b.index) == list(labels[1:4]) and list(b.columns) == list(labels[::2])


def test_incomparable_pairs_get_the_formula_over_empty_sums():
    x = np.array([[1, 2, np.nan], [np.nan, np.nan, 3], [4, 0, 1]], dtype=np.float32)
    assert list(tessora.shared_counts(x)) == [0, 2, 1]
    assert tessora.matrix(x, "euclidean")[0, 1] == 0.0
    assert math.isnan(tessora.matrix(x, "bray-curtis")[0, 1])


def test_coefficients_are_the_registry_the_command_line_lists(build_dir):
    listed = subprocess.run([str(build_dir / "bin" / "tessora"), "--list-coefficients"], check=True,
                            capture_output=True, text=True).stdout.splitlines()
    assert listed[0].split("\t") == ["number", "menu name", "slug", "kind", "diagonal", "scalable", "nearest"]
    rows = [line.split("\t") for line in listed[1:]]
    table = tessora.coefficients()
    nearest = {"ascending": "smallest", "descending": "largest"}
    assert [(str(c.number), c.name, c.slug, c.kind, c.diagonal, "yes" if c.scalable else "no", nearest[c.ranking])
            for c in table] == [tuple(r) for r in rows]
    assert [c.number for c in table] == list(range(1, len(table) + 1))


def test_the_registry_tells_each_coefficients_properties():
    table = tessora.coefficients()
    assert table[7] == tessora.Coefficient(8, "BRAYCUR DIS", "bray-curtis", False, "distance", "0", False, True,
                                           "ascending")
    assert {c.number for c in table if c.similarity} == {4, 5, 7, 19, 21, *range(24, 35)}
    assert {c.number for c in table if c.scalable} == {1, 2, 13}
    assert {c.number for c in table if not c.layout_asked} == {14, 15}
    assert {c.number for c in table if c.ranking == "descending"} == {4, 5, 7, 12, 19, 21, 23, *range(24, 35)}


def test_a_coefficient_by_number_slug_or_menu_name():
    ref = bits(tessora.matrix(X, 8))
    for name in (8, np.int64(8), "8", "bray-curtis", "BRAYCUR DIS", "braycur_dis"):
        np.testing.assert_array_equal(bits(tessora.matrix(X, name)), ref)


@pytest.mark.parametrize("threads", [None, 0, 1, 3])
def test_threads_none_and_zero_mean_one_per_core(threads):
    x = random_table(8, (120, 9), gaps=0.3)
    np.testing.assert_array_equal(bits(tessora.pdist(x, 8, threads=threads)), bits(tessora.pdist(x, 8, threads=1)))
    np.testing.assert_array_equal(tessora.shared_counts(x, threads=threads), tessora.shared_counts(x, threads=1))
