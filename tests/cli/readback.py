# What the command line's Python checks share: running the program, keeping
# failures, and comparing float32 values as the text formats write them.
import subprocess
import numpy as np

failures = []

def run(program, *args, status=0, stdin=None):
    p = subprocess.run([program, *args], capture_output=True, input=stdin)
    if p.returncode != status:
        failures.append("%s: status %d, expected %d: %s" % (" ".join(args), p.returncode, status, p.stderr.decode()))
    return p

def check(cond, what):
    if not cond:
        failures.append(what)

def bits(a):
    return np.asarray(a, np.float32).view(np.uint32)

def same_bits(a, b):
    return a.shape == b.shape and np.array_equal(a.view(np.uint32), b.view(np.uint32))

def same_values(a, b):
    """Bit for bit, except that a NaN's sign and payload are not written in text."""
    a, b = np.asarray(a, np.float32), np.asarray(b, np.float32)
    return a.shape == b.shape and bool(np.all((bits(a) == bits(b)) | (np.isnan(a) & np.isnan(b))))

def to_f32(text):
    return np.float32(float({"NaN": "nan", "Inf": "inf", "-Inf": "-inf"}.get(text, text)))

def report():
    for f in failures:
        print("FAIL:", f)
    print("%d failures" % len(failures))
    return 1 if failures else 0
