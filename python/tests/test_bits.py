"""tessora.matrix against two oracles, for every coefficient, both
orientations and both missing rules:
- the engine's plain reference loop (pairs and variables in order), run by
  the test program tessora_reference_dump: every bit;
- the console dialogue run as a user runs it, MATRIX.TXT read back: every
  printed digit, and the sign of every NaN.
"""
import math
import subprocess

import numpy as np
import pytest
from scipy.spatial.distance import squareform

import tessora
from conftest import known_mask, random_table

SCALABLE = {1, 2, 13}
SIMILARITY = {c[0] for c in tessora.coefficients() if c[3]}
NO_LAYOUT = {14, 15}
SHAPE = (9, 13)


def table_for(coefficient, objects, missing):
    """A table of SHAPE whose objects all share a known variable (the dialogue
    refuses incomparable pairs)."""
    for seed in range(coefficient * 100, coefficient * 100 + 50):
        x = random_table(seed, SHAPE, missing=missing)
        known = known_mask(x, missing).astype(np.int64)
        k = known.T @ known if objects == "columns" else known @ known.T
        if k.min() > 0:
            return x
    raise AssertionError("no comparable table found")


def reference(build_dir, tmp_path, x, objects, missing, coefficient, scale, dissimilarity):
    t = np.ascontiguousarray(x if objects == "rows" else x.T, dtype=np.float32)
    path = tmp_path / "table.f32"
    t.tofile(path)
    bits = 0x7FC00000 if np.isnan(missing) else int(np.float32(missing).view(np.uint32))
    out = subprocess.run([str(build_dir / "bin" / "tessora_reference_dump"), str(path), str(t.shape[0]),
                          str(t.shape[1]), f"{bits:08x}", str(coefficient), "1" if scale else "0"],
                         check=True, capture_output=True).stdout
    r = np.frombuffer(out, dtype=np.float32).reshape(t.shape[0], t.shape[0])
    if dissimilarity:
        r = (1.0 - r.astype(np.float64)).astype(np.float32)
    return r


def dialogue(build_dir, tmp_path, x, missing, objects, coefficient, scale, dissimilarity):
    """The matrix as the console program writes it, as (value, token) rows."""
    data = np.where(known_mask(x, missing), x, -1.0)
    lines = ["PYTHON TEST TABLE", f"{x.shape[0]} {x.shape[1]}"]
    lines += [" ".join(repr(float(v)) for v in row) for row in data]
    (tmp_path / "T.TXT").write_text("\n".join(lines) + "\n")
    answers = ["T.TXT", "1" if objects == "rows" else "0", str(coefficient)]
    if coefficient in SCALABLE:
        answers.append("1" if scale else "0")
    if coefficient not in NO_LAYOUT:
        answers.append("0")
    if coefficient in SIMILARITY:
        answers.append("1" if dissimilarity else "0")
    subprocess.run([str(build_dir / "bin" / "tessora")], input="\n".join(answers) + "\n", text=True,
                   cwd=tmp_path, check=True, capture_output=True)
    records = (tmp_path / "MATRIX.TXT").read_bytes().decode("ascii").split("\r\n")
    tokens = " ".join(records[2:]).split()
    m = int(records[1])
    full = coefficient not in NO_LAYOUT
    assert len(tokens) == (m * m if full else m * (m + 1) // 2)
    it = iter(tokens)
    rows = [[next(it) for _ in range(m if full else i + 1)] for i in range(m)]
    return rows


def variants(coefficient):
    yield False, False
    if coefficient in SCALABLE:
        yield True, False
    if coefficient in SIMILARITY:
        yield False, True


def assert_printed(value, token):
    v = float(value)
    if math.isnan(v):
        assert token.endswith("NaN") and token.startswith("-") == bool(np.signbit(value)), (value, token)
    elif math.isinf(v):
        assert token == ("-INF" if v < 0 else "INF"), (value, token)
    else:
        assert abs(float(token) - v) <= 6e-6 * abs(v), (value, token)


CASES = [(c, o, mi) for c in range(1, 35) for o in ("rows", "columns") for mi in (math.nan, -1.0)]


@pytest.mark.parametrize("coefficient,objects,missing", CASES)
def test_matrix_has_the_reference_bits_and_the_dialogue_digits(build_dir, tmp_path, coefficient, objects, missing):
    x = table_for(coefficient, objects, missing)
    for scale, dissimilarity in variants(coefficient):
        d = tessora.matrix(x, coefficient, objects=objects, missing=missing, scale=scale,
                           dissimilarity=dissimilarity)
        assert d.dtype == np.float32 and d.shape == (SHAPE[0 if objects == "rows" else 1],) * 2
        r = reference(build_dir, tmp_path, x, objects, missing, coefficient, scale, dissimilarity)
        np.testing.assert_array_equal(d.view(np.uint32), r.view(np.uint32))
        printed = dialogue(build_dir, tmp_path, x, missing, objects, coefficient, scale, dissimilarity)
        for i, row in enumerate(printed):
            for j, token in enumerate(row):
                assert_printed(d[i, j], token)


@pytest.mark.parametrize("coefficient", [1, 8, 16, 18, 20, 23, 24, 25, 33])
def test_nan_is_a_value_under_a_marker(build_dir, tmp_path, coefficient):
    # With missing=-1.0 a NaN takes part like any value; negative values too.
    x = random_table(coefficient, (11, 7), missing=-1.0)
    x[np.random.default_rng(coefficient).random(x.shape) < 0.1] = np.nan
    x[3, :3] = [-2.5, -0.25, -7.0]
    d = tessora.matrix(x, coefficient, missing=-1.0)
    r = reference(build_dir, tmp_path, x, "rows", -1.0, coefficient, False, False)
    np.testing.assert_array_equal(d.view(np.uint32), r.view(np.uint32))


@pytest.mark.parametrize("objects", ["rows", "columns"])
@pytest.mark.parametrize("missing", [math.nan, -1.0, 0.0])
def test_shared_counts_are_the_known_pairs(objects, missing):
    x = random_table(7, (23, 17), gaps=0.4, missing=missing)
    known = known_mask(x, missing).astype(np.int64)
    if objects == "columns":
        known = known.T
    expected = squareform(known @ known.T, checks=False)
    k = tessora.shared_counts(x, objects=objects, missing=missing)
    assert k.dtype == np.uint32
    np.testing.assert_array_equal(k, expected)
