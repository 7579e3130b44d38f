"""Wrong input raises the documented exception with a clear message; nothing crashes."""
import numpy as np
import pandas as pd
import pytest

import tessora

GOOD = np.arange(12, dtype=np.float32).reshape(4, 3)

CASES = [
    # (call, exception, words of the message)
    (lambda: tessora.matrix(np.arange(5.0), 1), ValueError, "2-D"),
    (lambda: tessora.matrix(np.zeros((2, 3, 4)), 1), ValueError, "2-D"),
    (lambda: tessora.matrix(np.float32(3), 1), ValueError, "2-D"),
    (lambda: tessora.matrix(np.ones((3, 3), dtype=complex), 1), TypeError, "complex"),
    (lambda: tessora.matrix(np.array([[1, "a"], [2, 3]], dtype=object), 1), TypeError, "object"),
    (lambda: tessora.matrix([["a", "b"], ["c", "d"]], 1), TypeError, "<U1"),
    (lambda: tessora.matrix([[1, 2], [3]], 1), TypeError, "numeric array"),
    (lambda: tessora.matrix(pd.DataFrame({"a": [1.0, 2.0], "b": ["x", "y"]}), 1), TypeError, "columns b"),
    (lambda: tessora.matrix(GOOD[:1], 1), ValueError, "1 object"),
    (lambda: tessora.matrix(GOOD[:, :1], 1, objects="columns"), ValueError, "1 object"),
    (lambda: tessora.pdist(np.zeros((0, 4)), 1), ValueError, "0 object"),
    (lambda: tessora.matrix(np.zeros((4, 0)), 1), ValueError, "no variables"),
    (lambda: tessora.matrix(GOOD, 0), ValueError, "1 to 34"),
    (lambda: tessora.matrix(GOOD, 35), ValueError, "1 to 34"),
    (lambda: tessora.matrix(GOOD, "bray-curtain"), ValueError, "bray-curtain"),
    (lambda: tessora.matrix(GOOD, 8.0), TypeError, "float"),
    (lambda: tessora.matrix(GOOD, True), TypeError, "bool"),
    (lambda: tessora.matrix(GOOD, 1, objects="cols"), ValueError, "'cols'"),
    (lambda: tessora.matrix(GOOD, 1, missing="NA"), TypeError, "missing"),
    (lambda: tessora.matrix(GOOD, 1, threads=-1), ValueError, "threads must be from 0 (one per core)"),
    (lambda: tessora.matrix(GOOD, 1, threads=2 ** 70), ValueError, "threads must be from 0 (one per core)"),
    (lambda: tessora.matrix(GOOD, 10 ** 30), ValueError, "unknown coefficient '1000000000000000000000000000000'"),
    (lambda: tessora.matrix(GOOD, 8, scale=True), ValueError, "scale (by n / k) is only for the coefficients 1, 2, 13"),
    (lambda: tessora.pdist(GOOD, "gower", scale=True), ValueError, "not 16 gower"),
    (lambda: tessora.matrix(GOOD, 1, threads=1.5), TypeError, "threads"),
    (lambda: tessora.matrix(GOOD, 8, dissimilarity=True), ValueError, "only for the similarities"),
    (lambda: tessora.matrix(GOOD, 1, objects=None), TypeError, "objects"),
    (lambda: tessora.shared_counts(GOOD, threads="2"), TypeError, "threads"),
    (lambda: tessora.block(GOOD, 1, [0, 1], slice(None)), TypeError, "slice"),
    (lambda: tessora.block(GOOD, 1, slice(0, 2, 0), slice(None)), TypeError, "zero"),
    (lambda: tessora.shared_counts(GOOD, objects=0), TypeError, "objects"),
    # 2^31 - 1 objects of one variable, as a broadcast view of one value:
    # the result cannot be had.
    (lambda: tessora.matrix(np.broadcast_to(np.float32(1), (2 ** 31 - 1, 1)), 1), MemoryError, "bytes"),
    (lambda: tessora.pdist(np.broadcast_to(np.float32(1), (2 ** 33, 1)), 1), MemoryError, "bytes"),
    # 2^31 objects are more than the engine takes (the condensed counts fit).
    (lambda: tessora.block(np.broadcast_to(np.float32(1), (2 ** 31, 1)), 1, slice(0, 2), slice(0, 2)),
     ValueError, "2147483647"),
]


@pytest.mark.parametrize("call,error,words", CASES, ids=[f"{c[1].__name__}-{c[2]}" for c in CASES])
def test_wrong_input_raises(call, error, words):
    with pytest.raises(error) as info:
        call()
    assert words in str(info.value)


def test_the_numpy_allocation_failure_is_a_memory_error():
    # Too large for this machine's memory though within the address space.
    x = np.broadcast_to(np.float32(1), (2 ** 27, 1))
    with pytest.raises(MemoryError):
        tessora.matrix(x, 1)
