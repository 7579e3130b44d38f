# The peak resident memory of tessora at m = 20,000 objects and n = 10
# variables stays within the data plus 512 MB, for square and condensed
# npy output (its 1.6 GB and 0.8 GB go to /dev/null).
#   memory_bound.py TESSORA WORK
import os, random, shutil, subprocess, sys
T, W = sys.argv[1], sys.argv[2]
shutil.rmtree(W, ignore_errors=True)
os.makedirs(W)
m, n = 20000, 10
path = os.path.join(W, "t.dat")
rng = random.Random(1)
with open(path, "w") as f:
    f.write("MEMORY BOUND\n%d %d\n" % (m, n))
    for i in range(m):
        f.write(" ".join(["1"] + [("-1" if rng.random() < 0.1 else "%d" % rng.randint(0, 50)) for _ in range(n - 1)]) + "\n")
limit_kb = (m * n * 4 + (512 << 20)) // 1024
status = 0
for layout in ["full", "condensed"]:
    with open(os.devnull, "wb") as out:
        p = subprocess.Popen([T, "-c", "8", "--objects", "rows", "-f", "npy", "--layout", layout, path], stdout=out)
        _, code, usage = os.wait4(p.pid, 0)
    peak = usage.ru_maxrss  # kB
    print("%s: exit %d, peak resident %d MB (bound %d MB)" % (layout, os.waitstatus_to_exitcode(code), peak // 1024, limit_kb // 1024))
    if code != 0 or peak > limit_kb:
        status = 1
sys.exit(status)
