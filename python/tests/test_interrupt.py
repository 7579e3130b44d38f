"""Ctrl+C stops a long computation: the process gets SIGINT while the engine
runs, and the call raises KeyboardInterrupt promptly."""
import os
import signal
import subprocess
import sys
import time

import pytest

CHILD = r"""
import sys, numpy as np, tessora
x = np.random.default_rng(0).random((5000, 2000), dtype=np.float32)
print("go", flush=True)
try:
    getattr(tessora, sys.argv[1])(x, "gower")
except KeyboardInterrupt:
    print("interrupted", flush=True)
    sys.exit(3)
print("finished", flush=True)
"""


@pytest.mark.parametrize("call", ["matrix", "pdist"])
def test_sigint_raises_keyboard_interrupt(call):
    child = subprocess.Popen([sys.executable, "-c", CHILD, call], stdout=subprocess.PIPE, text=True,
                             env=os.environ.copy())
    try:
        assert child.stdout.readline().strip() == "go"
        time.sleep(0.5)  # well inside the computation, which takes several seconds
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        out, _ = child.communicate(timeout=30)
        took = time.monotonic() - sent
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert out.strip() == "interrupted" and child.returncode == 3
    assert took < 2.0, f"{took:.2f} s from SIGINT to exit"
