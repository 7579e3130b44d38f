"""tessora.dask.matrix on a two-process LocalCluster has the bits of tessora.matrix."""
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
