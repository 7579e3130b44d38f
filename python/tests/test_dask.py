"""tessora.dask on a two-process LocalCluster has the bits of the one-process calls."""
import numpy as np
import pytest

distributed = pytest.importorskip("distributed")
da = pytest.importorskip("dask.array")

import tessora
import tessora.dask
from conftest import random_table

pytestmark = pytest.mark.filterwarnings("ignore:make_current is deprecated:DeprecationWarning")

X = random_table(21, (250, 30), gaps=0.2)


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                                  silence_logs=40) as cluster, distributed.Client(cluster) as c:
        yield c


CASES = [
    # (table, coefficient, chunk, options)
    (X, 20, 50, {}),                                   # divides m = 250
    (X, 31, 64, {}),                                   # does not
    (X, 8, 300, {}),                                   # one block
    (X, 24, 7, {"objects": "columns"}),                # m = 30
    (da.from_array(X, chunks=(40, 11)), 16, 96, {}),   # a dask table in many chunks
    (np.where(np.isnan(X), -1.0, X), 27, 100, {"missing": -1.0, "dissimilarity": True}),
    (X.astype(np.float64), 1, 120, {"scale": True, "threads": None}),
]


@pytest.mark.parametrize("table,coefficient,chunk,options", CASES)
def test_dask_matrix_has_the_bits_of_matrix(client, table, coefficient, chunk, options):
    d = tessora.dask.matrix(table, coefficient, chunk=chunk, **options)
    assert isinstance(d, da.Array) and d.dtype == np.float32
    m = d.shape[0]
    assert d.chunks[0][0] == min(chunk, m) and d.chunks == (d.chunks[0], d.chunks[0])
    got = client.compute(d).result()
    local = np.asarray(table)
    want = tessora.matrix(local, coefficient, **options)
    np.testing.assert_array_equal(got.view(np.uint32), want.view(np.uint32))


@pytest.mark.parametrize("chunk", [1, 20, 64, 1000])
def test_dask_pdist_has_the_bits_of_pdist(client, chunk):
    d = tessora.dask.pdist(X, 21, chunk=chunk)
    assert d.shape == (250 * 249 // 2,) and d.dtype == np.float32
    got = client.compute(d).result()
    np.testing.assert_array_equal(got.view(np.uint32), tessora.pdist(X, 21).view(np.uint32))


@pytest.mark.parametrize("chunk", [None, 20, 300])
def test_dask_pdist_computes_each_pair_once(chunk):
    # One task per run of condensed rows; together the runs are the rows
    # 0 .. m - 2, each once, and a task's size is its rows' pairs.
    d = tessora.dask.pdist(X, 8, chunk=chunk)
    graph = dict(d.__dask_graph__())
    tasks = [graph[(d.name, b)] for b in range(len(d.chunks[0]))]
    runs = [(task[3], task[4]) for task in tasks]
    assert runs[0][0] == 0 and runs[-1][1] >= 249 and all(a[1] == b[0] for a, b in zip(runs, runs[1:]))
    assert [sum(250 - i - 1 for i in range(r0, r1)) for r0, r1 in runs] == list(d.chunks[0])
    if chunk is not None:
        assert all(size <= max(chunk * chunk, 250) for size in d.chunks[0])


NEIGHBOR_CASES = [
    # (table, coefficient, k, chunk, options)
    (X, 8, 5, 1000, {}),
    (X, 8, 15, 64, {"include_self": True, "min_shared": 20}),
    (X, 24, 3, 7, {"objects": "columns"}),
    (da.from_array(X, chunks=(40, 11)), 16, 4, 96, {}),
    (np.where(np.isnan(X), -1.0, X), 27, 9, 100, {"missing": -1.0, "dissimilarity": True, "threads": None}),
]


@pytest.mark.parametrize("table,coefficient,k,chunk,options", NEIGHBOR_CASES)
def test_dask_neighbors_have_the_bits_of_neighbors(client, table, coefficient, k, chunk, options):
    idx, val = tessora.dask.neighbors(table, coefficient, k, chunk=chunk, **options)
    m = idx.shape[0]
    assert idx.dtype == np.int64 and val.dtype == np.float32 and idx.shape == val.shape == (m, k)
    assert idx.chunks[0][0] == min(chunk, m) and idx.chunks == val.chunks
    got_idx, got_val = client.compute([idx, val], sync=True)
    want_idx, want_val = tessora.neighbors(np.asarray(table), coefficient, k, **options)
    np.testing.assert_array_equal(got_idx, want_idx)
    np.testing.assert_array_equal(got_val.view(np.uint32), want_val.view(np.uint32))


def test_only_the_lower_blocks_are_computed(client):
    d = tessora.dask.matrix(X, 8, chunk=50)
    graph = dict(d.__dask_graph__())
    blocks = [k for k in graph if isinstance(k, tuple) and k[0] == d.name]
    computed = [k for k in blocks if "_mirror" not in repr(graph[k][0])]
    assert len(blocks) == 25 and sorted(computed) == sorted((d.name, i, j) for i in range(5) for j in range(i + 1))


@pytest.mark.parametrize("call,error", [
    (lambda: tessora.dask.matrix(X, 8, chunk=0), ValueError),
    (lambda: tessora.dask.matrix(X, "nope"), ValueError),
    (lambda: tessora.dask.matrix(da.zeros((3, 4, 5)), 1), ValueError),
    (lambda: tessora.dask.matrix(da.zeros((4, 4), dtype=complex), 1), TypeError),
    (lambda: tessora.dask.matrix(X[:1], 1), ValueError),
    (lambda: tessora.dask.pdist(X, 1, chunk=-3), ValueError),
    (lambda: tessora.dask.pdist(X, 2, dissimilarity=True), ValueError),
    (lambda: tessora.dask.pdist(X, 8, scale=True), ValueError),
    (lambda: tessora.dask.matrix(X, 1, threads=-2), ValueError),
    (lambda: tessora.dask.matrix(X, 1, chunk=2.5), TypeError),
    (lambda: tessora.dask.neighbors(X, 8, 0), ValueError),
    (lambda: tessora.dask.neighbors(X, 8, 250), ValueError),
    (lambda: tessora.dask.neighbors(X, 8, 251, include_self=True), ValueError),
    (lambda: tessora.dask.neighbors(X, 8, 3, min_shared=31), ValueError),
    (lambda: tessora.dask.neighbors(X, 8, 3, chunk=0), ValueError),
    (lambda: tessora.dask.neighbors(da.zeros((1, 4)), 8, 1), ValueError),
])
def test_dask_wrong_input_raises(call, error):
    with pytest.raises(error):
        call()


def test_written_to_disk_block_by_block(client, tmp_path):
    # The README's way to keep a large matrix off the client: one .npy file
    # per row of blocks, written by the workers.
    d = tessora.dask.matrix(X, 19, chunk=60)
    da.to_npy_stack(str(tmp_path / "D"), d, axis=0)
    back = da.from_npy_stack(str(tmp_path / "D")).compute()
    np.testing.assert_array_equal(back.view(np.uint32), tessora.matrix(X, 19).view(np.uint32))
