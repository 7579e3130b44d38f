"""Shared fixtures: the built programs and random tables with gaps."""
import os
import pathlib

import numpy as np
import pytest

BUILD = pathlib.Path(os.environ.get("TESSORA_BUILD_DIR",
                                    pathlib.Path(__file__).resolve().parents[2] / "build"))


@pytest.fixture(scope="session")
def build_dir():
    return BUILD


def random_table(seed, shape, gaps=0.2, missing=np.nan):
    """Values k/4 (exact in float32 and in short decimal text), about a
    quarter of them 0, with `gaps` of the cells set to `missing`."""
    rng = np.random.default_rng(seed)
    x = rng.integers(0, 120, size=shape) / 4.0
    x[rng.random(shape) < 0.25] = 0.0
    x[rng.random(shape) < gaps] = missing
    return x.astype(np.float32)


def known_mask(x, missing):
    return ~np.isnan(x) if np.isnan(missing) else x != np.float32(missing)
