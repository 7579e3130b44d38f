"""`pip install --no-build-isolation ./python` into a fresh virtual environment
(offline, over Debian's packages) gives a module with the bits of the one
CMake built, for every coefficient and option."""
import os
import pathlib
import subprocess

import numpy as np
import pytest

import tessora
from conftest import random_table

PYTHON_DIR = pathlib.Path(__file__).resolve().parents[1]

# Run by the installed module, away from the source tree and PYTHONPATH.
CHILD = r"""
import sys, numpy as np, tessora
assert tessora.__file__.startswith(sys.prefix), tessora.__file__
x = np.load(sys.argv[1])
out = {}
for c in tessora.coefficients():
    for objects in ("rows", "columns"):
        for scale, dissimilarity in [(False, False)] + [(True, False)] * c.scalable + [(False, True)] * c.similarity:
            key = f"{c.number}-{objects}-{scale:d}{dissimilarity:d}"
            out[key] = tessora.matrix(x, c.number, objects=objects, scale=scale, dissimilarity=dissimilarity)
out["counts"] = tessora.shared_counts(x)
np.savez(sys.argv[2], **out)
"""


@pytest.fixture(scope="module")
def venv(tmp_path_factory):
    where = tmp_path_factory.mktemp("pip")
    subprocess.run(["/usr/bin/python3", "-m", "venv", "--system-site-packages", str(where / "venv")], check=True)
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "PIP_INDEX_URL")}
    env["PIP_NO_INDEX"] = "1"  # offline: Debian's packages only
    log = where / "pip.log"
    with open(log, "w") as out:
        done = subprocess.run([str(where / "venv/bin/pip"), "install", "--no-build-isolation", str(PYTHON_DIR)],
                              stdout=out, stderr=subprocess.STDOUT, env=env, cwd=where)
    assert done.returncode == 0, log.read_text()[-4000:]
    return where, env


def test_the_pip_built_module_has_the_bits_of_the_cmake_built_one(venv):
    where, env = venv
    x = random_table(42, (17, 11), gaps=0.2)
    x[2, 3], x[5, 0] = np.inf, -np.inf
    np.save(where / "x.npy", x)
    subprocess.run([str(where / "venv/bin/python"), "-c", CHILD, str(where / "x.npy"), str(where / "out.npz")],
                   check=True, env=env, cwd=where)
    got = np.load(where / "out.npz")
    assert len(got.files) == 1 + 2 * (len(tessora.coefficients()) + sum(c.scalable + c.similarity
                                                                         for c in tessora.coefficients()))
    for key in got.files:
        if key == "counts":
            np.testing.assert_array_equal(got[key], tessora.shared_counts(x))
            continue
        number, objects, flags = key.split("-")
        want = tessora.matrix(x, int(number), objects=objects, scale=flags[0] == "1", dissimilarity=flags[1] == "1")
        np.testing.assert_array_equal(got[key].view(np.uint32), want.view(np.uint32), err_msg=key)
